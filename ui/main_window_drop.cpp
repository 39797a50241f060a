#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>

#include "ui/dialog_components.h"
#include "ui/main_window.h"
#include "ui/media_drop.h"
#include "ui/qt_text.h"
#include "ui_main_window.h"

// Drag and drop: files and folders dropped on a conversion page replace the
// file list as a confirmed Browse does; a link dropped on the download page
// fills the link field. Nothing is taken while a job is on the stack.

void TMainWindow::InitDrops()
{
    setAcceptDrops(true);
    // The link field would insert a dropped link at the cursor; the window
    // replaces the whole link instead.
    m_Ui->UrlForDownload->setAcceptDrops(false);
}

QSet<QString> TMainWindow::MediaExtensions(TPage page) const
{
    // What the page's open dialog offers, and what the tool converts besides.
    QSet<QString> extensions = FilterExtensions(page == TPage::Video ? m_VideoOpenDlg->Filter()
                                                                     : m_AudioOpenDlg->Filter());
    for (const QString& extension : ExtraVideoExtensions())
        extensions.insert(extension);
    if (page == TPage::Audio) {
        for (const QString& extension : ExtraAudioExtensions())
            extensions.insert(extension);
    }
    return extensions;
}

bool TMainWindow::DropFits(const QMimeData* mime) const
{
    if (!mime || IsJobRunning())
        return false;
    if (CurrentPage() == int(TPage::Download))
        return !DroppedLink(*mime).isEmpty();
    return DropHasLocalFiles(*mime);
}

void TMainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (DropFits(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TMainWindow::dragMoveEvent(QDragMoveEvent* event)
{
    if (DropFits(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TMainWindow::dropEvent(QDropEvent* event)
{
    if (!DropFits(event->mimeData())) {
        event->ignore();
        return;
    }
    const auto page = TPage(CurrentPage());
    if (page == TPage::Download) {
        SetUrlForDownloadText(FromQ(DroppedLink(*event->mimeData())));
        event->acceptProposedAction();
        return;
    }
    const QStringList files = DroppedInputFiles(event->mimeData()->urls(), MediaExtensions(page));
    if (files.isEmpty()) {
        // A folder without media: the list stays as it was.
        event->ignore();
        return;
    }
    TStringList inputs;
    for (const QString& file : files)
        inputs.push_back(FromQ(file));
    SetInputFiles(page, inputs);
    event->acceptProposedAction();
}
