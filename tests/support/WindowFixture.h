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

#include "JobRecorders.h"
#include "WindowDriver.h"
#include "common/UserMessageUnit.h"
#include "ui/about_window.h"
#include "ui/dialog_components.h"
#include "ui/main_window.h"

// Every message box shown while the fixture lives is in Messages.
class TWindowFixture : public TMessageRecorder
{
public:
    TWindowFixture()
    {
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

    // Types LINK into the download page, picks FOLDER and presses OK. The
    // whole job runs inside the click and ends with its message box.
    void RunDownload(const QString& link, const QString& folder)
    {
        Button("DownloadBtn")->click();
        auto* field = Find<QLineEdit>("UrlForDownload");
        field->clear();
        QTest::keyClicks(field, link);
        FolderAnswer = folder;
        Button("DownloadDestinationBtn")->click();
        QVERIFY(OkEnabled());
        Button("ProcessOkBtn")->click();
    }

    std::unique_ptr<TMainWindow> Window;
    std::unique_ptr<TAboutWindow> About;
    bool Exposed = false;
    std::optional<QStringList> FilesAnswer;
    std::optional<QString> FolderAnswer;
    QString LastOpenDialog;
    QString LastFolderDialogStart;
    int OpenDialogCalls = 0;
};

inline QStringList SomeFiles(int count)
{
    QStringList files;
    for (int i = 0; i < count; ++i)
        files << QStringLiteral("/media/in put/clip %1.wav").arg(i);
    return files;
}
