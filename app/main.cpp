// Quorvex Media Converter: writes the conversion tool, then runs the main
// window until it is closed or "Exit" is chosen. Arguments are ignored.

#include <exception>

#include <QApplication>
#include <QMessageBox>

#include "app/ToolExtractionUnit.h"
#include "common/UserMessageUnit.h"
#include "ui/about_window.h"
#include "ui/main_window.h"
#include "ui/screenshot_hook.h"

namespace {

// An error that escapes an event handler is reported, and the window runs on.
class TApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            QMessageBox::critical(activeWindow(), QString::fromUtf8(ApplicationTitle),
                                  QString::fromUtf8(error.what()));
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    // The tool is written before the GUI exists.
    const std::string failure = ExtractEmbeddedTool();

    // Qt would read options such as -platform, -style or -reverse from the
    // command line; the program takes none, so it hands on only its name.
    int qtArgc = argc > 0 ? 1 : 0;
    TApplication app(qtArgc, argv);
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
