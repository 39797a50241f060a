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

class QWidget;

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

    // Shows the dialog modally over PARENT; false when the user cancelled.
    // On true, Files() holds the chosen full paths in the dialog's order.
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
