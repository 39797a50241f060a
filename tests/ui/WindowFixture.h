#pragma once

// Builds the main window as the program does, answers every dialog and
// message box, and finds components by name.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <QTest>
#include <QWidget>

#include "common/UserMessageUnit.h"
#include "ui/about_window.h"
#include "ui/dialog_components.h"
#include "ui/main_window.h"

struct TShownMessage
{
    TMessageKind Kind;
    std::string Title;
    std::string Text;
};

class TWindowFixture
{
public:
    TWindowFixture()
    {
        SetUserMessageHandler(
            [this](TMessageKind kind, const std::string& title, const std::string& text) {
                Messages.push_back({kind, title, text});
            });
        TOpenDialog::SetAnswer([this](const TOpenDialog& dialog) {
            ++OpenDialogCalls;
            LastOpenDialog = dialog.objectName();
            return FilesAnswer;
        });
        TSelectFolderDialog::SetAnswer([this](const TSelectFolderDialog& dialog) {
            LastFolderDialogStart = dialog.SelectedFolder();
            return FolderAnswer;
        });
        Window = std::make_unique<TMainWindow>();
        About = std::make_unique<TAboutWindow>(Window.get());
        Window->SetAboutWindow(About.get());
        Window->show();
        Exposed = QTest::qWaitForWindowExposed(Window.get());
    }

    ~TWindowFixture()
    {
        About.reset();
        Window.reset();
        TOpenDialog::SetAnswer({});
        TSelectFolderDialog::SetAnswer({});
        TMainWindow::SetJobOverride({});
        SetUserMessageHandler({});
    }

    template <typename T = QWidget>
    T* Find(const char* name) const
    {
        return Window->findChild<T*>(QString::fromLatin1(name));
    }

    QAbstractButton* Button(const char* name) const { return Find<QAbstractButton>(name); }
    bool OkEnabled() const { return Button("ProcessOkBtn")->isEnabled(); }

    // Browse with these files chosen in the dialog.
    void Browse(const char* button, const std::optional<QStringList>& files)
    {
        FilesAnswer = files;
        Button(button)->click();
    }

    std::unique_ptr<TMainWindow> Window;
    std::unique_ptr<TAboutWindow> About;
    bool Exposed = false;
    std::optional<QStringList> FilesAnswer;
    std::optional<QString> FolderAnswer;
    QString LastOpenDialog;
    QString LastFolderDialogStart;
    int OpenDialogCalls = 0;
    std::vector<TShownMessage> Messages;
};

inline QStringList SomeFiles(int count)
{
    QStringList files;
    for (int i = 0; i < count; ++i)
        files << QStringLiteral("/media/in put/clip %1.wav").arg(i);
    return files;
}
