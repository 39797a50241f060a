// The conversion pages through the real main window, offscreen: OK locks the
// window and runs the job, Cancel unlocks at once, OK stays out of reach until
// the cancelled job has returned. First with the scripted stand-in tool, then
// with the real one on generated media, checked with ffprobe.

#include <map>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTest>

#include "FakeTool.h"
#include "TestMedia.h"
#include "WindowDriver.h"
#include "settings/SettingsTable.h"
#include "ui/main_window.h"

namespace {

QString RealToolPath()
{
    return QStringLiteral(QUORVEX_BINARY_DIR "/tool/ffmod");
}

// Generates a short test file with ffmpeg's built-in sources.
bool Generate(const QString& path, bool video)
{
    QStringList args{"-f", "lavfi", "-i", "sine=frequency=440:duration=1"};
    if (video)
        args << "-f"
             << "lavfi"
             << "-i"
             << "testsrc=size=160x120:rate=25:duration=1";
    args << "-ac"
         << "2" << path;
    return MakeMedia(args);
}

int Count(const std::string& text, const std::string& what)
{
    int count = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++count;
    return count;
}

}  // namespace

class TestConvertWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_media;
    QStringList m_audioInputs;
    QStringList m_videoInputs;
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

    bool Prepare(TPage page, const QStringList& files, const char* format)
    {
        return PrepareConversion(*m_window, page, files, m_out, format);
    }

    bool Locked() const
    {
        return !Ok()->isEnabled() && Cancel()->isEnabled() && !Widget("DataControl")->isEnabled() &&
               !Widget("Panel1")->isEnabled() && Widget("FormPanel")->isVisible();
    }
    bool Unlocked() const
    {
        return !Cancel()->isEnabled() && Widget("DataControl")->isEnabled() &&
               Widget("Panel1")->isEnabled() && Widget("FormPanel")->isHidden();
    }

    std::string Log() const { return m_window->DebugTextContent(); }

private slots:
    void initTestCase()
    {
        // Short generated media, in a folder with a blank, with names that
        // hold dots, quotes and a leading dash.
        const QString in = m_media.filePath("in put");
        QVERIFY(QDir().mkpath(in));
        m_audioInputs = QStringList{in + "/first.take.wav", in + "/-second 'take'.mp3"};
        m_videoInputs = QStringList{in + "/first.take.mkv", in + "/-second 'take'.avi"};
        for (const QString& input : m_audioInputs)
            QVERIFY2(Generate(input, false), qPrintable(input));
        for (const QString& input : m_videoInputs)
            QVERIFY2(Generate(input, true), qPrintable(input));
    }

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

    void jobLocksTheWindowUntilItEnds()
    {
        TFakeToolPlan plan;
        plan.SleepSeconds = 0.5;
        QVERIFY(m_tool->Install(plan));
        QVERIFY(Prepare(TPage::Audio, {"/in/a.wav"}, "MPEG Layer-3 (MP3)"));
        TMessageRecorder messages;
        bool lockedDuringRun = false;
        WhenTrue(
            this, [this] { return m_window->ProgressPosition() > 0; },
            [&] { lockedDuringRun = Locked(); });
        Ok()->click();
        QVERIFY(lockedDuringRun);
        QVERIFY(Unlocked());
        QVERIFY(Ok()->isEnabled());
        QCOMPARE(m_window->ProgressPosition(), 100);
        QCOMPARE(messages.Texts(), QStringList{MsgAudioConverted});
        QVERIFY(QFile::exists(m_out + "/a_wav.mp3"));
        QCOMPARE(Count(Log(), "RUN: "), 1);
    }

    void closingMessage_data()
    {
        QTest::addColumn<bool>("audio");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("texts");

        QTest::newRow("audio converted") << true << true << 0 << QStringList{MsgAudioConverted};
        QTest::newRow("video converted") << false << true << 0 << QStringList{MsgVideoConverted};
        QTest::newRow("audio, tool missing")
            << true << false << 0 << QStringList(5, QString::fromUtf8(MsgCannotCreate));
        QTest::newRow("video, tool missing")
            << false << false << 0 << QStringList(3, QString::fromUtf8(MsgCannotCreate));
        QTest::newRow("video, tool fails after one progress line")
            << false << true << 1 << QStringList{MsgCannotCreate};
        QTest::newRow("audio, tool fails after one progress line")
            << true << true << 1 << QStringList{MsgCannotCreate};
    }
    void closingMessage()
    {
        QFETCH(bool, audio);
        QFETCH(bool, installed);
        QFETCH(int, exitCode);
        QFETCH(QStringList, texts);
        TFakeToolPlan plan;
        plan.ConvertExit = exitCode;
        if (installed)
            QVERIFY(m_tool->Install(plan));
        QVERIFY(Prepare(audio ? TPage::Audio : TPage::Video, {"/in/a.avi", "/in/b.avi"},
                        audio ? "Waveform Audio Format (WAV)" : "Quicktime (MOV)"));
        TMessageRecorder messages;
        Ok()->click();
        QCOMPARE(messages.Texts(), texts);
        QVERIFY(Unlocked());
        QVERIFY(Ok()->isEnabled());
        // The video job logs only its two commands.
        if (!audio)
            QCOMPARE(Count(Log(), "ffmod.exe  -i "), 2);
    }

    void cancelDuringTheThirdOfFive()
    {
        QVERIFY(m_tool->Install({}));
        QVERIFY(Prepare(TPage::Audio,
                        {"/in/1.wav", "/in/2.wav", "/in/3 slow.wav", "/in/4.wav", "/in/5.wav"},
                        "MPEG Layer-3 (MP3)"));
        TMessageRecorder messages;
        bool unlockedAtOnce = false;
        bool okHeldBack = false;
        size_t callsAfterSecondOk = 0;
        WhenTrue(
            this,
            [this] { return Count(Log(), "RUN: ") == 3 && m_window->ProgressPosition() > 40; },
            [&] {
                Cancel()->click();
                unlockedAtOnce = Unlocked();
                // The cancelled job is still on the stack: OK must not start another.
                okHeldBack = !Ok()->isEnabled() && m_window->IsJobRunning();
                const size_t calls = m_tool->Calls().size();
                m_window->ProcessOkBtnClick();
                callsAfterSecondOk = m_tool->Calls().size() - calls;
            });
        Ok()->click();
        QVERIFY(unlockedAtOnce);
        QVERIFY(okHeldBack);
        QCOMPARE(callsAfterSecondOk, size_t(0));
        QVERIFY(messages.Messages.empty());
        QVERIFY(Ok()->isEnabled());
        QVERIFY(!m_window->IsJobRunning());
        QCOMPARE(Count(Log(), "RUN: "), 5);
        QVERIFY(QFile::exists(m_out + "/1_wav.mp3"));
        QVERIFY(QFile::exists(m_out + "/2_wav.mp3"));
        QVERIFY(!QFile::exists(m_out + "/3 slow_wav.mp3"));
        QVERIFY(!QFile::exists(m_out + "/4_wav.mp3"));
        QCOMPARE(m_tool->Calls().size(), size_t(6));
    }

    void cancelAtOnceThenOkAgain()
    {
        TFakeToolPlan plan;
        plan.SleepSeconds = 0.5;
        QVERIFY(m_tool->Install(plan));
        QVERIFY(Prepare(TPage::Video, {"/in/a.avi", "/in/b.avi"}, "XVID AVI Video (AVI)"));
        TMessageRecorder messages;
        WhenTrue(
            this, [] { return true; }, [this] { Cancel()->click(); });
        Ok()->click();
        QVERIFY(messages.Messages.empty());
        QVERIFY(Unlocked());
        QVERIFY(!QFile::exists(m_out + "/a_avi.avi"));

        // The next OK starts afresh and repeats the job with the same inputs.
        Ok()->click();
        QCOMPARE(messages.Texts(), QStringList{MsgVideoConverted});
        QVERIFY(QFile::exists(m_out + "/a_avi.avi"));
        QVERIFY(QFile::exists(m_out + "/b_avi.avi"));
    }

    void realTool_data()
    {
        QTest::addColumn<bool>("audio");
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QStringList>("codecs");
        QTest::addColumn<int>("files");

        // Every format of both pages; the codecs the tool uses for each.
        const std::map<int, QStringList> codecs{
            {1, {"mp3"}},
            {2, {"wmav2"}},
            {3, {"vorbis"}},
            {4, {"pcm_s16le"}},
            {5, {"aac"}},
            {6, {"ac3"}},
            {32, {"mpeg4", "mp3"}},
            {33, {"mpeg2video", "mp2"}},
            {34, {"mpeg2video", "mp2"}},
            {35, {"mpeg1video", "mp2"}},
            {36, {"h264", "aac"}},
            {37, {"h264", "aac"}},
            {38, {"mpeg4", "aac"}},
            {39, {"h264", "aac"}},
            {40, {"h263", "aac"}},
            {41, {"h263", "aac"}},
            {42, {"wmv2", "wmav2"}},
        };
        for (int row = 1; row < SettingsRowCount; ++row) {
            const QString control = QString::fromUtf8(SettingsCell(row, 0));
            const bool audio = control == QLatin1String("AudioFormatsForOutput");
            if (!audio &&
                (control != QLatin1String("VideoFormatsForOutput") || row == FirstVideoFormatRow))
                continue;
            const QString item = QString::fromUtf8(SettingsCell(row, 1));
            QTest::addRow("%s", qPrintable(item))
                << audio << item << QString::fromUtf8(SettingsCell(row, 3)) << codecs.at(row)
                << (row == 1 || row == 32 ? 2 : 1);
        }
    }
    void realTool()
    {
        QFETCH(bool, audio);
        QFETCH(QString, format);
        QFETCH(QString, extension);
        QFETCH(QStringList, codecs);
        QFETCH(int, files);
        if (!QFile::exists(RealToolPath()))
            QSKIP("the conversion tool is not built");
        QVERIFY(QFile::copy(RealToolPath(), m_tool->File("ffmod.exe")));
        const QStringList inputs = (audio ? m_audioInputs : m_videoInputs).mid(0, files);
        QCOMPARE(inputs.size(), files);

        const QByteArray name = format.toUtf8();
        QVERIFY(Prepare(audio ? TPage::Audio : TPage::Video, inputs, name.constData()));
        TMessageRecorder messages;
        Ok()->click();
        QCOMPARE(messages.Texts(), QStringList{audio ? MsgAudioConverted : MsgVideoConverted});
        for (const QString& input : inputs) {
            const QString output =
                m_out + "/" + QFileInfo(input).fileName().replace('.', '_') + "." + extension;
            QCOMPARE(StreamCodecs(output), codecs);
        }
        if (audio) {
            // The probe filled the "Same As Input" choices.
            const QString log = QString::fromStdString(Log());
            QCOMPARE(log.count(QRegularExpression(" -ar 44100 -a[bq] \\d+k -ac 2 ")), files);
        }
    }
};

QTEST_MAIN(TestConvertWindow)
#include "tst_ConvertWindow.moc"
