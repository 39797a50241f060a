// A job that ends while the window is hidden or minimised also tells the
// desktop: the tray's message, or the freedesktop notification service over
// D-Bus (here a private bus with a stand-in service made by the test).

#include <QDBusConnection>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTest>

#include "WindowFixture.h"
#include "ui/desktop_notice.h"

namespace {

// Records the notices instead of showing them.
struct TNoticeLog
{
    std::vector<TNotice> Notices;
    TNoticeLog()
    {
        SetNoticeRecorder([this](const TNotice& notice) { Notices.push_back(notice); });
    }
    ~TNoticeLog() { SetNoticeRecorder({}); }
};

// The notification service's interface, as a desktop offers it.
class TStandInNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList Calls;

public slots:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout)
    {
        Calls << QStringList{app,
                             QString::number(replaces),
                             icon,
                             summary,
                             body,
                             QString::number(actions.size()),
                             QString::number(hints.value(QStringLiteral("urgency")).toInt()),
                             QString::number(timeout)}
                     .join(QLatin1Char('|'));
        return uint(Calls.size());
    }
};

}  // namespace

class TestDesktopNotice : public QObject
{
    Q_OBJECT

    QProcess m_bus;
    QString m_busAddress;

private slots:
    void initTestCase();
    void cleanupTestCase();
    void noticeWhenAway_data();
    void noticeWhenAway();
    void notificationServiceGetsTheText();
};

void TestDesktopNotice::initTestCase()
{
    // A session bus of our own, before anything in this process opens one.
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--nofork"),
                 QStringLiteral("--print-address")});
    if (!m_bus.waitForStarted(5000))
        return;  // the service test skips
    for (int i = 0; i < 100 && !m_bus.canReadLine(); ++i)
        m_bus.waitForReadyRead(100);
    m_busAddress = QString::fromUtf8(m_bus.readLine()).trimmed();
    if (!m_busAddress.isEmpty())
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_busAddress.toUtf8());
}

void TestDesktopNotice::cleanupTestCase()
{
    m_bus.kill();
    m_bus.waitForFinished(5000);
}

void TestDesktopNotice::noticeWhenAway_data()
{
    QTest::addColumn<QString>("away");
    QTest::addColumn<bool>("inJob");
    QTest::addColumn<QStringList>("notices");
    QTest::newRow("hidden to the tray") << "hidden" << true << QStringList{MsgAudioConverted};
    QTest::newRow("minimised, a warning then the closing text")
        << "minimised" << true << QStringList{MsgInternetError, MsgCannotCreate};
    QTest::newRow("shown: the box is enough") << "shown" << true << QStringList{};
    QTest::newRow("hidden, but no job") << "hidden" << false << QStringList{};
}

void TestDesktopNotice::noticeWhenAway()
{
    QFETCH(QString, away);
    QFETCH(bool, inJob);
    QFETCH(QStringList, notices);
    TNoticeLog log;
    TWindowFixture f;
    f.Window->SetUrlForDownloadText("http://127.0.0.1/a");
    f.Button("DownloadBtn")->click();
    const auto goAway = [&] {
        if (away == QLatin1String("hidden"))
            f.Window->PopupMenuShelBtn2Click();
        else if (away == QLatin1String("minimised"))
            f.Window->showMinimized();
    };
    const auto tell = [&] {
        if (away == QLatin1String("minimised")) {
            ShowUserMessage(TMessageKind::Warning, MsgInternetError);
            ShowUserMessage(TMessageKind::Warning, MsgCannotCreate);
        } else {
            ShowUserMessage(TMessageKind::Information, MsgAudioConverted);
        }
    };
    if (inJob) {
        TMainWindow::SetJobOverride([&](TMainWindow& w, int) {
            goAway();
            w.ProcessMessages();
            tell();
            w.SetUnLockAudioPanel();
        });
        f.Button("ProcessOkBtn")->click();
    } else {
        goAway();
        tell();
    }
    QVERIFY(!f.Messages.empty());  // the boxes are shown all the same
    QStringList texts;
    const TNoticeRoute route = QSystemTrayIcon::isSystemTrayAvailable()
                                   ? TNoticeRoute::Tray
                                   : TNoticeRoute::NotificationService;
    for (const TNotice& notice : log.Notices) {
        texts << notice.Text;
        QCOMPARE(notice.Route, route);
        QCOMPARE(notice.Warning, notice.Text != QLatin1String(MsgAudioConverted));
        QCOMPARE(notice.Title, QString::fromUtf8(notice.Warning ? WarningTitle : SuccessTitle));
    }
    QCOMPARE(texts, notices);
}

void TestDesktopNotice::notificationServiceGetsTheText()
{
    if (m_busAddress.isEmpty())
        QSKIP("dbus-daemon could not be started");
    if (QSystemTrayIcon::isSystemTrayAvailable())
        QSKIP("this desktop has a tray, which takes the notice");
    QDBusConnection service =
        QDBusConnection::connectToBus(m_busAddress, QStringLiteral("stand-in notifications"));
    QVERIFY(service.isConnected());
    TStandInNotifications notifications;
    QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications,
                                   QDBusConnection::ExportAllSlots));
    QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));

    TWindowFixture f;
    f.Window->SetUrlForDownloadText("http://127.0.0.1/a");
    f.Button("DownloadBtn")->click();
    TMainWindow::SetJobOverride([&](TMainWindow& w, int) {
        w.PopupMenuShelBtn2Click();
        // A text from outside (a file name, a link) is no markup.
        ShowUserMessage(TMessageKind::Warning, "<b>a & b</b> failed");
        w.SetUnLockAudioPanel();
    });
    f.Button("ProcessOkBtn")->click();
    QTRY_COMPARE_WITH_TIMEOUT(notifications.Calls.size(), qsizetype(1), 5000);
    QCOMPARE(
        notifications.Calls.front(),
        QStringLiteral("Quorvex|0|dialog-warning|%1|&lt;b&gt;a &amp; b&lt;/b&gt; failed|0|2|-1")
            .arg(QString::fromUtf8(WarningTitle)));
    service.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    QDBusConnection::disconnectFromBus(QStringLiteral("stand-in notifications"));
}

QTEST_MAIN(TestDesktopNotice)
#include "tst_DesktopNotice.moc"
