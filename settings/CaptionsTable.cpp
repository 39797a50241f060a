#include "settings/CaptionsTable.h"

#include "common/UserMessageUnit.h"

// clang-format off
const std::array<TCaptionRow, CaptionRowCount> CaptionsTable = {{
    {"AudioBtn", "Caption", "Audio"},                                               // 0
    {"VideoBtn", "Caption", "Video"},
    {"DownloadBtn", "Caption", "Download"},
    {"AudioPanelTextStep1", "Caption", "Step 1"},
    {"AudioPanelTextStep2", "Caption", "Step 2"},
    {"AudioPanelTextStep3", "Caption", "Step 3"},                                   // 5
    {"AudioPanelStep1Text", "Caption", "Select Files to Convert"},
    {"AudioPanelStep2Text", "Caption", "Select Output Audio Format"},
    {"AudioPanelStep3Text", "Caption", "Select Destination Folder For Converted File(s)"},
    {"AudioPanelStep4Text", "Caption", "Output Audio File Settings"},
    {"AudioBrowseBtn", "Caption", "Browse"},                                        // 10
    {"AudioDestinationBtn", "Caption", "Select a Folder"},
    {"AudioPanelTextChannelsMode", "Caption", "Output Channels Mode"},
    {"AudioPanelTextBitrate", "Caption", "Bit Rate"},
    {"AudioPanelTextFrequencies", "Caption", "Sampling Frequencies"},
    {"AudioPanelTextAmountFiles", "Caption", "0 file(s) loaded"},                   // 15
    {"AudioOpenDlg", "Title", "Quorvex - Open Audio/Video File(s)"},
    {"AudioSelectFolderDlg", "Title", "Select Destination Folder For Converted File(s)"},
    {"VideoPanelTextStep1", "Caption", "Step 1"},
    {"VideoPanelTextStep2", "Caption", "Step 2"},
    {"VideoPanelTextStep3", "Caption", "Step 3"},                                   // 20
    {"VideoPanelStep1Text", "Caption", "Select Files to Convert"},
    {"VideoPanelStep2Text", "Caption", "Select Output Video Format"},
    {"VideoPanelStep3Text", "Caption", "Select Destination Folder For Converted File(s)"},
    {"VideoPanelStep4Text", "Caption", "Output Video File Settings"},
    {"VideoBrowseBtn", "Caption", "Browse"},                                        // 25
    {"VideoDestinationBtn", "Caption", "Select a Folder"},
    {"VideoPanelTextChannelsMode", "Caption", "Output Channels Mode"},
    {"VideoPanelTextAudioBitrate", "Caption", "Audio Bit Rate"},
    {"VideoPanelTextVideoBitrate", "Caption", "Video Bit Rate"},
    {"VideoPanelTextFrequencies", "Caption", "Sampling Frequencies"},               // 30
    {"VideoPanelTextResolution", "Caption", "Video Resolution"},
    {"VideoPanelTextAmountFiles", "Caption", "0 file(s) loaded"},
    {"VideoOpenDlg", "Title", "Quorvex - Open Video File(s)"},
    {"VideoSelectFolderDlg", "Title", "Select Destination Folder For Converted File(s)"},
    {"DownloadPanelTextStep1", "Caption", "Step 1"},                                // 35
    {"DownloadPanelTextStep2", "Caption", "Step 2"},
    {"DownloadPanelStep1Text", "Caption", "Enter a Link (Example:http://sitename/filename)"},
    {"DownloadPanelStep2Text", "Caption", "Select Destination Folder For Downloaded File(s)"},
    {"DownloadDestinationBtn", "Caption", "Select a Folder"},
    {"UrlForDownload", "Text", "http://"},                                          // 40
    {"DownloadSelectFolderDlg", "Title", "Select Destination Folder For Downloaded File(s)"},
    {"PopupMenuShelBtn1", "Caption", "Open Quorvex..."},
    {"PopupMenuShelBtn2", "Caption", "Hide Minimized"},
    {"PopupMenuShelBtn3", "Caption", "-"},
    {"PopupMenuShelBtn4", "Caption", "About Quorvex"},                              // 45
    {"PopupMenuShelBtn5", "Caption", "Exit"},
    {"AboutOkBtn", "Caption", "Ok"},
    {"AboutText", "Caption",
     QUORVEX_PRODUCT_TITLE "\n\rBrimlow LLC\n\rAudio and video converter"},
    {"UrlForHomeSite", "Caption", HomeSiteAddress},
    {"AudioOpenDlg", "DefaulText", "All supported files"},                          // 50
    {"AudioOpenDlg", "Filter",
     "All supported files|*.mp3;*.ogg;*.wav;*.wma;*.m4a;*.ac3;*.avi;*.mp4;*.mov;*.wmv;*.flv;"
     "*.mpg;*.mpeg;*.3gp;*.3g2;*.m4v"},
    {"VideoOpenDlg", "DefaulText", "All supported files"},
    {"VideoOpenDlg", "Filter",
     "All supported files|*.avi;*.mp4;*.mov;*.wmv;*.flv;*.mpg;*.mpeg;*.3gp;*.3g2;*.m4v"},
}};
// clang-format on
