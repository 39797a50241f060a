#pragma once

// TMainWindow: the program's one working window. Three pages (audio, video,
// download) of numbered steps, the mode column, OK and Cancel, the progress
// panel, the hidden holders InputFiles and DebugText, the tray icon and its
// menu. The jobs run inside the OK click on the GUI thread; the window is
// their TJobHost.
//
// Its code is split by concern: creation and accessors (main_window.cpp),
// the look (_look), the pages and OK rules (_pages), job control (_jobs),
// the tray and desktop notices (_tray), drag and drop (_drop), the keyboard
// (_keys), and the jobs' hand-over (_convert, _download).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <QMainWindow>
#include <QSet>
#include <QString>

#include "common/JobHostUnit.h"
#include "common/StringFunctionsUnit.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QSystemTrayIcon;
class TAboutWindow;
class TProgressPanel;
class TOpenDialog;
class TSelectFolderDialog;

enum class TMessageKind;

namespace Ui {
class TMainWindow;
}

// The pages of DataControl, by index.
enum class TPage
{
    Audio = 0,
    Video = 1,
    Download = 2
};

class TMainWindow : public QMainWindow, public TJobHost
{
    Q_OBJECT

public:
    explicit TMainWindow(QWidget* parent = nullptr);
    ~TMainWindow() override;

    // --- TJobHost -------------------------------------------------------
    bool StopRequested() const override { return m_StopProcess; }
    void SetProgress(int percent) override;
    void SetProgressBusy(bool busy) override;
    void AppendDebugLine(const std::string& line) override;
    void ProcessMessages() override;
    void SetProgressItem(const std::string& text) override;
    void SetWorkSeconds(double done, double total) override;
    void SetTransferredBytes(std::int64_t received, std::int64_t total) override;
    TJobHost& JobHost() { return *this; }

    // --- What the jobs read ------------------------------------------------
    // StopProcess: cleared by OK, set by Cancel, never cleared at a job's end.
    bool StopProcess() const { return m_StopProcess; }
    // InputFiles: the chosen input paths, in the dialog's order.
    TStringList InputFileList() const;
    // The selected item's text (and index) of a choice list named LISTNAME
    // ("AudioFormatsForOutput", "VideoResolutionList", ...); "" and -1 when
    // there is no such list or nothing is selected.
    std::string SelectedItemText(const char* listName) const;
    int SelectedItemIndex(const char* listName) const;
    // The folder selected in the page's folder picker (the conversion jobs
    // read this one) and the text of the page's path field (the download job
    // and the OK rules read that one). Both are always written together.
    std::string SelectedFolder(TPage page) const;
    std::string DestinationPath(TPage page) const;
    // The text of UrlForDownload.
    std::string UrlForDownloadText() const;
    // The whole run log, lines separated by "\n".
    std::string DebugTextContent() const;
    // The percentage ProgressLine shows.
    int ProgressPosition() const;
    // The page index of DataControl.
    int CurrentPage() const;
    // True while a job is on the stack below an OK click (also after Cancel,
    // until the cancelled job has returned).
    bool IsJobRunning() const { return m_JobDepth > 0; }

    // --- Inputs, as the handlers set them (also a seam for tests) ---------
    // Replaces InputFiles and updates the page's file-count label and OK,
    // exactly as a confirmed Browse on that page does.
    void SetInputFiles(TPage page, const TStringList& files);
    // Writes the page's path field and folder picker and re-evaluates OK, as
    // a confirmed destination button does.
    void SetDestinationFolder(TPage page, const std::string& folder);
    // Selects the item with text ITEMTEXT in LISTNAME (firing its change
    // handler); false when the list or the item does not exist.
    bool SelectListItem(const char* listName, const std::string& itemText);
    void SetUrlForDownloadText(const std::string& text);

    // --- The jobs ----------------------------------------------------------
    // Each runs to its end inside the OK click and calls SetUnLockAudioPanel()
    // as its last step. Defined beside the job code.
    void AudioConvertProcess();
    void VideoConvertProcess();
    void DownloadProcess();

    // Test seam: when set, OK runs this instead of the page's job (it gets the
    // page index and must end with SetUnLockAudioPanel() like a real job).
    using TJobOverride = std::function<void(TMainWindow& window, int page)>;
    static void SetJobOverride(TJobOverride job);

    // --- Job control -------------------------------------------------------
    void ProcessOkBtnClick();
    void ProcessCancelBtnClick();
    void SetLockAudioPanel();
    void SetUnLockAudioPanel();

    // --- Between jobs ------------------------------------------------------
    void PreSelectPanel();
    void AudioBtnClick();
    void VideoBtnClick();
    void DownloadBtnClick();
    void TabSheet1Show();
    void TabSheet2Show();
    void TabSheet3Show();
    void AudioBrowseBtnClick();
    void VideoBrowseBtnClick();
    void AudioDestinationBtnClick();
    void VideoDestinationBtnClick();
    void DownloadDestinationBtnClick();
    void AudioFormatsForOutputChange();
    void VideoFormatsForOutputChange();
    void UrlForDownloadChange();
    bool AudioEnableOkBtn() const;
    bool VideoEnableOkBtn() const;
    bool DownloadEnableOkBtn() const;

    // --- Tray icon and About -----------------------------------------------
    void RzTrayIcon1LButtonDblClick();
    void PopupMenuShelBtn1Click();
    void PopupMenuShelBtn2Click();
    void PopupMenuShelBtn4Click();
    void PopupMenuShelBtn5Click();
    // The About window shown by "About Quorvex" (created at start-up).
    void SetAboutWindow(TAboutWindow* about) { m_AboutWindow = about; }

    // The scale of the 120-dpi design values on this screen (13/16 at 96 dpi).
    double DesignScale() const { return m_Scale; }

signals:
    // The window was closed (or "Exit" chosen) with no job running: the
    // program ends. Start-up connects it to the application's quit.
    void EndRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void FormCreate();
    void FormClose();
    void ScaleDesign();
    void ApplyLook();
    void BuildComponents();
    void ConnectHandlers();
    void SetOkEnabled(bool enabled);
    void BrowseFiles(TPage page);
    void ChooseDestination(TPage page);
    void ShowMainWindow();
    void EndProgram();
    QComboBox* List(const char* listName) const;
    QLineEdit* PathField(TPage page) const;
    void FitFileCountLabel(QLabel* label);
    void ShowFileCount(QLabel* label);
    void FitLabelBeforeNeighbour(QLabel* label);
    bool TrayShown() const;
    TSelectFolderDialog* FolderDialog(TPage page) const;
    void InitDrops();
    void InitKeyboard();
    bool IsAway() const;
    void NoticeWhenAway(TMessageKind kind, const std::string& text);
    QSet<QString> MediaExtensions(TPage page) const;
    bool DropFits(const QMimeData* mime) const;

    std::unique_ptr<Ui::TMainWindow> m_Ui;
    TOpenDialog* m_AudioOpenDlg = nullptr;
    TOpenDialog* m_VideoOpenDlg = nullptr;
    TSelectFolderDialog* m_AudioSelectFolderDlg = nullptr;
    TSelectFolderDialog* m_VideoSelectFolderDlg = nullptr;
    TSelectFolderDialog* m_DownloadSelectFolderDlg = nullptr;
    QSystemTrayIcon* m_RzTrayIcon1 = nullptr;
    QMenu* m_PopupMenuShel = nullptr;
    TAboutWindow* m_AboutWindow = nullptr;
    TProgressPanel* m_ProgressPanel = nullptr;

    bool m_StopProcess = false;
    // OK's state as the lock and the page rules want it; the button itself
    // stays disabled while a job is on the stack.
    bool m_OkWanted = false;
    int m_JobDepth = 0;
    bool m_EndAfterJob = false;
    double m_Scale = 1.0;
};

// The one main window, set while it exists.
extern TMainWindow* MainWindow;
