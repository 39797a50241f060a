// A conversion job with several tool runs at once, through the real main
// window offscreen: the stand-in tool records when each run started and
// ended and the thread budget it was given; then the real tool, whose files
// must not depend on how many runs went at once.

#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QProcessEnvironment>
#include <QProgressBar>
#include <QTest>
#include <QThread>

#include "FakeTool.h"
#include "TestMedia.h"
#include "WindowDriver.h"
#include "base/ToolEnvironment.h"
#include "ui/main_window.h"

namespace {

QStringList Paths(const char* folder, const QStringList& names)
{
    QStringList paths;
    for (const QString& name : names)
        paths << QString::fromLatin1(folder) + "/" + name;
    return paths;
}

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

}  // namespace

class TestConvertParallel : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TFakeToolDir> m_tool;
    std::unique_ptr<TMainWindow> m_window;
    QString m_out;

    template <typename T = QWidget>
    T* Widget(const char* name) const
    {
        return m_window->findChild<T*>(QString::fromLatin1(name));
    }
    QAbstractButton* Ok() const { return Widget<QAbstractButton>("ProcessOkBtn"); }
    QAbstractButton* Cancel() const { return Widget<QAbstractButton>("ProcessCancelBtn"); }

    bool Prepare(bool audio, const QStringList& files)
    {
        return PrepareConversion(*m_window, audio ? TPage::Audio : TPage::Video, files, m_out,
                                 audio ? "MPEG Layer-3 (MP3)" : "XVID AVI Video (AVI)");
    }

    // The run log's lines that are commands or the stand-in's "converting".
    QStringList CommandAndWorkLines() const
    {
        QStringList lines;
        for (const QString& line :
             QString::fromStdString(m_window->DebugTextContent()).split('\n')) {
            const QString text = line.trimmed();
            if (text.startsWith("RUN: ") || text.startsWith("converting "))
                lines << text;
        }
        return lines;
    }

private slots:
    void init()
    {
        m_tool = std::make_unique<TFakeToolDir>();
        m_out = m_tool->File("out");
        QVERIFY(QDir().mkpath(m_out));
        m_window = std::make_unique<TMainWindow>();
        m_window->show();
    }
    void cleanup()
    {
        m_window.reset();
        m_tool.reset();
    }

    void runsGoTogetherAsAllowed_data()
    {
        QTest::addColumn<bool>("audio");
        QTest::addColumn<int>("jobs");
        QTest::newRow("audio, one at a time") << true << 1;
        QTest::newRow("audio, two at once") << true << 2;
        QTest::newRow("video, one at a time") << false << 1;
        QTest::newRow("video, two at once") << false << 2;
    }
    void runsGoTogetherAsAllowed()
    {
        QFETCH(bool, audio);
        QFETCH(int, jobs);
        const TEnvOverride width(ToolJobsVariable, QByteArray::number(jobs));
        TFakeToolPlan plan;
        plan.SleepSeconds = 0.4;
        // Each file reports half of its length, then the whole.
        plan.AfterText = ToolLines({"size=      20kB time=10.00 bitrate= 128.0kbits/s"});
        QVERIFY(m_tool->Install(plan));
        const QStringList inputs = Paths("/in", {"a.wav", "b.wav", "c.wav", "d.wav"});
        QVERIFY(Prepare(audio, inputs));

        QList<int> bar;
        connect(Widget<QProgressBar>("ProgressLine"), &QProgressBar::valueChanged, this,
                [&bar](int value) { bar << value; });
        QSet<QString> items;
        QObject watching;  // the watch ends with the test
        WhenTrue(
            &watching,
            [&] {
                items.insert(Widget<QLabel>("ProgressItemText")->text());
                return false;
            },
            [] {});
        TMessageRecorder messages;
        Ok()->click();
        QCOMPARE(messages.Texts(), QStringList{audio ? MsgAudioConverted : MsgVideoConverted});
        const QString ext = audio ? "mp3" : "avi";

        const std::vector<TFakeRun> runs = m_tool->Runs();
        QCOMPARE(runs.size(), size_t(4));
        bool overlapped = false;
        for (size_t i = 0; i < runs.size(); ++i) {
            for (size_t j = i + 1; j < runs.size(); ++j)
                overlapped = overlapped || Overlap(runs[i], runs[j]);
        }
        QCOMPARE(overlapped, jobs > 1);
        // The processors are shared out among the runs going at once: a run
        // beside another has half of them, a run alone all.
        const int processors = QThread::idealThreadCount();
        for (size_t i = 0; i < runs.size(); ++i) {
            bool beside = false;
            for (size_t j = 0; j < runs.size(); ++j)
                beside = beside || (i != j && Overlap(runs[i], runs[j]));
            if (beside || jobs == 1)
                QCOMPARE(runs[i].Threads, QString::number(std::max(1, processors / jobs)));
        }

        // One bar for the whole job: it only moves forward and reaches the
        // end; one run at a time it takes the one-file-after-another steps.
        QList<int> sorted = bar;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(bar, sorted);
        QCOMPARE(bar.last(), 100);
        if (jobs == 1)
            QCOMPARE(bar, (QList<int>{12, 25, 37, 50, 62, 75, 87, 100}));
        QCOMPARE(items.contains("1-2 of 4: a.wav, b.wav"), jobs > 1);
        QVERIFY(items.contains("1 of 4: a.wav"));

        QCOMPARE(FolderEntries(m_out),
                 (QStringList{"a_wav." + ext, "b_wav." + ext, "c_wav." + ext, "d_wav." + ext}));
        // The log tells the files' commands in list order.
        const QStringList log = QString::fromStdString(m_window->DebugTextContent()).split('\n');
        QStringList commands;
        for (const QString& line : log) {
            if (line.contains(" -i \"/in/"))
                commands << line.section(" -i \"/in/", 1).left(5);
        }
        QCOMPARE(commands, (QStringList{"a.wav", "b.wav", "c.wav", "d.wav"}));
    }

    void logKeepsEachFileTogether()
    {
        // The first file takes a second longer than the second one, whose
        // lines wait until the first is done.
        const TEnvOverride width(ToolJobsVariable, "2");
        TFakeToolPlan plan;
        plan.SleepSeconds = 0.1;
        plan.EchoInput = true;
        QVERIFY(m_tool->Install(plan));
        const QStringList inputs = Paths("/in", {"a long.wav", "b.wav"});
        QVERIFY(Prepare(true, inputs));
        TMessageRecorder messages;
        Ok()->click();
        QCOMPARE(messages.Texts(), QStringList{MsgAudioConverted});
        const std::vector<TFakeRun> runs = m_tool->Runs();
        QCOMPARE(runs.size(), size_t(2));
        QVERIFY(Overlap(runs[0], runs[1]));

        const QStringList lines = CommandAndWorkLines();
        QCOMPARE(lines.size(), 4);
        QVERIFY2(lines[0].startsWith("RUN: ") && lines[0].contains("a long.wav"),
                 qPrintable(lines.join('\n')));
        QCOMPARE(lines[1], QStringLiteral("converting /in/a long.wav"));
        QVERIFY2(lines[2].startsWith("RUN: ") && lines[2].contains("/in/b.wav"),
                 qPrintable(lines.join('\n')));
        QCOMPARE(lines[3], QStringLiteral("converting /in/b.wav"));
    }

    void cancelStopsEveryRun_data()
    {
        QTest::addColumn<bool>("audio");
        QTest::newRow("audio") << true;
        QTest::newRow("video") << false;
    }
    void cancelStopsEveryRun()
    {
        QFETCH(bool, audio);
        const TEnvOverride width(ToolJobsVariable, "2");
        TFakeToolPlan plan;
        plan.EarlyOutput = true;
        QVERIFY(m_tool->Install(plan));
        const QStringList inputs = Paths("/in", {"a slow.wav", "b slow.wav", "c.wav"});
        QVERIFY(Prepare(audio, inputs));
        TMessageRecorder messages;
        std::vector<TFakeRun> running;
        WhenTrue(
            this,
            [&] {
                // Both runs are going and have begun to write.
                return m_tool->Runs().size() == 2 && FolderEntries(m_out).size() == 2;
            },
            [&] {
                running = m_tool->Runs();
                Cancel()->click();
            });
        Ok()->click();
        QCOMPARE(running.size(), size_t(2));
        QVERIFY(messages.Messages.empty());
        for (const TFakeRun& run : running)
            QVERIFY(ProcessGone(run.Pid));
        // Neither run left a file, and the third file was never started.
        QCOMPARE(FolderEntries(m_out), QStringList());
        QCOMPARE(m_tool->Runs().size(), size_t(2));
        QVERIFY(Ok()->isEnabled());
        QVERIFY(!m_window->IsJobRunning());
    }

    void closingWaitsForEveryRun()
    {
        const TEnvOverride width(ToolJobsVariable, "2");
        TFakeToolPlan plan;
        plan.SleepSeconds = 0.5;
        QVERIFY(m_tool->Install(plan));
        QVERIFY(Prepare(false, Paths("/in", {"a.avi", "b.avi"})));
        TMessageRecorder messages;
        bool stayed = false;
        WhenTrue(
            this, [&] { return m_tool->Runs().size() == 2; },
            [&] {
                m_window->close();
                stayed = m_window->isVisible();
            });
        Ok()->click();
        QVERIFY(stayed);
        // Both runs ended on their own, then the one closing box came.
        const std::vector<TFakeRun> runs = m_tool->Runs();
        QCOMPARE(runs.size(), size_t(2));
        for (const TFakeRun& run : runs)
            QVERIFY(run.EndNs > 0);
        QCOMPARE(messages.Texts(), QStringList{MsgVideoConverted});
        QCOMPARE(FolderEntries(m_out), (QStringList{"a_avi.avi", "b_avi.avi"}));
    }

    void failedFileIsNamed()
    {
        const TEnvOverride width(ToolJobsVariable, "4");
        TFakeToolPlan plan;
        plan.SleepSeconds = 0.2;
        QVERIFY(m_tool->Install(plan));
        QVERIFY(Prepare(true, Paths("/in", {"a long.wav", "b bad.wav", "c.wav", "d.wav"})));
        TMessageRecorder messages;
        Ok()->click();
        QCOMPARE(messages.Texts(), QStringList{MsgCannotCreate});
        QCOMPARE(QString::fromStdString(messages.Messages.front().Detail),
                 QStringLiteral("Not converted:\nb bad.wav: bad input: cannot be decoded\n"));
        QCOMPARE(FolderEntries(m_out), (QStringList{"a long_wav.mp3", "c_wav.mp3", "d_wav.mp3"}));
    }

    void realToolWritesTheSameFiles()
    {
        if (!QFile::exists(QStringLiteral(FFMOD_PATH)))
            QSKIP("the conversion tool is not built");
        QVERIFY(QFile::copy(QStringLiteral(FFMOD_PATH), m_tool->File("ffmod.exe")));
        QTemporaryDir media;
        QStringList inputs;
        for (int i = 0; i < 6; ++i) {
            inputs << media.filePath(QStringLiteral("tone %1.wav").arg(i));
            QVERIFY(MakeMedia({"-f", "lavfi", "-i",
                               QStringLiteral("sine=frequency=%1:duration=2").arg(300 + 70 * i),
                               "-ac", "2", inputs.back()}));
        }

        // Six files through the window, two runs at once.
        const TEnvOverride width(ToolJobsVariable, "2");
        QVERIFY(Prepare(true, inputs));
        QVERIFY(m_window->SelectListItem("AudioFrequenciesList", "44100 kHz"));
        QVERIFY(m_window->SelectListItem("AudioBitrateList", "128 kbit"));
        QVERIFY(m_window->SelectListItem("AudioChannelsModeList", "Stereo (2 Channel Mode)"));
        TMessageRecorder messages;
        Ok()->click();
        QCOMPARE(messages.Texts(), QStringList{MsgAudioConverted});

        // The same six runs of the tool one after another, one thread each.
        const QString alone = m_tool->File("alone");
        QVERIFY(QDir().mkpath(alone));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(ToolThreadsVariable, "1");
        for (const QString& input : inputs) {
            const QString name = QFileInfo(input).fileName().replace('.', '_') + ".mp3";
            QProcess tool;
            tool.setProcessEnvironment(environment);
            tool.setProcessChannelMode(QProcess::MergedChannels);
            tool.start(m_tool->File("ffmod.exe"),
                       {"-i", input, "-ar", "44100", "-ab", "128k", "-ac", "2", "-vn", "-acodec",
                        "libmp3lame", "-copyright", "Brimlow LLC", "-comment",
                        "Quorvex - Media Converter", "-y", alone + "/" + name});
            QVERIFY(tool.waitForFinished(60000));
            QVERIFY2(tool.exitCode() == 0, tool.readAll().constData());
            const QByteArray expected = Contents(alone + "/" + name);
            QVERIFY(expected.size() > 1000);
            QVERIFY2(Contents(m_out + "/" + name) == expected, qPrintable(name));
        }
    }
};

QTEST_MAIN(TestConvertParallel)
#include "tst_ConvertParallel.moc"
