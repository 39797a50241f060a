#pragma once

// The window's non-visual components: the two file-open dialogs and the three
// folder pickers. Each is a named QObject child of its window, so that
// Translate reaches its title, filter and default extension as properties.
// Execute() shows the real dialog, unless a test has installed an answer.

#include <functional>
#include <optional>

#include <QObject>
#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

// The filter that offers every file, after the table's own filter.
inline constexpr const char* AllFilesFilter = "All files (*)";

// The names typed into a file dialog's name field: one name, or several each
// in double quotes ("a.mp3" "b.flac"); a relative name is taken in FOLDER.
QStringList TypedFileNames(const QString& fieldText, const QString& folder);

// What an open dialog gives back once the typed names are checked.
struct TChosenFiles
{
    QStringList Files;    // every chosen file, each once
    QStringList Missing;  // typed names that are not an existing file
};

// The dialog's selection completed by the typed names: a typed name that is
// an existing file is kept even when the dialog left it out (its filter hid
// it); the typed order comes first, then selected files that were not typed.
TChosenFiles CompleteWithTypedNames(const QStringList& selected, const QStringList& typed);

class TOpenDialog : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString title READ Title WRITE SetTitle)
    Q_PROPERTY(QString filter READ Filter WRITE SetFilter)
    Q_PROPERTY(QString defaultExt READ DefaultExt WRITE SetDefaultExt)

public:
    explicit TOpenDialog(const QString& name, QObject* parent);

    QString Title() const { return m_Title; }
    void SetTitle(const QString& title) { m_Title = title; }
    // A Qt name filter, "description (*.a *.b)".
    QString Filter() const { return m_Filter; }
    void SetFilter(const QString& filter) { m_Filter = filter; }
    QString DefaultExt() const { return m_DefaultExt; }
    void SetDefaultExt(const QString& ext) { m_DefaultExt = ext; }

    // The folder the dialog opens in; the folder of the last choice afterwards.
    QString InitialDir() const { return m_InitialDir; }
    void SetInitialDir(const QString& dir) { m_InitialDir = dir; }

    // The filters the dialog offers: the table's filter first (the one shown
    // at the start), then every file.
    QStringList NameFilters() const;
    // Gives a file dialog this component's title, folder, filters and modes.
    void Prepare(QFileDialog& dialog) const;

    // Shows the dialog modally over PARENT; false when the user cancelled.
    // On true, Files() holds the chosen full paths in the dialog's order. A
    // typed name that does not exist is named in a warning and left out.
    bool Execute(QWidget* parent);
    QStringList Files() const { return m_Files; }

    // Test seam: answers every Execute() instead of a dialog. The answer
    // receives the dialog and returns the chosen files, or nothing to cancel.
    using TAnswer = std::function<std::optional<QStringList>(const TOpenDialog& dialog)>;
    static void SetAnswer(TAnswer answer);

private:
    QString m_Title;
    QString m_Filter;
    QString m_DefaultExt;
    QString m_InitialDir;
    QStringList m_Files;
};

class TSelectFolderDialog : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString title READ Title WRITE SetTitle)
    Q_PROPERTY(QString selectedFolder READ SelectedFolder WRITE SetSelectedFolder)

public:
    explicit TSelectFolderDialog(const QString& name, QObject* parent);

    QString Title() const { return m_Title; }
    void SetTitle(const QString& title) { m_Title = title; }
    QString SelectedFolder() const { return m_SelectedFolder; }
    void SetSelectedFolder(const QString& folder) { m_SelectedFolder = folder; }

    // Shows the picker modally over PARENT, opened at SelectedFolder(); false
    // when the user cancelled. On true, SelectedFolder() is the chosen folder
    // (empty when it has no path in the file system).
    bool Execute(QWidget* parent);

    // Test seam: answers every Execute() instead of a picker; nothing cancels.
    using TAnswer = std::function<std::optional<QString>(const TSelectFolderDialog& dialog)>;
    static void SetAnswer(TAnswer answer);

private:
    QString m_Title;
    QString m_SelectedFolder;
};
