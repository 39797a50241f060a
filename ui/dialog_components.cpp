#include "ui/dialog_components.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QSet>
#include <QUrl>

#include "common/UserMessageUnit.h"

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

QString CleanPath(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

void ReportMissingFiles(const QStringList& missing)
{
    std::string text;
    for (const QString& name : missing) {
        if (!text.empty())
            text += '\n';
        text += "File not found, not added: " + name.toStdString();
    }
    ShowUserMessage(TMessageKind::Warning, text);
}

// What the dialog writes into its name field for the files chosen in its list:
// the one name as it is, several each in double quotes.
QString SelectionFieldText(const QStringList& names)
{
    if (names.size() == 1)
        return names.constFirst();
    QStringList quoted;
    for (const QString& name : names)
        quoted << QLatin1Char('"') + name + QLatin1Char('"');
    return quoted.join(QLatin1Char(' '));
}

// The file dialog that takes the files chosen in its list as they are. The
// dialog writes their names into its name field and reads the field back as
// typed names, which breaks a name holding a double quote into pieces and may
// select the folder itself (Open then only empties the field). A field that
// holds what the dialog wrote for its selection is not read back here: only a
// name typed by hand is.
class TFileDialog : public QFileDialog
{
public:
    using QFileDialog::QFileDialog;

    // The files chosen in the list, when the dialog was accepted with them.
    const std::optional<QStringList>& ChosenInList() const { return m_chosen; }

    void accept() override
    {
        m_chosen = ListChoice();
        if (m_chosen)
            QDialog::accept();
        else
            QFileDialog::accept();
    }

private:
    std::optional<QStringList> ListChoice() const
    {
        const auto* field = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const auto* view = findChild<QListView*>(QStringLiteral("listView"));
        if (!field || !view || !view->selectionModel() || field->text().isEmpty())
            return std::nullopt;
        // The list and the detail view share this selection. The dialog wrote
        // the field from the selected files in this order; what its reading
        // back selected comes after them.
        QStringList names;
        QStringList paths;
        for (const QModelIndex& row : view->selectionModel()->selectedRows()) {
            const QString path = row.data(QFileSystemModel::FilePathRole).toString();
            if (path.isEmpty() || QFileInfo(path).isDir())
                continue;
            names << row.data().toString();
            paths << path;
        }
        for (qsizetype count = names.size(); count > 0; --count) {
            if (SelectionFieldText(names.first(count)) == field->text())
                return paths.first(count);
        }
        return std::nullopt;
    }

    std::optional<QStringList> m_chosen;
};

}  // namespace

QStringList TypedFileNames(const QString& fieldText, const QString& folder)
{
    QStringList names;
    if (fieldText.contains(QLatin1Char('"'))) {
        // Every second piece between the quotes is a name.
        const QStringList pieces = fieldText.split(QLatin1Char('"'));
        for (qsizetype i = 1; i < pieces.size(); i += 2) {
            if (!pieces[i].isEmpty())
                names << pieces[i];
        }
    } else if (!fieldText.trimmed().isEmpty()) {
        names << fieldText;
    }
    const QDir base(folder);
    for (QString& name : names)
        name = QDir::cleanPath(base.absoluteFilePath(name));
    return names;
}

TChosenFiles CompleteWithTypedNames(const QStringList& selected, const QStringList& typed)
{
    TChosenFiles chosen;
    QSet<QString> seen;
    const auto add = [&chosen, &seen](const QString& path) {
        const QString key = CleanPath(path);
        if (seen.contains(key))
            return;
        seen.insert(key);
        chosen.Files << path;
    };
    QSet<QString> selectedKeys;
    for (const QString& path : selected)
        selectedKeys.insert(CleanPath(path));
    for (const QString& name : typed) {
        const QFileInfo info(name);
        if (selectedKeys.contains(CleanPath(name)) || (info.exists() && !info.isDir()))
            add(name);
        else if (!info.isDir())
            chosen.Missing << name;
    }
    for (const QString& path : selected)
        add(path);
    return chosen;
}

TOpenDialog::TOpenDialog(const QString& name, QObject* parent) : QObject(parent)
{
    setObjectName(name);
}

void TOpenDialog::SetAnswer(TAnswer answer)
{
    OpenAnswer() = std::move(answer);
}

QStringList TOpenDialog::NameFilters() const
{
    QStringList filters;
    if (!m_Filter.isEmpty())
        filters << m_Filter;
    filters << QString::fromLatin1(AllFilesFilter);
    return filters;
}

void TOpenDialog::Prepare(QFileDialog& dialog) const
{
    dialog.setWindowTitle(m_Title);
    dialog.setDirectory(m_InitialDir);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Links are returned as themselves, not as their targets.
    dialog.setOption(QFileDialog::DontResolveSymlinks);
    dialog.setOption(QFileDialog::ReadOnly, false);
    // The table's patterns are spelled out for every case of every letter;
    // the user sees the filters' descriptions only.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = NameFilters();
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.constFirst());
}

bool TOpenDialog::Execute(QWidget* parent)
{
    std::optional<QStringList> chosen;
    if (OpenAnswer()) {
        chosen = OpenAnswer()(*this);
    } else {
        TFileDialog dialog(parent);
        Prepare(dialog);
        if (dialog.exec() == QDialog::Accepted && dialog.ChosenInList()) {
            chosen = *dialog.ChosenInList();
        } else if (dialog.result() == QDialog::Accepted) {
            // The dialog drops a typed name its filter hides once another
            // typed name is shown: the typed names are checked here.
            const auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            const TChosenFiles files = CompleteWithTypedNames(
                dialog.selectedFiles(),
                field ? TypedFileNames(field->text(), dialog.directory().absolutePath())
                      : QStringList());
            if (!files.Missing.isEmpty())
                ReportMissingFiles(files.Missing);
            chosen = files.Files;
        }
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
