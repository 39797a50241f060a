#include "ui/main_window.h"

void TMainWindow::AudioConvertProcess()
{
    SetUnLockAudioPanel();
}

void TMainWindow::VideoConvertProcess()
{
    SetUnLockAudioPanel();
}
