// The main window from the keyboard: the Tab order of each page, a visible
// mark on the control that has the focus, Escape for Cancel, Enter in the
// link field for OK; and the path fields' long paths, the tray's tooltip.

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTest>

#include "WindowFixture.h"
#include "ui/path_field.h"

namespace {

const char* const ModeButtons[] = {"AudioBtn", "VideoBtn", "DownloadBtn"};

bool Activate(TWindowFixture& f)
{
    QApplication::setActiveWindow(f.Window.get());
    return QTest::qWaitForWindowActive(f.Window.get());
}

}  // namespace

class TestWindowKeyboard : public QObject
{
    Q_OBJECT

private slots:
    void tabOrderFollowsTheLayout_data();
    void tabOrderFollowsTheLayout();
    void escapePressesCancelDuringJob();
    void enterInLinkFieldPressesOk_data();
    void enterInLinkFieldPressesOk();
    void longPathElidedInTheMiddle_data();
    void longPathElidedInTheMiddle();
    void trayIconTooltip();
};

void TestWindowKeyboard::tabOrderFollowsTheLayout_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("ready");  // OK enabled, so it takes its turn
    QTest::addColumn<QStringList>("order");
    const QStringList tail = {"AudioBtn", "VideoBtn", "DownloadBtn", "DataControlTabs"};
    QTest::newRow("audio page") << 0 << false
                                << QStringList{"AudioBrowseBtn",        "AudioFormatsForOutput",
                                               "AudioDestinationBtn",   "PatchHereForAudioOut",
                                               "AudioChannelsModeList", "AudioBitrateList",
                                               "AudioFrequenciesList"} +
                                       tail;
    QTest::newRow("video page, ready")
        << 1 << true
        << QStringList{"VideoBrowseBtn",        "VideoFormatsForOutput", "VideoDestinationBtn",
                       "PatchHereForVideoOut",  "VideoChannelsModeList", "VideoAudioBitrateList",
                       "VideoVideoBitrateList", "VideoResolutionList",   "ProcessOkBtn"} +
               tail;
    QTest::newRow("download page")
        << 2 << false
        << QStringList{"UrlForDownload", "DownloadDestinationBtn", "PatchHereForDownloadOut"} +
               tail;
}

void TestWindowKeyboard::tabOrderFollowsTheLayout()
{
    QFETCH(int, mode);
    QFETCH(bool, ready);
    QFETCH(QStringList, order);
    TWindowFixture f;
    QVERIFY(Activate(f));
    f.Button(ModeButtons[mode])->click();
    if (ready) {
        f.Browse("VideoBrowseBtn", SomeFiles(1));
        f.Find<QComboBox>("VideoFormatsForOutput")->setCurrentIndex(1);
    }
    f.Find(order.front().toLatin1().constData())->setFocus(Qt::OtherFocusReason);
    QStringList visited;
    QList<QImage> focused;
    for (int i = 0; i <= order.size(); ++i) {
        QWidget* widget = QApplication::focusWidget();
        QVERIFY(widget);
        visited << widget->objectName();
        focused << widget->grab().toImage();
        QTest::keyClick(widget, Qt::Key_Tab);
    }
    // Round the whole chain and back to the first control.
    QCOMPARE(visited, order + QStringList{order.front()});
    // Every control shows that it has the focus: it looks different without it.
    for (int i = 0; i < order.size(); ++i) {
        QWidget* widget = f.Find(order[i].toLatin1().constData());
        if (widget->hasFocus())
            QTest::keyClick(widget, Qt::Key_Tab);
        // (The first control's focused look is the one Tab gave it, at the end.)
        const QImage& withFocus = i == 0 ? focused.back() : focused[i];
        QVERIFY2(widget->grab().toImage() != withFocus, qPrintable(order[i]));
    }
}

void TestWindowKeyboard::escapePressesCancelDuringJob()
{
    TWindowFixture f;
    QVERIFY(Activate(f));
    f.Browse("AudioBrowseBtn", SomeFiles(2));
    f.Find<QComboBox>("AudioFormatsForOutput")->setCurrentIndex(1);
    // Between jobs Escape does nothing.
    QTest::keyClick(f.Window.get(), Qt::Key_Escape);
    QVERIFY(!f.Window->StopProcess());
    bool stoppedByEscape = false;
    bool unlocked = false;
    TMainWindow::SetJobOverride([&](TMainWindow& w, int) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &w,
                        Qt::Key_Escape);
        stoppedByEscape = w.StopRequested();
        unlocked = !f.Button("ProcessCancelBtn")->isEnabled() && f.Find("DataControl")->isEnabled();
        w.SetUnLockAudioPanel();
    });
    f.Button("ProcessOkBtn")->click();
    QVERIFY(stoppedByEscape);
    QVERIFY(unlocked);
    QVERIFY(f.Messages.empty());
}

void TestWindowKeyboard::enterInLinkFieldPressesOk_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("runs");
    QTest::newRow("a link") << "http://127.0.0.1/v" << true;
    QTest::newRow("http:// alone: OK is disabled") << "http://" << false;
}

void TestWindowKeyboard::enterInLinkFieldPressesOk()
{
    QFETCH(QString, link);
    QFETCH(bool, runs);
    TWindowFixture f;
    QVERIFY(Activate(f));
    f.Button("DownloadBtn")->click();
    QList<int> ran;
    TMainWindow::SetJobOverride([&](TMainWindow& w, int page) {
        ran << page;
        w.SetUnLockAudioPanel();
    });
    auto* field = f.Find<QLineEdit>("UrlForDownload");
    field->setFocus();
    field->setText(link);
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(ran, runs ? QList<int>{2} : QList<int>{});
}

void TestWindowKeyboard::longPathElidedInTheMiddle_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("elided");
    QTest::newRow("short") << "/tmp/out" << false;
    QTest::newRow("long") << "/home/anna/" + QString(40, 'd') + "/Musik/converted/for the car"
                          << true;
}

void TestWindowKeyboard::longPathElidedInTheMiddle()
{
    QFETCH(QString, path);
    QFETCH(bool, elided);
    TWindowFixture f;
    f.Window->SetDestinationFolder(TPage::Audio, path.toStdString());
    auto* field = f.Find<TPathField>("PatchHereForAudioOut");
    // The whole path stays the field's text, and is its tooltip.
    QCOMPARE(f.Window->DestinationPath(TPage::Audio), path.toStdString());
    QCOMPARE(field->toolTip(), path);
    const QString shown = field->ShownText();
    QCOMPARE(shown != path, elided);
    QVERIFY(field->fontMetrics().horizontalAdvance(shown) < field->width());
    if (elided) {
        QVERIFY(shown.startsWith(QLatin1String("/home/")));
        QVERIFY(shown.endsWith(QLatin1String("car")));
        QVERIFY(shown.contains(QChar(0x2026)));
    }
}

void TestWindowKeyboard::trayIconTooltip()
{
    TWindowFixture f;
    auto* tray = f.Window->findChild<QSystemTrayIcon*>(QStringLiteral("RzTrayIcon1"));
    QVERIFY(tray);
    QCOMPARE(tray->toolTip(), QStringLiteral("Quorvex - Media Converter 1.35"));
}

QTEST_MAIN(TestWindowKeyboard)
#include "tst_WindowKeyboard.moc"
