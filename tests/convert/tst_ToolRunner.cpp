// The two runners against a scripted stand-in for the conversion tool: what
// they read, log and return, how they start the tool, and how Cancel stops it.

#include <QProcess>
#include <QTest>

#include "FakeTool.h"
#include "convert/AudioConvertThreadUnit.h"
#include "convert/VideoConvertThreadUnit.h"

class TestToolRunner : public QObject
{
    Q_OBJECT

private:
    // A convert run of the stand-in with an output path inside its directory.
    template <typename TRunner>
    void Prepare(TRunner& runner, const std::string& input = "/in/a.mp3")
    {
        m_output = m_tool->File("out.mp3").toStdString();
        runner.CommandLine = m_tool->ToolPath() + "  -i \"" + input + "\" -y \"" + m_output + "\"";
        runner.Arguments = {m_tool->ToolPath(), "-i", input, "-y", m_output};
        runner.FilesCount = 1;
        runner.FileNumber = 1;
    }

    std::unique_ptr<TFakeToolDir> m_tool;
    std::string m_output;

private slots:
    void init() { m_tool = std::make_unique<TFakeToolDir>(); }
    void cleanup() { m_tool.reset(); }

    void probeRunCollectsAudioParameters()
    {
        QVERIFY(m_tool->Install({}));
        TRecordingHost host;
        TAudioConvertThread probe(host);
        probe.CommandLine = m_tool->ToolPath() + " -vn -i \"/in/a.mp3\" ";
        probe.Arguments = {m_tool->ToolPath(), "-vn", "-i", "/in/a.mp3"};
        probe.FilesCount = 1;
        probe.FileNumber = 1;
        probe.ConvertMode = false;
        probe.Start();
        QCOMPARE(QString::fromStdString(probe.ResultText),
                 QStringLiteral("10|||mp3|||44100 Hz|||stereo|||128 "));
        QCOMPARE(probe.ExitCode, 1);
        QVERIFY(host.Progress.empty());
        std::string logged;
        for (const std::string& line : host.Log)
            logged += line;
        QCOMPARE(QByteArray::fromStdString(logged), ProbeOutput);
    }

    void convertRun_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QList<int>>("progress");

        QTest::newRow("converts") << ProgressOutput << 0 << "50" << QList<int>{50};
        QTest::newRow("fails after one progress line")
            << ProgressOutput << 1 << "50" << QList<int>{50};
        QTest::newRow("no duration")
            << ToolLines({"time=5.00 bitrate=1"}) << 0 << "" << QList<int>{};
        QTest::newRow("error only")
            << ToolLines({"in.mp3: Invalid data found"}) << 1 << "" << QList<int>{};
    }
    void convertRun()
    {
        QFETCH(QByteArray, output);
        QFETCH(int, exitCode);
        QFETCH(QString, result);
        QFETCH(QList<int>, progress);
        TFakeToolPlan plan;
        plan.ConvertText = output;
        plan.ConvertExit = exitCode;
        plan.AfterText = ToolLines({"video:0kB audio:80kB"});
        QVERIFY(m_tool->Install(plan));

        for (bool audio : {true, false}) {
            TRecordingHost host;
            std::unique_ptr<TToolRunner> runner;
            if (audio) {
                auto a = std::make_unique<TAudioConvertThread>(host);
                a->ConvertMode = true;
                runner = std::move(a);
            } else {
                runner = std::make_unique<TVideoConvertThread>(host);
            }
            Prepare(*runner);
            runner->Start();
            QCOMPARE(QString::fromStdString(runner->ResultText), result);
            QCOMPARE(runner->ExitCode, exitCode);
            QVERIFY(!runner->Stopped);
            QCOMPARE(QList<int>(host.Progress.begin(), host.Progress.end()), progress);
            // The audio runner logs everything the tool wrote; the video runner nothing.
            std::string logged;
            for (const std::string& line : host.Log)
                logged += line;
            QCOMPARE(QByteArray::fromStdString(logged),
                     audio ? output + plan.AfterText : QByteArray());
            // The end of the tool's output is the audio log's last, empty chunk.
            if (audio)
                QVERIFY(!host.Log.empty() && host.Log.back().empty());
        }
    }

    void chunksAreAtMost1024Bytes()
    {
        TFakeToolPlan plan;
        plan.ConvertText = QByteArray(5000, 'x') + "\r\n";
        plan.ConvertText[3000] = '\0';
        QVERIFY(m_tool->Install(plan));
        TRecordingHost host;
        TAudioConvertThread run(host);
        Prepare(run);
        run.ConvertMode = true;
        run.Start();
        QVERIFY(host.Log.size() >= 5);
        size_t total = 0;
        for (const std::string& chunk : host.Log) {
            QVERIFY(chunk.size() <= 1024);
            QVERIFY(chunk.find('\0') == std::string::npos);
            total += chunk.size();
        }
        // The chunk holding the NUL ends there.
        QVERIFY(total < 5002);
        QVERIFY(total >= 5002 - 1024);
    }

    void argumentsArriveWhole()
    {
        QVERIFY(m_tool->Install({}));
        TRecordingHost host;
        TVideoConvertThread run(host);
        const std::string input = "/in/-dash \"quoted\" 'single' $HOME `x` ü;|&.mp3";
        Prepare(run, input);
        run.Start();
        QCOMPARE(run.ExitCode, 0);
        const auto calls = m_tool->Calls();
        QCOMPARE(calls.size(), size_t(1));
        QCOMPARE(calls[0], (QStringList{"-i", QString::fromStdString(input), "-y",
                                        QString::fromStdString(m_output)}));
    }

    void toolThatCannotStart_data()
    {
        QTest::addColumn<bool>("present");
        QTest::newRow("missing") << false;
        QTest::newRow("not executable") << true;
    }
    void toolThatCannotStart()
    {
        QFETCH(bool, present);
        if (present) {
            QVERIFY(m_tool->Install({}));
            QVERIFY(QFile::setPermissions(m_tool->File("ffmod.exe"), QFile::ReadOwner));
        }
        TMessageRecorder messages;
        TRecordingHost host;
        TAudioConvertThread run(host);
        Prepare(run);
        run.ConvertMode = true;
        run.Start();
        QCOMPARE(messages.Messages.size(), size_t(1));
        QCOMPARE(messages.Messages[0].Kind, TMessageKind::Warning);
        QCOMPARE(messages.Messages[0].Title, std::string(WarningTitle));
        QCOMPARE(messages.Messages[0].Text, std::string(MsgCannotCreate));
        QVERIFY(run.ResultText.empty());
        QCOMPARE(run.ExitCode, -1);
        QVERIFY(host.Log.empty());
    }

    void cancelledBeforeTheRunStartsNothing()
    {
        QVERIFY(m_tool->Install({}));
        TMessageRecorder messages;
        TRecordingHost host;
        host.Stop = true;
        TAudioConvertThread run(host);
        Prepare(run);
        run.Start();
        QVERIFY(run.Stopped);
        QVERIFY(run.ResultText.empty());
        QVERIFY(m_tool->Calls().empty());
        QVERIFY(messages.Messages.empty());
    }

    void cancelStopsTheTool_data()
    {
        QTest::addColumn<bool>("ignoreTerm");
        QTest::newRow("tool ends when asked") << false;
        QTest::newRow("tool ignores the request") << true;
    }
    void cancelStopsTheTool()
    {
        QFETCH(bool, ignoreTerm);
        TFakeToolPlan plan;
        plan.SleepSeconds = 30;
        plan.IgnoreTerm = ignoreTerm;
        QVERIFY(m_tool->Install(plan));

        // Another instance's conversion, by the same tool name.
        QProcess other;
        other.start(QString::fromStdString(m_tool->ToolPath()),
                    {"-i", "/in/slow.mp3", "-y", m_tool->File("other.mp3")});
        QVERIFY(other.waitForStarted());
        QTRY_VERIFY(m_tool->LastPid() != 0);
        const qint64 otherPid = m_tool->LastPid();
        QFile::remove(m_tool->File("pid"));

        TRecordingHost host;
        host.OnLogLine = [](TRecordingHost& h) { h.Stop = true; };
        TAudioConvertThread run(host);
        Prepare(run);
        run.ConvertMode = true;
        run.Start();
        QVERIFY(run.Stopped);
        QCOMPARE(run.ExitCode, -1);
        QCOMPARE(QString::fromStdString(run.ResultText), QStringLiteral("50"));
        QVERIFY(ProcessGone(m_tool->LastPid()));
        QVERIFY(!QFile::exists(QString::fromStdString(m_output)));

        // Only this run's tool was stopped.
        QCOMPARE(other.state(), QProcess::Running);
        QVERIFY(!ProcessGone(otherPid));
        other.kill();
        other.waitForFinished();
    }

    void windowIsServedWhileTheToolIsSilent()
    {
        TFakeToolPlan plan;
        plan.SleepSeconds = 0.5;
        QVERIFY(m_tool->Install(plan));
        struct TCountingHost : TRecordingHost
        {
            int Served = 0;
            void ProcessMessages() override { ++Served; }
        } host;
        TVideoConvertThread run(host);
        Prepare(run);
        run.Start();
        QCOMPARE(run.ExitCode, 0);
        // Half a second of silence is served in short waits, not one blocking read.
        QVERIFY2(host.Served >= 5, qPrintable(QString::number(host.Served)));
    }
};

QTEST_GUILESS_MAIN(TestToolRunner)
#include "tst_ToolRunner.moc"
