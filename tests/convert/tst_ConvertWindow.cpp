// The conversion pages through the real main window, offscreen: OK locks the
// window and runs the job, Cancel unlocks at once, OK stays out of reach until
// the cancelled job has returned. First with the scripted stand-in tool, then
// with the real one on generated media, checked with ffprobe.

#include <map>

#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTest>

#include "FakeTool.h"
#include "TestMedia.h"
#include "WindowDriver.h"
#include "base/ToolEnvironment.h"
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

// A folder no file can be created in while it lives, also for root (which
// passes over permission bits; the folder is made immutable then).
class TUnwritableFolder
{
public:
    explicit TUnwritableFolder(const QString& path) : m_path(path)
    {
        m_ready =
            QDir().mkpath(path) && QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
        if (m_ready && geteuid() == 0)
            m_ready = m_immutable = Run("chattr", {"+i", path}).ExitCode == 0;
    }
    ~TUnwritableFolder()
    {
        if (m_immutable)
            Run("chattr", {"-i", m_path});
        QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    TUnwritableFolder(const TUnwritableFolder&) = delete;
    TUnwritableFolder& operator=(const TUnwritableFolder&) = delete;
    bool Ready() const { return m_ready; }

private:
    QString m_path;
    bool m_ready = false;
    bool m_immutable = false;
};

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
    QString m_surround;   // 6 channels, 5.1 layout
    QString m_videoOnly;  // no audio stream
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
        m_surround = in + "/surround.flac";
        QVERIFY(MakeMedia({"-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-af",
                           "pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0", m_surround}));
        m_videoOnly = in + "/picture only.mp4";
        QVERIFY(MakeMedia(
            {"-f", "lavfi", "-i", "testsrc=size=64x48:rate=25:duration=1", "-an", m_videoOnly}));
    }

    bool InstallRealTool()
    {
        return QFile::exists(RealToolPath()) &&
               QFile::copy(RealToolPath(), m_tool->File("ffmod.exe"));
    }

    // The closing box's detail text, when there was exactly one box.
    static QString OnlyDetail(const TMessageRecorder& messages)
    {
        return messages.Messages.size() == 1
                   ? QString::fromStdString(messages.Messages.front().Detail)
                   : QStringLiteral("(%1 boxes)").arg(messages.Messages.size());
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
        // One run at a time: the calls counted below are exactly these.
        const TEnvOverride oneAtATime(ToolJobsVariable, "1");
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

    void sameAsInputKeepsTheChannels_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QString>("note");

        QTest::newRow("WAV") << "Waveform Audio Format (WAV)"
                             << "wav" << 6 << QString();
        QTest::newRow("AC-3") << "Dolby Digital DVD Audio (AC3)"
                              << "ac3" << 6 << QString();
        QTest::newRow("MP3 holds two")
            << "MPEG Layer-3 (MP3)"
            << "mp3" << 2 << "surround.flac: 6 channels are more than MP3 takes: using 2";
        QTest::newRow("FLAC") << "Free Lossless Audio Codec (FLAC)"
                              << "flac" << 6 << QString();
        QTest::newRow("Opus") << "Opus Audio (OPUS)"
                              << "opus" << 6
                              << "surround.flac: Sample rate 44100 Hz is not supported by OPUS "
                                 "(Opus always encodes at 48000 Hz): using 48000 Hz";
    }
    void sameAsInputKeepsTheChannels()
    {
        QFETCH(QString, format);
        QFETCH(QString, extension);
        QFETCH(int, channels);
        QFETCH(QString, note);
        if (!InstallRealTool())
            QSKIP("the conversion tool is not built");
        QVERIFY(Prepare(TPage::Audio, {m_surround}, format.toUtf8().constData()));
        TMessageRecorder messages;
        Ok()->click();
        QCOMPARE(messages.Texts(), QStringList{MsgAudioConverted});
        // The probe shows the input's layout; the command asks for its six channels.
        QVERIFY2(QString::fromStdString(Log()).contains(" -ac 6 -vn"), Log().c_str());
        const QJsonObject audio = StreamOf(Probe(m_out + "/surround_flac." + extension), "audio");
        QCOMPARE(audio.value("channels").toInt(), channels);
        if (note.isEmpty())
            QVERIFY2(OnlyDetail(messages).isEmpty(), qPrintable(OnlyDetail(messages)));
        else
            QVERIFY2(OnlyDetail(messages).contains(note), qPrintable(OnlyDetail(messages)));
    }

    void failedFilesAreNamedWithTheirReason_data()
    {
        QTest::addColumn<bool>("audio");
        QTest::addColumn<QString>("destination");  // "locked", "gone" or "" for the usual one
        QTest::addColumn<bool>("withVideoOnly");
        QTest::addColumn<QStringList>("failed");  // file name: the tool's reason, in job order

        QTest::newRow("no audio among good files")
            << true << "" << true
            << QStringList{"picture only.mp4: '%in/picture only.mp4': no audio stream"};
        QTest::newRow("audio, folder not writable")
            << true << "locked" << false
            << QStringList{"first.take.wav: Cannot write '%out/first_take_wav.mp3': ",
                           "-second 'take'.mp3: Cannot write '%out/-second 'take'_mp3.mp3': "};
        QTest::newRow("audio, folder gone")
            << true << "gone" << false
            << QStringList{"first.take.wav: Cannot write '%out/first_take_wav.mp3': the folder",
                           "-second 'take'.mp3: Cannot write '%out/-second 'take'_mp3.mp3': the "
                           "folder"};
        QTest::newRow("video, folder not writable")
            << false << "locked" << false
            << QStringList{"first.take.mkv: Cannot write '%out/first_take_mkv.mp4': ",
                           "-second 'take'.avi: Cannot write '%out/-second 'take'_avi.mp4': "};
    }
    void failedFilesAreNamedWithTheirReason()
    {
        QFETCH(bool, audio);
        QFETCH(QString, destination);
        QFETCH(bool, withVideoOnly);
        QFETCH(QStringList, failed);
        if (!InstallRealTool())
            QSKIP("the conversion tool is not built");
        QString out = m_out;
        if (!destination.isEmpty())
            out = m_tool->File(destination);
        TUnwritableFolder locked(m_tool->File("locked"));
        if (destination == QLatin1String("locked") && !locked.Ready())
            QSKIP("no folder can be made unwritable here");

        QStringList inputs = audio ? m_audioInputs : m_videoInputs;
        if (withVideoOnly)
            inputs.insert(1, m_videoOnly);
        QVERIFY(PrepareConversion(*m_window, audio ? TPage::Audio : TPage::Video, inputs, out,
                                  audio ? "MPEG Layer-3 (MP3)" : "MPEG-4 Video File (MP4)"));
        TMessageRecorder messages;
        Ok()->click();
        QCOMPARE(messages.Texts(), QStringList{MsgCannotCreate});

        // The closing box's text stays as it is; its detail names each failed
        // file and the reason the tool gave, and only those.
        const QString detail = OnlyDetail(messages);
        const QString in = QFileInfo(m_surround).absolutePath();
        // (Notes on the good files' settings may follow in a section of their own.)
        QStringList lines = detail.section("\n\n", 0, 0).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.takeFirst(), QStringLiteral("Not converted:"));
        QVERIFY2(lines.size() == failed.size(), qPrintable(detail));
        for (qsizetype i = 0; i < failed.size(); ++i) {
            const QString expected = QString(failed[i]).replace("%in", in).replace("%out", out);
            QVERIFY2(lines[i].startsWith(expected), qPrintable(lines[i] + " / " + expected));
        }
        if (withVideoOnly) {
            QVERIFY(QFile::exists(m_out + "/first_take_wav.mp3"));
            QVERIFY(QFile::exists(m_out + "/-second 'take'_mp3.mp3"));
        }
    }

    void settingNotesOnSuccess_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("frequency");
        QTest::addColumn<QString>("bitrate");
        QTest::addColumn<QStringList>("notes");

        QTest::addColumn<int>("files");

        // The notes name the format as its list does, never its encoder.
        QTest::newRow("MP3 320k at 8 kHz")
            << "MPEG Layer-3 (MP3)"
            << "8000 kHz"
            << "320 kbit"
            << QStringList{"first.take.wav: Audio bit rate 320 kb/s is not supported by MP3 at "
                           "8000 Hz: using 64 kb/s"}
            << 1;
        QTest::newRow("AC-3 at 8 kHz, the input's bit rate")
            << "Dolby Digital DVD Audio (AC3)"
            << "8000 kHz"
            << "Same As Input"
            << QStringList{
                   "first.take.wav: Sample rate 8000 Hz is not supported by AC3: using 32000 Hz",
                   "first.take.wav: The input's audio bit rate 1411 kb/s is not supported by "
                   "AC3 at 32000 Hz: using 640 kb/s"}
            << 1;
        QTest::newRow("nothing changed") << "MPEG Layer-3 (MP3)"
                                         << "44100 kHz"
                                         << "128 kbit" << QStringList() << 1;
        // Uncompressed audio takes no bit rate: said once for the job, and only
        // when one was chosen.
        QTest::newRow("WAV, a chosen bit rate")
            << "Waveform Audio Format (WAV)"
            << "Same As Input"
            << "128 kbit" << QStringList{"WAV is uncompressed: the bit rate does not apply"} << 2;
        QTest::newRow("WAV, the input's bit rate") << "Waveform Audio Format (WAV)"
                                                   << "Same As Input"
                                                   << "Same As Input" << QStringList() << 2;
        // Lossless likewise, in its own word.
        QTest::newRow("FLAC, a chosen bit rate")
            << "Free Lossless Audio Codec (FLAC)"
            << "48000 kHz"
            << "128 kbit" << QStringList{"FLAC is lossless: the bit rate does not apply"} << 2;
        QTest::newRow("FLAC, the input's bit rate") << "Free Lossless Audio Codec (FLAC)"
                                                    << "Same As Input"
                                                    << "Same As Input" << QStringList() << 1;
        // Opus codes at 48 kHz only, and at most 510 kbit/s.
        QTest::newRow("Opus from 44.1 kHz, the input's bit rate")
            << "Opus Audio (OPUS)"
            << "Same As Input"
            << "Same As Input"
            << QStringList{"first.take.wav: Sample rate 44100 Hz is not supported by OPUS (Opus "
                           "always encodes at 48000 Hz): using 48000 Hz",
                           "first.take.wav: The input's audio bit rate 1411 kb/s is not supported "
                           "by OPUS at 48000 Hz: using 510 kb/s"}
            << 1;
        QTest::newRow("Opus at 48 kHz, 128k") << "Opus Audio (OPUS)"
                                              << "48000 kHz"
                                              << "128 kbit" << QStringList() << 2;
    }
    void settingNotesOnSuccess()
    {
        QFETCH(QString, format);
        QFETCH(QString, frequency);
        QFETCH(QString, bitrate);
        QFETCH(QStringList, notes);
        QFETCH(int, files);
        if (!InstallRealTool())
            QSKIP("the conversion tool is not built");
        QVERIFY(Prepare(TPage::Audio, m_audioInputs.mid(0, files), format.toUtf8().constData()));
        QVERIFY(m_window->SelectListItem("AudioFrequenciesList", frequency.toStdString()));
        QVERIFY(m_window->SelectListItem("AudioBitrateList", bitrate.toStdString()));
        TMessageRecorder messages;
        Ok()->click();
        QCOMPARE(messages.Texts(), QStringList{MsgAudioConverted});
        QCOMPARE(OnlyDetail(messages),
                 notes.isEmpty()
                     ? QString()
                     : "Settings changed to what the format takes:\n" + notes.join('\n') + "\n");
    }

    void deviceFormatsSayWhatTheyDid_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("device");

        QTest::newRow("NTSC DVD") << "NTSC DVD HQ (MPG)"
                                  << "mpg" << QSize(720, 480) << "NTSC DVD";
        QTest::newRow("PAL DVD") << "PAL DVD HQ (MPG)"
                                 << "mpg" << QSize(720, 576) << "PAL DVD";
        QTest::newRow("PSP") << "Video For PSP (MP4)"
                             << "mp4" << QSize(320, 240) << "PSP";
    }
    void deviceFormatsSayWhatTheyDid()
    {
        QFETCH(QString, format);
        QFETCH(QString, extension);
        QFETCH(QSize, size);
        QFETCH(QString, device);
        if (!InstallRealTool())
            QSKIP("the conversion tool is not built");
        QVERIFY(Prepare(TPage::Video, m_videoInputs.mid(0, 1), format.toUtf8().constData()));
        TMessageRecorder messages;
        Ok()->click();
        QCOMPARE(messages.Texts(), QStringList{MsgVideoConverted});
        const QJsonObject video = StreamOf(Probe(m_out + "/first_take_mkv." + extension), "video");
        QCOMPARE(QSize(video.value("width").toInt(), video.value("height").toInt()), size);
        // The 160x120 input is 4:3.
        const QString note = QStringLiteral(
                                 "first.take.mkv: Frame size 160x120 is not what a %1 "
                                 "plays: using %2x%3 at ")
                                 .arg(device)
                                 .arg(size.width())
                                 .arg(size.height());
        QVERIFY2(OnlyDetail(messages).contains(note), qPrintable(OnlyDetail(messages)));
        QVERIFY2(OnlyDetail(messages).contains("frames/s, display aspect 4:3\n"),
                 qPrintable(OnlyDetail(messages)));
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
            {87, {"flac"}},
            {88, {"opus"}},
            {89, {"vp9", "opus"}},
            {90, {"h264", "aac"}},
            {91, {"hevc", "aac"}},
            {92, {"av1", "opus"}},
        };
        for (int row = 1; row < SettingsRowCount; ++row) {
            const QString control = QString::fromUtf8(SettingsCell(row, 0));
            const bool audio = control == QLatin1String("AudioFormatsForOutput");
            const bool format = audio || control == QLatin1String("VideoFormatsForOutput");
            if (!format || QByteArray(SettingsCell(row, 2)) == "ERROR")
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
