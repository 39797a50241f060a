// OK and Cancel: the lock, the stop flag, the second-job guard and ending
// the program while a job runs. A scripted job stands in for the real ones.

#include <QAbstractButton>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "WindowFixture.h"
#include "ui/look_widgets.h"

namespace {

struct TLockState
{
    bool Ok, Cancel, Pages, Modes, Panel;
    int Progress;
};

TLockState ReadLock(const TWindowFixture& f)
{
    return {f.OkEnabled(),
            f.Button("ProcessCancelBtn")->isEnabled(),
            f.Find("DataControl")->isEnabled(),
            f.Find("Panel1")->isEnabled(),
            f.Find("FormPanel")->isVisible(),
            f.Window->ProgressPosition()};
}

// Ready for OK on the audio page.
void PrepareAudio(TWindowFixture& f)
{
    f.Browse("AudioBrowseBtn", SomeFiles(2));
    f.Find<QComboBox>("AudioFormatsForOutput")->setCurrentIndex(1);
}

// Serves events until the stop flag is up, the way a job does, or gives up.
bool RunUntilStopped(TMainWindow& w, int maxTurns = 2000)
{
    for (int i = 0; i < maxTurns && !w.StopRequested(); ++i) {
        w.ProcessMessages();
        QTest::qWait(1);
    }
    return w.StopRequested();
}

}  // namespace

class TestJobControl : public QObject
{
    Q_OBJECT

private slots:
    void okRunsTheJobOfTheCurrentPage_data();
    void okRunsTheJobOfTheCurrentPage();
    void lockWhileRunningUnlockAfter();
    void cancelUnlocksAtOnceAndNoSecondJobStarts();
    void showHandlerNeverEnablesOkDuringJob();
    void nextOkClearsStopAndRepeatsTheJob();
    void endingDuringJobWaitsForIt_data();
    void endingDuringJobWaitsForIt();
    void closingIdleWindowEnds_data();
    void closingIdleWindowEnds();
};

void TestJobControl::okRunsTheJobOfTheCurrentPage_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("page");
    QTest::newRow("audio") << "AudioBtn" << 0;
    QTest::newRow("video") << "VideoBtn" << 1;
    QTest::newRow("download") << "DownloadBtn" << 2;
}

void TestJobControl::okRunsTheJobOfTheCurrentPage()
{
    QFETCH(QString, mode);
    QFETCH(int, page);
    TWindowFixture f;
    QList<int> ran;
    TMainWindow::SetJobOverride([&](TMainWindow& w, int p) {
        ran << p;
        w.SetUnLockAudioPanel();
    });
    PrepareAudio(f);
    f.Find<QComboBox>("VideoFormatsForOutput")->setCurrentIndex(1);
    f.Window->SetUrlForDownloadText("http://127.0.0.1/x");
    f.Button(mode.toLatin1().constData())->click();
    QVERIFY(f.OkEnabled());
    f.Button("ProcessOkBtn")->click();
    QCOMPARE(ran, QList<int>{page});
}

void TestJobControl::lockWhileRunningUnlockAfter()
{
    TWindowFixture f;
    PrepareAudio(f);
    f.Window->SetProgress(37);
    TLockState during{};
    TMainWindow::SetJobOverride([&](TMainWindow& w, int) {
        during = ReadLock(f);
        QVERIFY(w.IsJobRunning());
        w.SetProgress(64);
        w.ProcessMessages();
        w.SetUnLockAudioPanel();
    });
    f.Button("ProcessOkBtn")->click();
    QVERIFY(!during.Ok);
    QVERIFY(during.Cancel);
    QVERIFY(!during.Pages);
    QVERIFY(!during.Modes);
    QVERIFY(during.Panel);
    QCOMPARE(during.Progress, 0);
    const TLockState after = ReadLock(f);
    QVERIFY(after.Ok);
    QVERIFY(!after.Cancel);
    QVERIFY(after.Pages);
    QVERIFY(after.Modes);
    QVERIFY(!after.Panel);
    QCOMPARE(after.Progress, 100);
    QVERIFY(!f.Window->IsJobRunning());
}

void TestJobControl::cancelUnlocksAtOnceAndNoSecondJobStarts()
{
    TWindowFixture f;
    PrepareAudio(f);
    int started = 0;
    TLockState afterCancel{};
    bool secondOkClicked = false;
    TMainWindow::SetJobOverride([&](TMainWindow& w, int) {
        ++started;
        if (started > 1) {
            w.SetUnLockAudioPanel();
            return;
        }
        // Cancel arrives through the event queue, as a click does.
        QTimer::singleShot(0, f.Button("ProcessCancelBtn"), &QAbstractButton::click);
        QVERIFY(RunUntilStopped(w));
        afterCancel = ReadLock(f);
        // Winding down: a click on OK (also programmatic) starts nothing.
        f.Button("ProcessOkBtn")->click();
        w.ProcessOkBtnClick();
        secondOkClicked = true;
        for (int i = 0; i < 5; ++i)
            w.ProcessMessages();
        w.SetUnLockAudioPanel();
        QVERIFY(!f.OkEnabled());  // still on the stack
    });
    f.Button("ProcessOkBtn")->click();
    QVERIFY(secondOkClicked);
    QCOMPARE(started, 1);
    QVERIFY(!afterCancel.Ok);
    QVERIFY(!afterCancel.Cancel);
    QVERIFY(afterCancel.Pages);
    QVERIFY(afterCancel.Modes);
    QVERIFY(!afterCancel.Panel);
    QCOMPARE(afterCancel.Progress, 100);
    QVERIFY(f.Window->StopProcess());  // stays up after the job
    QVERIFY(f.OkEnabled());            // the job has returned
    QVERIFY(f.Messages.empty());
}

void TestJobControl::showHandlerNeverEnablesOkDuringJob()
{
    TWindowFixture f;
    PrepareAudio(f);
    bool okDuring = true;
    TMainWindow::SetJobOverride([&](TMainWindow& w, int) {
        const auto items = w.findChild<QMenu*>(QStringLiteral("PopupMenuShel"))->actions();
        items[1]->trigger();  // hidden to the tray
        items[0]->trigger();  // and shown again: TabSheet1Show runs
        okDuring = f.OkEnabled();
        w.ProcessCancelBtnClick();
        items[1]->trigger();
        items[0]->trigger();  // shown again after Cancel, job still below
        okDuring = okDuring || f.OkEnabled();
        w.SetUnLockAudioPanel();
    });
    f.Button("ProcessOkBtn")->click();
    QVERIFY(!okDuring);
    QVERIFY(f.OkEnabled());
}

void TestJobControl::nextOkClearsStopAndRepeatsTheJob()
{
    TWindowFixture f;
    PrepareAudio(f);
    QList<bool> stopAtStart;
    QList<std::vector<std::string>> inputs;
    TMainWindow::SetJobOverride([&](TMainWindow& w, int) {
        stopAtStart << w.StopRequested();
        inputs << w.InputFileList();
        if (stopAtStart.size() == 1)
            w.ProcessCancelBtnClick();
        w.SetUnLockAudioPanel();
    });
    f.Button("ProcessOkBtn")->click();
    QVERIFY(f.Window->StopProcess());
    f.Button("ProcessOkBtn")->click();
    QCOMPARE(stopAtStart, (QList<bool>{false, false}));
    QCOMPARE(inputs[0], inputs[1]);
    QVERIFY(!f.Window->StopProcess());
}

void TestJobControl::endingDuringJobWaitsForIt_data()
{
    QTest::addColumn<bool>("fromTray");
    QTest::newRow("window closed") << false;
    QTest::newRow("Exit in the tray menu") << true;
}

void TestJobControl::endingDuringJobWaitsForIt()
{
    QFETCH(bool, fromTray);
    TWindowFixture f;
    PrepareAudio(f);
    QSignalSpy ended(f.Window.get(), &TMainWindow::EndRequested);
    bool visibleAfterClose = false;
    int endedDuringJob = -1;
    TMainWindow::SetJobOverride([&](TMainWindow& w, int) {
        if (fromTray)
            w.findChild<QMenu*>(QStringLiteral("PopupMenuShel"))->actions()[4]->trigger();
        else
            w.close();
        w.ProcessMessages();
        visibleAfterClose = w.isVisible();
        endedDuringJob = int(ended.count());
        ShowUserMessage(TMessageKind::Information, MsgAudioConverted);
        w.SetUnLockAudioPanel();
    });
    f.Button("ProcessOkBtn")->click();
    QVERIFY(visibleAfterClose);
    QCOMPARE(endedDuringJob, 0);
    QCOMPARE(f.Messages.size(), size_t(1));  // the job's closing message came first
    QCOMPARE(ended.count(), 1);
    QVERIFY(!f.Window->isVisible());
}

void TestJobControl::closingIdleWindowEnds_data()
{
    QTest::addColumn<bool>("hiddenInTray");
    QTest::addColumn<bool>("fromTray");
    QTest::newRow("window closed") << false << false;
    QTest::newRow("Exit") << false << true;
    QTest::newRow("Exit while hidden in the tray") << true << true;
}

void TestJobControl::closingIdleWindowEnds()
{
    QFETCH(bool, hiddenInTray);
    QFETCH(bool, fromTray);
    TWindowFixture f;
    QSignalSpy ended(f.Window.get(), &TMainWindow::EndRequested);
    const auto items = f.Window->findChild<QMenu*>(QStringLiteral("PopupMenuShel"))->actions();
    if (hiddenInTray)
        items[1]->trigger();
    if (fromTray)
        items[4]->trigger();
    else
        f.Window->close();
    QCOMPARE(ended.count(), 1);
}

QTEST_MAIN(TestJobControl)
#include "tst_JobControl.moc"
