#pragma once

// A desktop notice: a short note outside the window, for when the window is
// hidden or minimised. It goes to the tray icon's message when a tray is
// there, else to the desktop's notification service (freedesktop, over
// D-Bus; a build without D-Bus has only the tray).

#include <functional>

#include <QString>

class QSystemTrayIcon;

enum class TNoticeRoute
{
    Tray,
    NotificationService
};

struct TNotice
{
    TNoticeRoute Route;
    QString Title;
    QString Text;
    bool Warning;
};

// Shows the notice the way this desktop allows; false when no way took it.
bool ShowDesktopNotice(QSystemTrayIcon* tray, const QString& title, const QString& text,
                       bool warning);

// Test seam: receives every notice instead of the desktop; empty restores it.
using TNoticeRecorder = std::function<void(const TNotice& notice)>;
void SetNoticeRecorder(TNoticeRecorder recorder);

// The notification service's part: one Notify call on the session bus,
// sent without waiting for the answer. False when there is no session bus
// (or no D-Bus in this build).
bool NotifyThroughService(const QString& title, const QString& text, bool warning);
