#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

#include "settings/SettingsTable.h"
#include "settings/TranslateFormUnit.h"
#include "ui/dialog_components.h"
#include "ui/look_widgets.h"
#include "ui/main_window.h"
#include "ui/qt_text.h"
#include "ui_main_window.h"

// Between jobs: the inputs of the three pages, the mode buttons and page
// show handlers, and the rules that enable OK.

// ------------------------------------------------------------------ inputs

void TMainWindow::SetInputFiles(TPage page, const TStringList& files)
{
    m_Ui->InputFiles->clear();
    for (const std::string& file : files)
        m_Ui->InputFiles->addItem(ToQ(file));
    SetOkEnabled(page == TPage::Video ? VideoEnableOkBtn() : AudioEnableOkBtn());
    // The list is shared by both conversion pages, so both labels count it.
    ShowFileCount(m_Ui->AudioPanelTextAmountFiles);
    ShowFileCount(m_Ui->VideoPanelTextAmountFiles);
}

void TMainWindow::ShowFileCount(QLabel* label)
{
    TTranslateForm translate;
    const std::string pattern =
        TTranslateForm::CaptionValue(translate.FindCaptionRow(FromQ(label->objectName()), ""));
    label->setText(ToQ(ReplaceString("0", std::to_string(m_Ui->InputFiles->count()), pattern)));
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

// The list's chosen item is a format: its row, found by the list's name and
// the item's text as the jobs find it, has arguments other than "ERROR".
bool FormatChosen(const QComboBox* list)
{
    if (list->currentIndex() < 0)
        return false;
    const int row =
        TTranslateForm().FindSettingsRow(FromQ(list->objectName()), FromQ(list->currentText()));
    return row >= 0 && std::string(SettingsCell(row, 2)) != "ERROR";
}

}  // namespace

bool TMainWindow::AudioEnableOkBtn() const
{
    return !TrimString(FromQ(m_Ui->PatchHereForAudioOut->text())).empty() &&
           FormatChosen(m_Ui->AudioFormatsForOutput) && m_Ui->InputFiles->count() > 0;
}

bool TMainWindow::VideoEnableOkBtn() const
{
    return !TrimString(FromQ(m_Ui->PatchHereForVideoOut->text())).empty() &&
           FormatChosen(m_Ui->VideoFormatsForOutput) && m_Ui->InputFiles->count() > 0;
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
