#include "convert/ConvertJobUnit.h"
#include "ui/main_window.h"

// The two conversion pages hand what the user chose to the jobs, which run
// inside the OK click; the window unlocks itself as the last step.

void TMainWindow::AudioConvertProcess()
{
    TAudioJobInput job;
    job.InputFiles = InputFileList();
    job.DestinationFolder = SelectedFolder(TPage::Audio);
    job.Format = SelectedItemText("AudioFormatsForOutput");
    job.Frequency = SelectedItemText("AudioFrequenciesList");
    job.Bitrate = SelectedItemText("AudioBitrateList");
    job.Channels = SelectedItemText("AudioChannelsModeList");
    RunAudioJob(job, JobHost());
    SetUnLockAudioPanel();
}

void TMainWindow::VideoConvertProcess()
{
    TVideoJobInput job;
    job.InputFiles = InputFileList();
    job.DestinationFolder = SelectedFolder(TPage::Video);
    job.Format = SelectedItemText("VideoFormatsForOutput");
    job.AudioBitrate = SelectedItemText("VideoAudioBitrateList");
    job.VideoBitrate = SelectedItemText("VideoVideoBitrateList");
    job.Resolution = SelectedItemText("VideoResolutionList");
    job.Channels = SelectedItemText("VideoChannelsModeList");
    RunVideoJob(job, JobHost());
    SetUnLockAudioPanel();
}
