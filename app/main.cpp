// Quorvex Media Converter: writes the conversion tool, then runs the main
// window until it is closed or "Exit" is chosen. Arguments are ignored.

#include <QApplication>
#include <QMessageBox>

#include "app/ToolExtractionUnit.h"
#include "common/UserMessageUnit.h"
#include "ui/about_window.h"
#include "ui/main_window.h"
#include "ui/screenshot_hook.h"

int main(int argc, char** argv)
{
    // The tool is written before the GUI exists.
    const std::string failure = ExtractEmbeddedTool();

    QApplication app(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("quorvex"));
    if (!failure.empty()) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Application Error"),
                        QString::fromUtf8(failure.c_str()), QMessageBox::Ok);
        box.exec();
        return 1;
    }
    // Message boxes of a job may close while the window is in the tray; only
    // closing the main window (or "Exit") ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    TMainWindow mainWindow;
    TAboutWindow aboutWindow(&mainWindow);
    mainWindow.SetAboutWindow(&aboutWindow);
    QObject::connect(&mainWindow, &TMainWindow::EndRequested, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    mainWindow.show();
    StartScreenshotsIfAsked(mainWindow, aboutWindow);
    return app.exec();
}
