#include "ui/screenshot_hook.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>

#include "ui/about_window.h"
#include "ui/main_window.h"

void StartScreenshotsIfAsked(TMainWindow& mainWindow, TAboutWindow& aboutWindow)
{
    const QString dir = qEnvironmentVariable("QUORVEX_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    QTimer::singleShot(800, &mainWindow, [&mainWindow, &aboutWindow, dir] {
        const auto save = [&dir](QWidget& widget, const char* name) {
            widget.repaint();
            QCoreApplication::processEvents();
            widget.grab().save(dir + QLatin1Char('/') + QLatin1String(name));
        };
        mainWindow.AudioBtnClick();
        save(mainWindow, "page-audio.png");
        mainWindow.VideoBtnClick();
        save(mainWindow, "page-video.png");
        mainWindow.DownloadBtnClick();
        save(mainWindow, "page-download.png");
        mainWindow.AudioBtnClick();
        // The progress panel as a running job shows it.
        mainWindow.SetLockAudioPanel();
        mainWindow.SetProgressItem("2 of 4: song.flac");
        mainWindow.SetProgress(42);
        save(mainWindow, "progress.png");
        mainWindow.SetUnLockAudioPanel();
        QTimer::singleShot(300, &aboutWindow, [&aboutWindow, save] {
            save(aboutWindow, "about.png");
            aboutWindow.AboutOkBtnClick();
            QApplication::quit();
        });
        aboutWindow.ShowModal();
    });
}
