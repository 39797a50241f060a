#include "ui/dialog_components.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QUrl>

namespace {

TOpenDialog::TAnswer& OpenAnswer()
{
    static TOpenDialog::TAnswer answer;
    return answer;
}

TSelectFolderDialog::TAnswer& FolderAnswer()
{
    static TSelectFolderDialog::TAnswer answer;
    return answer;
}

}  // namespace

TOpenDialog::TOpenDialog(const QString& name, QObject* parent) : QObject(parent)
{
    setObjectName(name);
}

void TOpenDialog::SetAnswer(TAnswer answer)
{
    OpenAnswer() = std::move(answer);
}

bool TOpenDialog::Execute(QWidget* parent)
{
    std::optional<QStringList> chosen;
    if (OpenAnswer()) {
        chosen = OpenAnswer()(*this);
    } else {
        QFileDialog dialog(parent, m_Title, m_InitialDir);
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        // Links are returned as themselves, not as their targets.
        dialog.setOption(QFileDialog::DontResolveSymlinks);
        dialog.setOption(QFileDialog::ReadOnly, false);
        if (!m_Filter.isEmpty()) {
            // The patterns are spelled out for every case of every letter;
            // the user sees the filter's description only.
            dialog.setOption(QFileDialog::HideNameFilterDetails);
            dialog.setNameFilter(m_Filter);
        }
        if (dialog.exec() == QDialog::Accepted)
            chosen = dialog.selectedFiles();
    }
    if (!chosen || chosen->isEmpty())
        return false;
    m_Files = *chosen;
    m_InitialDir = QFileInfo(m_Files.constFirst()).absolutePath();
    return true;
}

TSelectFolderDialog::TSelectFolderDialog(const QString& name, QObject* parent) : QObject(parent)
{
    setObjectName(name);
}

void TSelectFolderDialog::SetAnswer(TAnswer answer)
{
    FolderAnswer() = std::move(answer);
}

bool TSelectFolderDialog::Execute(QWidget* parent)
{
    std::optional<QString> chosen;
    if (FolderAnswer()) {
        chosen = FolderAnswer()(*this);
    } else {
        QFileDialog dialog(parent, m_Title, m_SelectedFolder);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.setFilter(QDir::AllDirs | QDir::Hidden | QDir::NoDotAndDotDot);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedUrls().isEmpty()) {
            // A folder outside the file system has no path to write into.
            const QUrl folder = dialog.selectedUrls().constFirst();
            chosen = folder.isLocalFile() ? folder.toLocalFile() : QString();
        }
    }
    if (!chosen)
        return false;
    m_SelectedFolder = *chosen;
    return true;
}
