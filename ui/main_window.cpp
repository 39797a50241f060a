#include "ui/main_window.h"

#include <cmath>
#include <exception>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTimer>

#include "common/UserMessageUnit.h"
#include "settings/SettingsTable.h"
#include "settings/TranslateFormUnit.h"
#include "ui/about_window.h"
#include "ui/application_look.h"
#include "ui/dialog_components.h"
#include "ui/look_widgets.h"
#include "ui_main_window.h"

TMainWindow* MainWindow = nullptr;

namespace {

TMainWindow::TJobOverride& JobOverride()
{
    static TMainWindow::TJobOverride job;
    return job;
}

QString ToQ(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

std::string FromQ(const QString& text)
{
    return text.toUtf8().toStdString();
}

// The window's design values are 120-dpi pixels.
constexpr int DesignClientWidth = 791;
constexpr int DesignClientHeight = 729;

}  // namespace

TMainWindow::TMainWindow(QWidget* parent) : QMainWindow(parent), m_Ui(new Ui::TMainWindow)
{
    InitApplicationLook();
    m_Ui->setupUi(this);
    BuildComponents();
    m_Scale = DesignScaleFor(logicalDpiY());
    ScaleDesign();
    ApplyLook();
    ConnectHandlers();
    FormCreate();
    // A fixed window with minimise and close only, centred on the desktop.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    MainWindow = this;
}

TMainWindow::~TMainWindow()
{
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

    m_RzTrayIcon1 = new QSystemTrayIcon(ApplicationIcon(), this);
    m_RzTrayIcon1->setObjectName(QStringLiteral("RzTrayIcon1"));
    m_RzTrayIcon1->setContextMenu(m_PopupMenuShel);
    setWindowIcon(ApplicationIcon());
}

void TMainWindow::ScaleDesign()
{
    // Every position and size of the design is multiplied by the scale and
    // rounded; pictures keep their own size. Widgets that Qt lays out itself
    // (the pages inside the page control, scroll bars, ...) are left alone.
    const auto scaled = [this](int v) { return int(std::lround(v * m_Scale)); };
    const QList<QWidget*> widgets = m_Ui->centralwidget->findChildren<QWidget*>();
    for (QWidget* w : widgets) {
        if (w->isWindow() || w->objectName().isEmpty() ||
            w->objectName().startsWith(QLatin1String("qt_")) ||
            qobject_cast<QStackedWidget*>(w->parentWidget()))
            continue;
        const QRect g = w->geometry();
        QSize size(scaled(g.width()), scaled(g.height()));
        if (w->property("look").toString() == QLatin1String("picture")) {
            if (auto* picture = qobject_cast<QLabel*>(w); picture && !picture->pixmap().isNull())
                size = picture->pixmap().size();
        }
        w->setGeometry(QRect(QPoint(scaled(g.x()), scaled(g.y())), size));
    }
    m_Ui->DataControl->SetScale(m_Scale);
    setFixedSize(scaled(DesignClientWidth), scaled(DesignClientHeight));
}

void TMainWindow::ApplyLook()
{
    const auto px = [this](int v) { return int(std::lround(v * m_Scale)); };
    setFont(DesignFont(QStringLiteral("MS Sans Serif"), px(14)));
    const QString theme = Look::Theme.name();

    // Collected first: replacing a list's popup view deletes widgets.
    QList<QPair<QWidget*, QString>> looks;
    for (QWidget* w : m_Ui->centralwidget->findChildren<QWidget*>()) {
        const QString look = w->property("look").toString();
        if (!look.isEmpty())
            looks.append({w, look});
    }
    for (const auto& [w, look] : looks) {
        QPalette palette = w->palette();
        const auto textColour = [&](const QColor& c) {
            palette.setColor(QPalette::WindowText, c);
            palette.setColor(QPalette::Text, c);
            w->setPalette(palette);
        };
        if (look == QLatin1String("stepNumber")) {
            w->setFont(DesignFont(QStringLiteral("Tahoma"), px(28)));
            textColour(Look::Grey);
        } else if (look == QLatin1String("stepTitle")) {
            w->setFont(DesignFont(QStringLiteral("Tahoma"), px(18)));
            textColour(Look::Theme);
        } else if (look == QLatin1String("settingLabel")) {
            w->setFont(DesignFont(QStringLiteral("Tahoma"), px(15)));
            textColour(Look::Grey);
        } else if (look == QLatin1String("pushButton")) {
            w->setFont(DesignFont(QStringLiteral("Tahoma"), px(18)));
            w->setCursor(Qt::PointingHandCursor);
        } else if (look == QLatin1String("formatList") || look == QLatin1String("settingsList")) {
            const bool format = look == QLatin1String("formatList");
            auto* list = static_cast<QComboBox*>(w);
            list->setView(new QListView(list));
            list->setFont(DesignFont(QStringLiteral("Tahoma"), px(format ? 18 : 15)));
            list->view()->setFont(list->font());
            list->setStyleSheet(
                QStringLiteral("QComboBox { border: 1px solid %1; background: white; color: black;"
                               " padding-left: %2px; }"
                               "QComboBox:disabled { color: #808080; }"
                               "QComboBox::drop-down { border-left: 1px solid %1; width: %3px;"
                               " background: qlineargradient(x1:0, y1:0, x2:0, y2:1,"
                               " stop:0 #ffffff, stop:1 #c9d5e8); }"
                               "QComboBox::down-arrow { image: url(:/pictures/list_arrow.png); }"
                               "QComboBox QAbstractItemView { border: 1px solid %1;"
                               " selection-background-color: %1; selection-color: white;"
                               " background: white; outline: 0; }"
                               "QComboBox QAbstractItemView::item { min-height: %4px; }")
                    .arg(theme)
                    .arg(px(4))
                    .arg(px(format ? 22 : 20))
                    .arg(px(format ? 22 : 18)));
            list->installEventFilter(this);
        } else if (look == QLatin1String("pathField")) {
            QFont f = DesignFont(QStringLiteral("Tahoma"), px(18));
            f.setBold(true);
            w->setFont(f);
            w->setStyleSheet(QStringLiteral(
                "QLineEdit { background: transparent; border: none; color: #808080; }"));
        } else if (look == QLatin1String("fileCount")) {
            QFont f = DesignFont(QStringLiteral("Tahoma"), px(18));
            f.setBold(true);
            w->setFont(f);
            textColour(Look::Grey);
        } else if (look == QLatin1String("linkField")) {
            w->setFont(DesignFont(QStringLiteral("Tahoma"), px(18)));
            w->setAttribute(Qt::WA_Hover);
            w->setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid %1; background: white;"
                                            " color: black; padding-left: %2px; }"
                                            "QLineEdit:hover { border: 1px solid #7fa3dc; }")
                                 .arg(theme)
                                 .arg(px(3)));
        } else if (look == QLatin1String("whitePanel")) {
            w->setAutoFillBackground(true);
            palette.setColor(QPalette::Window, Qt::white);
            w->setPalette(palette);
        } else if (look == QLatin1String("progressPanel")) {
            w->setStyleSheet(
                QStringLiteral("QFrame#FormPanel { background: %1; border: 1px solid %2;"
                               " border-radius: %3px; }")
                    .arg(theme, Look::Theme.darker(130).name())
                    .arg(px(10)));
        }
    }

    for (TImageButton* mode : {m_Ui->AudioBtn, m_Ui->VideoBtn, m_Ui->DownloadBtn}) {
        mode->setFont(DesignFont(QStringLiteral("Tahoma"), px(25)));
    }
    QFont progress = DesignFont(QStringLiteral("Tahoma"), px(18));
    progress.setBold(true);
    m_Ui->ProgressLine->setFont(progress);
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

void TMainWindow::FitLabelBeforeNeighbour(QLabel* label)
{
    // Sized to its text, but a list that stands to its right on the same
    // line must not cover the text's end: the font gives a little instead.
    label->adjustSize();
    int room = -1;
    for (QWidget* sibling :
         label->parentWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        const QRect g = sibling->geometry();
        if (sibling == label || g.left() <= label->x() || g.top() >= label->geometry().bottom() ||
            g.bottom() <= label->y())
            continue;
        const int space = g.left() - label->x() - int(std::lround(4 * m_Scale));
        room = room < 0 ? space : std::min(room, space);
    }
    if (room > 0 && label->width() > room) {
        label->setFont(FontFittingWidth(label->font(), label->text(), room));
        label->adjustSize();
    }
}

void TMainWindow::FitFileCountLabel(QLabel* label)
{
    // Right-aligned: the right edge stays where the design puts it, the text
    // grows to the left.
    if (!label->property("designRight").isValid())
        label->setProperty("designRight", label->geometry().right());
    const int right = label->property("designRight").toInt();
    const int width = std::max(label->fontMetrics().horizontalAdvance(label->text()) + 2,
                               int(std::lround(97 * m_Scale)));
    label->setGeometry(right - width + 1, label->y(), width, label->height());
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
}

void TMainWindow::SetProgressBusy(bool busy)
{
    m_Ui->ProgressLine->SetBusy(busy);
}

void TMainWindow::AppendDebugLine(const std::string& line)
{
    m_Ui->DebugText->appendPlainText(ToQ(line));
}

void TMainWindow::ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// ------------------------------------------------------------------ inputs

void TMainWindow::SetInputFiles(TPage page, const TStringList& files)
{
    m_Ui->InputFiles->clear();
    for (const std::string& file : files)
        m_Ui->InputFiles->addItem(ToQ(file));
    QLabel* label =
        page == TPage::Video ? m_Ui->VideoPanelTextAmountFiles : m_Ui->AudioPanelTextAmountFiles;
    SetOkEnabled(page == TPage::Video ? VideoEnableOkBtn() : AudioEnableOkBtn());
    TTranslateForm translate;
    const std::string pattern =
        TTranslateForm::CaptionValue(translate.FindCaptionRow(FromQ(label->objectName()), ""));
    label->setText(ToQ(ReplaceString("0", std::to_string(files.size()), pattern)));
    FitFileCountLabel(label);
}

void TMainWindow::SetDestinationFolder(TPage page, const std::string& folder)
{
    FolderDialog(page)->SetSelectedFolder(ToQ(folder));
    PathField(page)->setText(ToQ(folder));
    PathField(page)->setCursorPosition(0);
    SetOkEnabled(page == TPage::Audio   ? AudioEnableOkBtn()
                 : page == TPage::Video ? VideoEnableOkBtn()
                                        : DownloadEnableOkBtn());
}

bool TMainWindow::SelectListItem(const char* listName, const std::string& itemText)
{
    QComboBox* list = List(listName);
    const int index = list ? list->findText(ToQ(itemText), Qt::MatchExactly) : -1;
    if (index < 0)
        return false;
    list->setCurrentIndex(index);
    return true;
}

void TMainWindow::SetUrlForDownloadText(const std::string& text)
{
    m_Ui->UrlForDownload->setText(ToQ(text));
}

// ------------------------------------------------------------------ modes

void TMainWindow::PreSelectPanel()
{
    m_Ui->DataControl->setCurrentIndex(0);
    for (TImageButton* mode : {m_Ui->AudioBtn, m_Ui->VideoBtn, m_Ui->DownloadBtn})
        mode->SetCaptionColor(QStringLiteral("#ffffff"));
    m_Ui->Image1->hide();
    m_Ui->Image2->hide();
    m_Ui->Image3->hide();
}

void TMainWindow::AudioBtnClick()
{
    PreSelectPanel();
    m_Ui->DataControl->setCurrentIndex(0);
    m_Ui->AudioBtn->SetCaptionColor(Look::Yellow.name());
    m_Ui->Image1->show();
}

void TMainWindow::VideoBtnClick()
{
    PreSelectPanel();
    m_Ui->DataControl->setCurrentIndex(1);
    m_Ui->VideoBtn->SetCaptionColor(Look::Yellow.name());
    m_Ui->Image2->show();
}

void TMainWindow::DownloadBtnClick()
{
    PreSelectPanel();
    m_Ui->DataControl->setCurrentIndex(2);
    m_Ui->DownloadBtn->SetCaptionColor(Look::Yellow.name());
    m_Ui->Image3->show();
}

void TMainWindow::TabSheet1Show()
{
    SetOkEnabled(AudioEnableOkBtn());
}

void TMainWindow::TabSheet2Show()
{
    SetOkEnabled(VideoEnableOkBtn());
}

void TMainWindow::TabSheet3Show()
{
    SetOkEnabled(DownloadEnableOkBtn());
}

// ------------------------------------------------------------------ OK rules

namespace {

bool FormatChosen(const QComboBox* list, int firstRow)
{
    const int index = list->currentIndex();
    if (index < 0 || firstRow + index >= SettingsRowCount)
        return false;
    return std::string(SettingsCell(firstRow + index, 2)) != "ERROR";
}

}  // namespace

bool TMainWindow::AudioEnableOkBtn() const
{
    return !TrimString(FromQ(m_Ui->PatchHereForAudioOut->text())).empty() &&
           FormatChosen(m_Ui->AudioFormatsForOutput, 0) && m_Ui->InputFiles->count() > 0;
}

bool TMainWindow::VideoEnableOkBtn() const
{
    return !TrimString(FromQ(m_Ui->PatchHereForVideoOut->text())).empty() &&
           FormatChosen(m_Ui->VideoFormatsForOutput, FirstVideoFormatRow) &&
           m_Ui->InputFiles->count() > 0;
}

bool TMainWindow::DownloadEnableOkBtn() const
{
    const std::string link = ReplaceString("http://", "", FromQ(m_Ui->UrlForDownload->text()));
    return !TrimString(link).empty() &&
           !TrimString(FromQ(m_Ui->PatchHereForDownloadOut->text())).empty();
}

void TMainWindow::SetOkEnabled(bool enabled)
{
    m_OkWanted = enabled;
    // No second job may start while one is still on the stack.
    m_Ui->ProcessOkBtn->setEnabled(enabled && !IsJobRunning());
}

// ------------------------------------------------------------------ input handlers

void TMainWindow::BrowseFiles(TPage page)
{
    TOpenDialog* dialog = page == TPage::Video ? m_VideoOpenDlg : m_AudioOpenDlg;
    if (!dialog->Execute(this))
        return;
    TStringList files;
    for (const QString& file : dialog->Files())
        files.push_back(FromQ(file));
    SetInputFiles(page, files);
}

void TMainWindow::AudioBrowseBtnClick()
{
    BrowseFiles(TPage::Audio);
}

void TMainWindow::VideoBrowseBtnClick()
{
    BrowseFiles(TPage::Video);
}

void TMainWindow::ChooseDestination(TPage page)
{
    TSelectFolderDialog* dialog = FolderDialog(page);
    if (!dialog->Execute(this))
        return;
    SetDestinationFolder(page, FromQ(dialog->SelectedFolder()));
}

void TMainWindow::AudioDestinationBtnClick()
{
    ChooseDestination(TPage::Audio);
}

void TMainWindow::VideoDestinationBtnClick()
{
    ChooseDestination(TPage::Video);
}

void TMainWindow::DownloadDestinationBtnClick()
{
    ChooseDestination(TPage::Download);
}

void TMainWindow::AudioFormatsForOutputChange()
{
    SetOkEnabled(AudioEnableOkBtn());
}

void TMainWindow::VideoFormatsForOutputChange()
{
    SetOkEnabled(VideoEnableOkBtn());
}

void TMainWindow::UrlForDownloadChange()
{
    SetOkEnabled(DownloadEnableOkBtn());
}

// ------------------------------------------------------------------ job control

void TMainWindow::SetJobOverride(TJobOverride job)
{
    JobOverride() = std::move(job);
}

void TMainWindow::ProcessOkBtnClick()
{
    if (IsJobRunning())
        return;  // a job is still winding down below us
    m_StopProcess = false;
    SetLockAudioPanel();
    const int page = m_Ui->DataControl->currentIndex();
    ++m_JobDepth;
    try {
        if (JobOverride())
            JobOverride()(*this, page);
        else if (page == 0)
            AudioConvertProcess();
        else if (page == 1)
            VideoConvertProcess();
        else if (page == 2)
            DownloadProcess();
    } catch (const std::exception& error) {
        // The job's final unlock has not happened: the window stays locked
        // with Cancel enabled, and Cancel unlocks it.
        --m_JobDepth;
        QMessageBox::critical(this, qApp->property("applicationTitle").toString(),
                              QString::fromUtf8(error.what()));
        ++m_JobDepth;
    }
    --m_JobDepth;
    m_Ui->ProcessOkBtn->setEnabled(m_OkWanted);
    if (m_EndAfterJob)
        EndProgram();
}

void TMainWindow::ProcessCancelBtnClick()
{
    m_StopProcess = true;
    SetUnLockAudioPanel();
}

void TMainWindow::SetLockAudioPanel()
{
    SetProgress(0);
    m_Ui->FormPanel->show();
    SetOkEnabled(false);
    m_Ui->ProcessCancelBtn->setEnabled(true);
    m_Ui->DataControl->setEnabled(false);
    m_Ui->Panel1->setEnabled(false);
}

void TMainWindow::SetUnLockAudioPanel()
{
    SetProgress(100);
    SetOkEnabled(true);
    m_Ui->ProcessCancelBtn->setEnabled(false);
    m_Ui->DataControl->setEnabled(true);
    m_Ui->Panel1->setEnabled(true);
    m_Ui->FormPanel->hide();
}

void TMainWindow::FormClose()
{
    // Nothing to clean up: the tool file stays for the next start.
}

void TMainWindow::closeEvent(QCloseEvent* event)
{
    if (IsJobRunning()) {
        // The job runs to its end with its closing message, then we end.
        m_EndAfterJob = true;
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
    emit EndRequested();
}

void TMainWindow::EndProgram()
{
    if (IsJobRunning()) {
        m_EndAfterJob = true;
        return;
    }
    m_EndAfterJob = false;
    m_RzTrayIcon1->hide();
    close();
}

// ------------------------------------------------------------------ tray and About

void TMainWindow::ShowMainWindow()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    setVisible(true);
    show();
    raise();
    activateWindow();
}

void TMainWindow::RzTrayIcon1LButtonDblClick()
{
    ShowMainWindow();
}

void TMainWindow::PopupMenuShelBtn1Click()
{
    ShowMainWindow();
}

void TMainWindow::PopupMenuShelBtn2Click()
{
    hide();
}

void TMainWindow::PopupMenuShelBtn4Click()
{
    if (m_AboutWindow)
        m_AboutWindow->ShowModal();
}

void TMainWindow::PopupMenuShelBtn5Click()
{
    EndProgram();
}

bool TMainWindow::TrayShown() const
{
    return QSystemTrayIcon::isSystemTrayAvailable() && m_RzTrayIcon1->isVisible();
}

void TMainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && TrayShown()) {
        // Off the taskbar: the tray icon brings the window back. Without a
        // tray the window stays on the taskbar, or it could not be reached.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                hide();
        });
    }
}

bool TMainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && !event->spontaneous()) {
        if (watched == m_Ui->TabSheet1)
            TabSheet1Show();
        else if (watched == m_Ui->TabSheet2)
            TabSheet2Show();
        else if (watched == m_Ui->TabSheet3)
            TabSheet3Show();
    } else if (event->type() == QEvent::KeyPress && qobject_cast<QComboBox*>(watched)) {
        // Enter in a list moves on to the next control.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            focusNextChild();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
