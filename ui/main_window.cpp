#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSystemTrayIcon>

#include "common/UserMessageUnit.h"
#include "settings/TranslateFormUnit.h"
#include "ui/application_look.h"
#include "ui/dialog_components.h"
#include "ui/look_widgets.h"
#include "ui/progress_panel.h"
#include "ui/qt_text.h"
#include "ui_main_window.h"

// The window's creation: its components, the handlers, the texts and
// defaults; the accessors the jobs and tests read; the job host.

TMainWindow* MainWindow = nullptr;

TMainWindow::TMainWindow(QWidget* parent) : QMainWindow(parent), m_Ui(new Ui::TMainWindow)
{
    InitApplicationLook();
    m_Ui->setupUi(this);
    BuildComponents();
    m_Scale = DesignScaleFor(logicalDpiY());
    ScaleDesign();
    ApplyLook();
    ConnectHandlers();
    InitDrops();
    InitKeyboard();
    FormCreate();
    // A fixed window with minimise and close only, centred on the desktop.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    // A job's messages reach the desktop too while the window is away.
    SetUserMessageObserver(
        [this](TMessageKind kind, const std::string& text) { NoticeWhenAway(kind, text); });
    MainWindow = this;
}

TMainWindow::~TMainWindow()
{
    SetUserMessageObserver({});
    if (MainWindow == this)
        MainWindow = nullptr;
}

// ------------------------------------------------------------------ creation

void TMainWindow::BuildComponents()
{
    m_AudioOpenDlg = new TOpenDialog(QStringLiteral("AudioOpenDlg"), this);
    m_VideoOpenDlg = new TOpenDialog(QStringLiteral("VideoOpenDlg"), this);
    m_AudioSelectFolderDlg = new TSelectFolderDialog(QStringLiteral("AudioSelectFolderDlg"), this);
    m_VideoSelectFolderDlg = new TSelectFolderDialog(QStringLiteral("VideoSelectFolderDlg"), this);
    m_DownloadSelectFolderDlg =
        new TSelectFolderDialog(QStringLiteral("DownloadSelectFolderDlg"), this);

    m_PopupMenuShel = new QMenu(this);
    m_PopupMenuShel->setObjectName(QStringLiteral("PopupMenuShel"));
    for (int i = 1; i <= 5; ++i) {
        auto* item = new QAction(QStringLiteral("empty text"), m_PopupMenuShel);
        item->setObjectName(QStringLiteral("PopupMenuShelBtn%1").arg(i));
        m_PopupMenuShel->addAction(item);
    }

    m_ProgressPanel = new TProgressPanel(m_Ui->ProgressItemText, m_Ui->ProgressTimeText,
                                         m_Ui->ProgressTransferText, this);

    m_RzTrayIcon1 = new QSystemTrayIcon(ApplicationIcon(), this);
    m_RzTrayIcon1->setObjectName(QStringLiteral("RzTrayIcon1"));
    m_RzTrayIcon1->setContextMenu(m_PopupMenuShel);
    setWindowIcon(ApplicationIcon());
}

void TMainWindow::ConnectHandlers()
{
    connect(m_Ui->AudioBtn, &QAbstractButton::clicked, this, &TMainWindow::AudioBtnClick);
    connect(m_Ui->VideoBtn, &QAbstractButton::clicked, this, &TMainWindow::VideoBtnClick);
    connect(m_Ui->DownloadBtn, &QAbstractButton::clicked, this, &TMainWindow::DownloadBtnClick);
    connect(m_Ui->AudioBrowseBtn, &QAbstractButton::clicked, this,
            &TMainWindow::AudioBrowseBtnClick);
    connect(m_Ui->VideoBrowseBtn, &QAbstractButton::clicked, this,
            &TMainWindow::VideoBrowseBtnClick);
    connect(m_Ui->AudioDestinationBtn, &QAbstractButton::clicked, this,
            &TMainWindow::AudioDestinationBtnClick);
    connect(m_Ui->VideoDestinationBtn, &QAbstractButton::clicked, this,
            &TMainWindow::VideoDestinationBtnClick);
    connect(m_Ui->DownloadDestinationBtn, &QAbstractButton::clicked, this,
            &TMainWindow::DownloadDestinationBtnClick);
    connect(m_Ui->AudioFormatsForOutput, &QComboBox::currentIndexChanged, this,
            &TMainWindow::AudioFormatsForOutputChange);
    connect(m_Ui->VideoFormatsForOutput, &QComboBox::currentIndexChanged, this,
            &TMainWindow::VideoFormatsForOutputChange);
    connect(m_Ui->UrlForDownload, &QLineEdit::textChanged, this,
            &TMainWindow::UrlForDownloadChange);
    connect(m_Ui->ProcessOkBtn, &QAbstractButton::clicked, this, &TMainWindow::ProcessOkBtnClick);
    connect(m_Ui->ProcessCancelBtn, &QAbstractButton::clicked, this,
            &TMainWindow::ProcessCancelBtnClick);

    // A page's show handler runs whenever the page becomes visible.
    for (QWidget* page : {m_Ui->TabSheet1, m_Ui->TabSheet2, m_Ui->TabSheet3})
        page->installEventFilter(this);

    const QList<QAction*> items = m_PopupMenuShel->actions();
    connect(items[0], &QAction::triggered, this, &TMainWindow::PopupMenuShelBtn1Click);
    connect(items[1], &QAction::triggered, this, &TMainWindow::PopupMenuShelBtn2Click);
    connect(items[3], &QAction::triggered, this, &TMainWindow::PopupMenuShelBtn4Click);
    connect(items[4], &QAction::triggered, this, &TMainWindow::PopupMenuShelBtn5Click);
    connect(m_RzTrayIcon1, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick)
                    RzTrayIcon1LButtonDblClick();
            });
}

void TMainWindow::FormCreate()
{
    // 1. The application title.
    qApp->setProperty("applicationTitle", QString::fromUtf8(ApplicationTitle));
    // 2. and 3. Every page starts with the current directory as destination.
    const QString current = QDir::toNativeSeparators(QDir::currentPath());
    for (TPage page : {TPage::Audio, TPage::Video, TPage::Download}) {
        QLineEdit* field = page == TPage::Audio   ? m_Ui->PatchHereForAudioOut
                           : page == TPage::Video ? m_Ui->PatchHereForVideoOut
                                                  : m_Ui->PatchHereForDownloadOut;
        field->setText(current);
        FolderDialog(page)->SetSelectedFolder(field->text());
    }
    // 4. The window caption.
    setWindowTitle(QString::fromUtf8(ProductTitle));
    // 5. Texts and choice lists.
    {
        TTranslateForm translate;
        translate.Translate(this);
    }
    // Labels that size themselves to their text.
    for (QLabel* label : m_Ui->centralwidget->findChildren<QLabel*>()) {
        const QString look = label->property("look").toString();
        if (look == QLatin1String("stepTitle") || look == QLatin1String("settingLabel"))
            FitLabelBeforeNeighbour(label);
    }
    FitFileCountLabel(m_Ui->AudioPanelTextAmountFiles);
    FitFileCountLabel(m_Ui->VideoPanelTextAmountFiles);
    m_RzTrayIcon1->show();
}

// ------------------------------------------------------------------ accessors

QComboBox* TMainWindow::List(const char* listName) const
{
    return findChild<QComboBox*>(QString::fromLatin1(listName));
}

TSelectFolderDialog* TMainWindow::FolderDialog(TPage page) const
{
    switch (page) {
        case TPage::Audio:
            return m_AudioSelectFolderDlg;
        case TPage::Video:
            return m_VideoSelectFolderDlg;
        case TPage::Download:
            break;
    }
    return m_DownloadSelectFolderDlg;
}

QLineEdit* TMainWindow::PathField(TPage page) const
{
    switch (page) {
        case TPage::Audio:
            return m_Ui->PatchHereForAudioOut;
        case TPage::Video:
            return m_Ui->PatchHereForVideoOut;
        case TPage::Download:
            break;
    }
    return m_Ui->PatchHereForDownloadOut;
}

TStringList TMainWindow::InputFileList() const
{
    TStringList files;
    for (int i = 0; i < m_Ui->InputFiles->count(); ++i)
        files.push_back(FromQ(m_Ui->InputFiles->item(i)->text()));
    return files;
}

std::string TMainWindow::SelectedItemText(const char* listName) const
{
    const QComboBox* list = List(listName);
    return list && list->currentIndex() >= 0 ? FromQ(list->currentText()) : std::string();
}

int TMainWindow::SelectedItemIndex(const char* listName) const
{
    const QComboBox* list = List(listName);
    return list ? list->currentIndex() : -1;
}

std::string TMainWindow::SelectedFolder(TPage page) const
{
    return FromQ(FolderDialog(page)->SelectedFolder());
}

std::string TMainWindow::DestinationPath(TPage page) const
{
    return FromQ(PathField(page)->text());
}

std::string TMainWindow::UrlForDownloadText() const
{
    return FromQ(m_Ui->UrlForDownload->text());
}

std::string TMainWindow::DebugTextContent() const
{
    return FromQ(m_Ui->DebugText->toPlainText());
}

int TMainWindow::ProgressPosition() const
{
    return m_Ui->ProgressLine->value();
}

int TMainWindow::CurrentPage() const
{
    return m_Ui->DataControl->currentIndex();
}

// ------------------------------------------------------------------ TJobHost

void TMainWindow::SetProgress(int percent)
{
    m_Ui->ProgressLine->SetBusy(false);
    m_Ui->ProgressLine->setValue(std::clamp(percent, 0, 100));
    m_ProgressPanel->SetPercent(m_Ui->ProgressLine->value());
}

void TMainWindow::SetProgressBusy(bool busy)
{
    m_Ui->ProgressLine->SetBusy(busy);
    m_ProgressPanel->SetBusy(busy);
}

void TMainWindow::SetProgressItem(const std::string& text)
{
    m_ProgressPanel->SetItem(text);
}

void TMainWindow::SetWorkSeconds(double done, double total)
{
    m_ProgressPanel->SetWork(done, total);
}

void TMainWindow::SetTransferredBytes(std::int64_t received, std::int64_t total)
{
    m_ProgressPanel->SetTransferred(received, total);
}

void TMainWindow::AppendDebugLine(const std::string& line)
{
    m_Ui->DebugText->appendPlainText(ToQ(line));
}

void TMainWindow::ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}
