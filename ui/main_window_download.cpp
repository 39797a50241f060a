#include "ui/main_window.h"

void TMainWindow::DownloadProcess()
{
    SetUnLockAudioPanel();
}
