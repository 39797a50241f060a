#include "download/DownloadThreadUnit.h"
#include "ui/main_window.h"

// OK on the download page: the typed link goes to the resolving service and
// the media file it names lands in the chosen folder. The job shows its own
// closing box; the window is unlocked last.
void TMainWindow::DownloadProcess()
{
    DownloadProcessJob(JobHost(), UrlForDownloadText(), DestinationPath(TPage::Download));
    SetUnLockAudioPanel();
}
