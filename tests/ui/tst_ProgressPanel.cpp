// The texts beside the progress bar: the item being worked on, the time
// left and the transfer, through the real window offscreen; the estimates
// and their wording on their own.

#include <chrono>

#include <QLabel>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include "../convert/FakeTool.h"
#include "WindowFixture.h"
#include "ui/progress_panel.h"

using TSteps = QList<QPair<int, int>>;

namespace {

// A clock the test moves by hand.
struct TManualClock
{
    std::int64_t Ms = 100000;
    TManualClock()
    {
        TProgressPanel::SetClock([this] { return Ms; });
    }
    ~TManualClock() { TProgressPanel::SetClock({}); }
};

QString Text(const TWindowFixture& f, const char* label)
{
    return f.Find<QLabel>(label)->text();
}

}  // namespace

class TestProgressPanel : public QObject
{
    Q_OBJECT

private slots:
    void timeLeft_data();
    void timeLeft();
    void timeLeftFromWork_data();
    void timeLeftFromWork();
    void wording_data();
    void wording();
    void transferRate();
    void panelDuringJob();
    void panelDuringDownload();
    void timeLeftDuringConversion();
};

void TestProgressPanel::timeLeft_data()
{
    // Steps of the bar (percent at a millisecond after the start), then the
    // moment asked about and the seconds expected (-1: not told).
    QTest::addColumn<TSteps>("steps");
    QTest::addColumn<int>("at");
    QTest::addColumn<int>("seconds");
    QTest::newRow("nothing before a step") << TSteps{} << 5000 << -1;
    QTest::newRow("nothing in the first second") << TSteps{{50, 900}} << 900 << -1;
    QTest::newRow("half way after 10 s") << TSteps{{50, 10000}} << 10000 << 10;
    QTest::newRow("counts down between steps") << TSteps{{25, 4000}} << 7000 << 9;
    QTest::newRow("a later step corrects it") << TSteps{{10, 2000}, {80, 4000}} << 4000 << 1;
    QTest::newRow("running past the prediction") << TSteps{{50, 2000}} << 9000 << -1;
    QTest::newRow("the last second") << TSteps{{50, 2000}} << 3500 << 1;
    QTest::newRow("back to 0 forgets") << TSteps{{50, 2000}, {0, 3000}} << 3000 << -1;
    QTest::newRow("an hour-long job") << TSteps{{1, 60000}} << 60000 << 5940;
}

void TestProgressPanel::timeLeft()
{
    QFETCH(TSteps, steps);
    QFETCH(int, at);
    QFETCH(int, seconds);
    TTimeLeftEstimate estimate;
    estimate.Start(1000);
    for (const auto& [percent, ms] : steps)
        estimate.Update(percent, 1000 + ms);
    QCOMPARE(estimate.SecondsLeft(1000 + at), seconds);
}

void TestProgressPanel::timeLeftFromWork_data()
{
    // The job's seconds of media done and in all at a millisecond after the
    // start, a bar step after that, then the moment asked about and the
    // seconds expected (-1: not told).
    QTest::addColumn<double>("done");
    QTest::addColumn<double>("total");
    QTest::addColumn<int>("ms");
    QTest::addColumn<int>("percent");
    QTest::addColumn<int>("at");
    QTest::addColumn<int>("seconds");
    // A 10-minute file first of three, one third of the bar: by its length
    // the job has a sixth done, not a third.
    QTest::newRow("lengths, not the bar") << 100.0 << 600.0 << 10000 << 33 << 10000 << 50;
    QTest::newRow("nothing in the first second") << 10.0 << 60.0 << 900 << 0 << 900 << -1;
    QTest::newRow("nothing done yet") << 0.0 << 60.0 << 5000 << 0 << 5000 << -1;
    QTest::newRow("counts down") << 30.0 << 60.0 << 10000 << 0 << 14000 << 6;
}

void TestProgressPanel::timeLeftFromWork()
{
    QFETCH(double, done);
    QFETCH(double, total);
    QFETCH(int, ms);
    QFETCH(int, percent);
    QFETCH(int, at);
    QFETCH(int, seconds);
    TTimeLeftEstimate estimate;
    estimate.Start(1000);
    estimate.UpdateWork(done, total, 1000 + ms);
    if (percent > 0)
        estimate.Update(percent, 1000 + ms);
    QCOMPARE(estimate.SecondsLeft(1000 + at), seconds);
}

void TestProgressPanel::wording_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("seconds") << TimeLeftText(45) << "45 s left";
    QTest::newRow("minutes") << TimeLeftText(200) << "3 min 20 s left";
    QTest::newRow("hours") << TimeLeftText(3900) << "1 h 5 min left";
    QTest::newRow("bytes") << ByteSizeText(999) << "999 bytes";
    QTest::newRow("kilobytes") << ByteSizeText(640500) << "640 kB";
    QTest::newRow("megabytes") << ByteSizeText(12345678) << "12.3 MB";
    QTest::newRow("beyond 32 bits") << ByteSizeText(5000000000LL) << "5.00 GB";
    QTest::newRow("transfer with total and speed")
        << TransferText(12300000, 45000000, 2100000.0) << "12.3 MB of 45.0 MB, 2.1 MB/s";
    QTest::newRow("no total") << TransferText(2048, -1, 1000.0) << "2 kB, 1 kB/s";
    QTest::newRow("speed not told yet") << TransferText(0, 100, -1) << "0 bytes of 100 bytes";
}

void TestProgressPanel::wording()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

void TestProgressPanel::transferRate()
{
    TTransferRate rate;
    rate.Start();
    rate.Add(0, 0);
    rate.Add(100000, 400);
    QCOMPARE(rate.BytesPerSecond(), -1.0);  // under half a second seen
    rate.Add(500000, 1000);
    QCOMPARE(rate.BytesPerSecond(), 500000.0);
    // Only the last few seconds count: a stall shows as a falling speed.
    rate.Add(500000, 6000);
    rate.Add(500000, 7000);
    QCOMPARE(rate.BytesPerSecond(), 0.0);
    // A new transfer starts over.
    rate.Add(10, 7100);
    QCOMPARE(rate.BytesPerSecond(), -1.0);
}

void TestProgressPanel::panelDuringJob()
{
    TManualClock clock;
    TWindowFixture f;
    f.Browse("AudioBrowseBtn", SomeFiles(4));
    f.Find<QComboBox>("AudioFormatsForOutput")->setCurrentIndex(1);
    const QString longName =
        QStringLiteral("4 of 4: ") + QString(300, QLatin1Char('x')) + QStringLiteral(".flac");
    QStringList seen;
    QString shownTooltip;
    bool fits = true;
    TMainWindow::SetJobOverride([&](TMainWindow& w, int) {
        TJobHost& host = w.JobHost();
        seen << Text(f, "ProgressItemText") + '|' + Text(f, "ProgressTimeText");
        host.SetProgressItem("2 of 4: song.flac");
        clock.Ms += 500;
        host.SetProgress(10);  // too early to tell
        seen << Text(f, "ProgressItemText") + '|' + Text(f, "ProgressTimeText");
        clock.Ms += 4500;
        host.SetProgress(50);  // 5 s for half the bar
        seen << Text(f, "ProgressItemText") + '|' + Text(f, "ProgressTimeText");
        host.SetProgressItem(longName.toStdString());
        auto* item = f.Find<QLabel>("ProgressItemText");
        fits = item->fontMetrics().horizontalAdvance(item->text()) <= item->width();
        shownTooltip = item->toolTip();
        seen << (item->text().contains(QChar(0x2026)) ? "elided" : "whole");
        // The texts lie in the panel beside the bar, never over it.
        const QRect bar = f.Find("ProgressLine")->geometry();
        for (const char* name : {"ProgressItemText", "ProgressTimeText", "ProgressTransferText"}) {
            QWidget* label = f.Find(name);
            QVERIFY2(label->isVisible(), name);
            QVERIFY2(!label->geometry().intersects(bar), name);
            QVERIFY2(QRect(QPoint(), label->parentWidget()->size()).contains(label->geometry()),
                     name);
        }
        w.SetUnLockAudioPanel();
    });
    f.Button("ProcessOkBtn")->click();
    QCOMPARE(seen,
             (QStringList{"|", "2 of 4: song.flac|", "2 of 4: song.flac|5 s left", "elided"}));
    QVERIFY(fits);
    QCOMPARE(shownTooltip, longName);

    // The next job starts with empty texts.
    QString atStart = QStringLiteral("not run");
    TMainWindow::SetJobOverride([&](TMainWindow& w, int) {
        atStart = Text(f, "ProgressItemText") + Text(f, "ProgressTimeText") +
                  Text(f, "ProgressTransferText");
        w.SetUnLockAudioPanel();
    });
    f.Button("ProcessOkBtn")->click();
    QCOMPARE(atStart, QString());
}

void TestProgressPanel::panelDuringDownload()
{
    TManualClock clock;
    TWindowFixture f;
    f.Window->SetUrlForDownloadText("http://127.0.0.1/a");
    f.Button("DownloadBtn")->click();
    QStringList seen;
    TMainWindow::SetJobOverride([&](TMainWindow& w, int) {
        TJobHost& host = w.JobHost();
        host.SetTransferredBytes(0, 4000000);
        seen << Text(f, "ProgressTransferText");
        clock.Ms += 2000;
        host.SetTransferredBytes(1000000, 4000000);
        host.SetProgress(25);
        seen << Text(f, "ProgressTransferText") + '|' + Text(f, "ProgressTimeText");
        // No Content-Length: a busy bar, no time left, the total unknown.
        host.SetProgressBusy(true);
        clock.Ms += 1000;
        host.SetTransferredBytes(1500000, -1);
        seen << Text(f, "ProgressTransferText") + '|' + Text(f, "ProgressTimeText");
        w.SetUnLockAudioPanel();
    });
    f.Button("ProcessOkBtn")->click();
    QCOMPARE(seen, (QStringList{"0 bytes of 4.0 MB", "1.0 MB of 4.0 MB, 500 kB/s|6 s left",
                                "1.5 MB, 500 kB/s|"}));
}

void TestProgressPanel::timeLeftDuringConversion()
{
    // The real audio job with the stand-in tool, which prints its position
    // and then works a while: the panel tells the time left meanwhile. The
    // panel's clock jumps two seconds after the job's start, so the first
    // step of the bar already gives a prediction.
    bool started = false;
    TProgressPanel::SetClock([&started]() -> std::int64_t {
        const std::int64_t real = std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now().time_since_epoch())
                                      .count();
        if (!started) {
            started = true;
            return real;
        }
        return real + 2000;
    });
    TFakeToolDir tool;
    TFakeToolPlan plan;
    plan.SleepSeconds = 0.3;
    QVERIFY(tool.Install(plan));
    TWindowFixture f;
    QVERIFY(PrepareConversion(*f.Window, TPage::Audio, {"/in/a.wav"}, tool.File("out"),
                              "MPEG Layer-3 (MP3)"));
    QDir().mkpath(tool.File("out"));
    QSet<QString> shown;
    WhenTrue(
        f.Window.get(),
        [&] {
            if (f.Find("FormPanel")->isVisible() && !Text(f, "ProgressTimeText").isEmpty())
                shown.insert(Text(f, "ProgressTimeText"));
            return false;
        },
        [] {});
    f.Button("ProcessOkBtn")->click();
    TProgressPanel::SetClock({});
    QCOMPARE(f.Texts(), QStringList{MsgAudioConverted});
    QVERIFY2(!shown.isEmpty(), "no time left was shown");
    static const QRegularExpression wording(QStringLiteral(R"(^\d+ s left$)"));
    for (const QString& text : shown)
        QVERIFY2(wording.match(text).hasMatch(), qPrintable(text));
}

QTEST_MAIN(TestProgressPanel)
#include "tst_ProgressPanel.moc"
