#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include "ui/desktop_notice.h"

// org.freedesktop.Notifications.Notify(app_name, replaces_id, app_icon,
// summary, body, actions, hints, expire_timeout) -> id
bool NotifyThroughService(const QString& title, const QString& text, bool warning)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(warning ? 2 : 1)));
    // The body may be read as markup: the text is given as plain text.
    call << QStringLiteral("Quorvex") << uint(0)
         << (warning ? QStringLiteral("dialog-warning") : QStringLiteral("dialog-information"))
         << title << text.toHtmlEscaped() << QStringList() << hints << int(-1);
    // Sent without waiting: a slow or missing service must not hold up the job.
    return bus.send(call);
}
