#include "ui/about_window.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QUrl>

#include "settings/TranslateFormUnit.h"
#include "ui/application_look.h"
#include "ui/look_widgets.h"
#include "ui_about_window.h"

TAboutWindow* AboutWindow = nullptr;

TAboutWindow::TAboutWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_Ui(new Ui::TAboutWindow)
{
    InitApplicationLook();
    m_Ui->setupUi(this);
    setFixedSize(355, 135);
    setWindowIcon(ApplicationIcon());

    QFont bold = DesignFont(QStringLiteral("Tahoma"), 13);
    bold.setBold(true);
    m_Ui->AboutText->setFont(bold);
    QPalette white = m_Ui->AboutText->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    m_Ui->AboutText->setPalette(white);

    QFont link = bold;
    link.setUnderline(true);
    m_Ui->UrlForHomeSite->setFont(link);
    QPalette black = m_Ui->UrlForHomeSite->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    m_Ui->UrlForHomeSite->setPalette(black);
    m_Ui->UrlForHomeSite->setCursor(Qt::PointingHandCursor);
    m_Ui->UrlForHomeSite->installEventFilter(this);

    m_Ui->AboutOkBtn->setFont(DesignFont(QStringLiteral("Tahoma"), 13));
    connect(m_Ui->AboutOkBtn, &QPushButton::clicked, this, &TAboutWindow::AboutOkBtnClick);
    FormCreate();
    AboutWindow = this;
}

TAboutWindow::~TAboutWindow()
{
    if (AboutWindow == this)
        AboutWindow = nullptr;
}

void TAboutWindow::FormCreate()
{
    {
        TTranslateForm translate;
        translate.Translate(this);
    }
    m_Ui->UrlForHomeSite->adjustSize();
    m_LinkTarget = m_Ui->UrlForHomeSite->text();
}

void TAboutWindow::CentreOnDesktop()
{
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect desk = screen->availableGeometry();
        move(desk.center() - QPoint(width() / 2, height() / 2));
    }
}

void TAboutWindow::ShowModal()
{
    CentreOnDesktop();
    exec();
}

void TAboutWindow::AboutOkBtnClick()
{
    accept();
}

void TAboutWindow::UrlForHomeSiteClick()
{
    QDesktopServices::openUrl(QUrl(m_LinkTarget));
}

bool TAboutWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_Ui->UrlForHomeSite && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        UrlForHomeSiteClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
