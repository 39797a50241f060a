#include "ui/desktop_notice.h"

#include <QSystemTrayIcon>

namespace {

TNoticeRecorder& Recorder()
{
    static TNoticeRecorder recorder;
    return recorder;
}

constexpr int TrayMessageMs = 10000;

}  // namespace

void SetNoticeRecorder(TNoticeRecorder recorder)
{
    Recorder() = std::move(recorder);
}

bool ShowDesktopNotice(QSystemTrayIcon* tray, const QString& title, const QString& text,
                       bool warning)
{
    const bool trayShown = tray && QSystemTrayIcon::isSystemTrayAvailable() && tray->isVisible() &&
                           QSystemTrayIcon::supportsMessages();
    const TNoticeRoute route = trayShown ? TNoticeRoute::Tray : TNoticeRoute::NotificationService;
    if (Recorder()) {
        Recorder()({route, title, text, warning});
        return true;
    }
    if (route == TNoticeRoute::Tray) {
        tray->showMessage(title, text,
                          warning ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information,
                          TrayMessageMs);
        return true;
    }
    return NotifyThroughService(title, text, warning);
}

#ifndef QUORVEX_HAVE_DBUS
bool NotifyThroughService(const QString&, const QString&, bool)
{
    return false;
}
#endif
