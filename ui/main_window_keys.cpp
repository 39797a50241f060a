#include <QKeySequence>
#include <QLineEdit>
#include <QShortcut>
#include <QSystemTrayIcon>

#include "common/UserMessageUnit.h"
#include "ui/look_widgets.h"
#include "ui/main_window.h"
#include "ui_main_window.h"

// The keyboard: the Tab order, Escape for Cancel, Enter in the link field
// for OK; and the tray icon's tooltip.

void TMainWindow::InitKeyboard()
{
    // Step by step, top to bottom and left to right within a step; then OK
    // and Cancel, the mode buttons and the page tabs. Controls of the pages
    // not shown, and disabled ones, are passed over.
    TPageTabBar* tabs = m_Ui->DataControl->PageTabBar();
    tabs->setObjectName(QStringLiteral("DataControlTabs"));
    tabs->setFocusPolicy(Qt::TabFocus);
    const QList<QWidget*> chain = {m_Ui->AudioBrowseBtn,
                                   m_Ui->AudioFormatsForOutput,
                                   m_Ui->AudioDestinationBtn,
                                   m_Ui->PatchHereForAudioOut,
                                   m_Ui->AudioChannelsModeList,
                                   m_Ui->AudioBitrateList,
                                   m_Ui->AudioFrequenciesList,
                                   m_Ui->VideoBrowseBtn,
                                   m_Ui->VideoFormatsForOutput,
                                   m_Ui->VideoDestinationBtn,
                                   m_Ui->PatchHereForVideoOut,
                                   m_Ui->VideoChannelsModeList,
                                   m_Ui->VideoAudioBitrateList,
                                   m_Ui->VideoVideoBitrateList,
                                   m_Ui->VideoResolutionList,
                                   m_Ui->UrlForDownload,
                                   m_Ui->DownloadDestinationBtn,
                                   m_Ui->PatchHereForDownloadOut,
                                   m_Ui->ProcessOkBtn,
                                   m_Ui->ProcessCancelBtn,
                                   m_Ui->AudioBtn,
                                   m_Ui->VideoBtn,
                                   m_Ui->DownloadBtn,
                                   tabs};
    for (qsizetype i = 0; i + 1 < chain.size(); ++i)
        setTabOrder(chain[i], chain[i + 1]);

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName(QStringLiteral("CancelShortcut"));
    connect(escape, &QShortcut::activated, this, [this] {
        if (m_Ui->ProcessCancelBtn->isEnabled())
            m_Ui->ProcessCancelBtn->click();
    });
    connect(m_Ui->UrlForDownload, &QLineEdit::returnPressed, this, [this] {
        if (m_Ui->ProcessOkBtn->isEnabled())
            m_Ui->ProcessOkBtn->click();
    });

    m_RzTrayIcon1->setToolTip(QString::fromUtf8(ProductTitle));
}
