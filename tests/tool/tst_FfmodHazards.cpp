// The built conversion tool on inputs damaged in ways that made it run away,
// stall or write a file that does not decode, and on output paths that hold
// something other than a file. The damaged files are made here, from media
// made by the ffmpeg program.
#include <QtTest>

#include <QLocalServer>

#include <sys/stat.h>

#include "base/ToolEnvironment.h"
#include "convert/ToolOutputLinesUnit.h"
#include "tests/tool/FfmodTestTools.h"

namespace {

// The TS with the decoding time of the first picture's packet moved by
// seconds from its presentation time, as a few damaged bytes do.
QByteArray DelayFirstDecodingTime(QByteArray ts, double seconds)
{
    const qsizetype pes = ts.indexOf(QByteArray("\x00\x00\x01\xe0", 4));
    if (pes < 0 || pes + 19 > ts.size() || (static_cast<quint8>(ts[pes + 7]) & 0xc0) != 0xc0)
        return {};
    auto byte = [&ts](qsizetype i) { return static_cast<quint8>(ts[i]); };
    const qsizetype at = pes + 9;
    const qint64 pts = (qint64((byte(at) >> 1) & 0x07) << 30) | (qint64(byte(at + 1)) << 22) |
                       (qint64(byte(at + 2) >> 1) << 15) | (qint64(byte(at + 3)) << 7) |
                       (byte(at + 4) >> 1);
    const qint64 dts = (pts + static_cast<qint64>(seconds * 90000)) & ((qint64(1) << 33) - 1);
    const qsizetype to = pes + 14;
    ts[to] = char(0x11 | ((dts >> 29) & 0x0e));
    ts[to + 1] = char((dts >> 22) & 0xff);
    ts[to + 2] = char(((dts >> 14) & 0xfe) | 1);
    ts[to + 3] = char((dts >> 7) & 0xff);
    ts[to + 4] = char(((dts << 1) & 0xfe) | 1);
    return ts;
}

// The AVI with the format chunk of its second stream (the sound) damaged:
// format tag 1 (PCM) and no channels. FFmpeg then knows no codec for it.
QByteArray SpoilSoundFormat(QByteArray avi)
{
    const qsizetype first = avi.indexOf("strf");
    const qsizetype strf = first < 0 ? -1 : avi.indexOf("strf", first + 4);
    if (strf < 0 || strf + 12 > avi.size())
        return {};
    avi[strf + 8] = 1;
    avi[strf + 9] = 0;
    avi[strf + 10] = 0;
    avi[strf + 11] = 0;
    return avi;
}

// The furthest time the tool's status lines reached.
double FurthestTime(const QString& output)
{
    double furthest = 0;
    const QRegularExpression time("time=\\s*([0-9.]+)");
    for (auto it = time.globalMatch(output); it.hasNext();)
        furthest = qMax(furthest, it.next().captured(1).toDouble());
    return furthest;
}

}  // namespace

class TFfmodHazardsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void outputNotAFile_data();
    void outputNotAFile();
    void strayDecodingTime_data();
    void strayDecodingTime();
    void soundStreamLost_data();
    void soundStreamLost();
    void layoutChange_data();
    void layoutChange();
    void stalledReading_data();
    void stalledReading();
    void wavThroughFifo();

private:
    QString In(const QString& name) const { return m_dir.filePath(name); }
    QString FreshDir(const QString& name) const { return FreshDirIn(m_dir, name); }

    QTemporaryDir m_dir;
};

void TFfmodHazardsTest::initTestCase()
{
    QVERIFY(QFileInfo(kTool).isExecutable());
    QVERIFY(m_dir.isValid());
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", "sine=d=1:r=44100", In("tone.wav")}));
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", "testsrc=s=320x240:r=25:d=2", "-f", "lavfi", "-i",
                       "sine=d=2:r=44100", "-c:v", "mpeg2video", "-c:a", "mp2", "-shortest",
                       In("clip.ts")}));
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", "testsrc=s=160x120:r=25:d=2", "-f", "lavfi", "-i",
                       "sine=d=2:r=44100", "-c:v", "mpeg4", "-c:a", "libmp3lame", "-shortest",
                       In("clip.avi")}));
}

void TFfmodHazardsTest::outputNotAFile_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<QString>("what");
    QTest::newRow("FIFO") << "fifo"
                          << "a FIFO";
    QTest::newRow("socket") << "socket"
                            << "a socket";
    QTest::newRow("link to a device") << "link"
                                      << "a character device";
    QTest::newRow("folder") << "folder"
                            << "a folder";
}

void TFfmodHazardsTest::outputNotAFile()
{
    QFETCH(QString, node);
    QFETCH(QString, what);
    const QString dir = FreshDir("nodes");
    const QString out = dir + "/out.mp3";
    QLocalServer server;
    if (node == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(out.toUtf8().constData(), 0644), 0);
    else if (node == QLatin1String("socket"))
        QVERIFY(server.listen(out));
    else if (node == QLatin1String("link"))
        QVERIFY(QFile::link("/dev/null", out));
    else
        QVERIFY(QDir().mkdir(out));
    struct stat before
    {
    };
    QCOMPARE(::lstat(out.toUtf8().constData(), &before), 0);

    const TRun run = Run(kTool, ConvertArgs(In("tone.wav"), "-vn -acodec libmp3lame", out));
    QCOMPARE(run.ExitCode, 1);
    const QString line = "\nCannot write '" + out + "': " + what + " is there, not a file";
    QVERIFY2(run.Output.contains(line), qPrintable(run.Output.right(400)));
    // Refused before anything was written: no output block, nothing beside it.
    QVERIFY(!run.Output.contains("Output #0"));
    QCOMPARE(EntriesOf(dir), QStringList{"out.mp3"});
    struct stat after
    {
    };
    QCOMPARE(::lstat(out.toUtf8().constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_mode, before.st_mode);
}

void TFfmodHazardsTest::strayDecodingTime_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<QString>("extension");
    // Under the minute a stream may start after the others, and hours off.
    QTest::newRow("46.6 s late, to MPG") << 46.6 << "mpg";
    QTest::newRow("46.6 s late, to 3GP") << 46.6 << "3gp";
    QTest::newRow("an hour late, to MPG") << 3600.0 << "mpg";
    QTest::newRow("20 s early, to AVI") << -20.0 << "avi";
}

void TFfmodHazardsTest::strayDecodingTime()
{
    QFETCH(double, seconds);
    QFETCH(QString, extension);
    const QByteArray ts = DelayFirstDecodingTime(ReadAll(In("clip.ts")), seconds);
    QVERIFY(!ts.isEmpty());
    const QString input = In("stray.ts");
    QVERIFY(WriteAll(input, ts));
    const QString dir = FreshDir("stray");
    const QString out = dir + "/stray_ts." + extension;
    const TRun run = Run(kTool, ConvertArgs(input, "", out), 120000);
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Output.right(400)));
    // Neither the time line nor the file runs past the two seconds there are.
    QVERIFY2(FurthestTime(run.Output) < 2.5, qPrintable(run.Output.right(400)));
    const QJsonObject probe = Probe(out);
    QVERIFY2(DurationOf(probe) < 2.5, qPrintable(QString::number(DurationOf(probe))));
    QVERIFY(!StreamOf(probe, "video").isEmpty());
    QVERIFY(!StreamOf(probe, "audio").isEmpty());
    QCOMPARE(DecodeErrors(out), QString());
}

void TFfmodHazardsTest::soundStreamLost_data()
{
    QTest::addColumn<QString>("extension");
    QTest::newRow("to MPG") << "mpg";
    QTest::newRow("to FLV") << "flv";
    QTest::newRow("to MP3") << "mp3";
}

void TFfmodHazardsTest::soundStreamLost()
{
    QFETCH(QString, extension);
    const QByteArray avi = SpoilSoundFormat(ReadAll(In("clip.avi")));
    QVERIFY(!avi.isEmpty());
    const QString input = In("mute.avi");
    QVERIFY(WriteAll(input, avi));
    const QString dir = FreshDir("mute");
    const QString out = dir + "/mute_avi." + extension;
    const TRun run = Run(kTool, ConvertArgs(input, "", out));
    QCOMPARE(run.ExitCode, 1);
    // The last line names the input and the reason.
    QVERIFY2(run.Output.endsWith("'" + input +
                                 "': damaged input: its audio stream #0.1 (none) cannot be read, "
                                 "and the output would have no sound\r\n"),
             qPrintable(run.Output.right(400)));
    QCOMPARE(EntriesOf(dir), QStringList());
}

void TFfmodHazardsTest::layoutChange_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<int>("channels");  // of the output: the first part's, as probed
    QTest::newRow("mono, then stereo, to AC-3") << "mono"
                                                << "stereo"
                                                << "ac3" << 1;
    QTest::newRow("5.1, then stereo, to AC-3") << "5.1"
                                               << "stereo"
                                               << "ac3" << 6;
    QTest::newRow("stereo, then 5.1, to AC-3") << "stereo"
                                               << "5.1"
                                               << "ac3" << 2;
    QTest::newRow("5.1, then mono, to MP3") << "5.1"
                                            << "mono"
                                            << "mp3" << 2;
}

void TFfmodHazardsTest::layoutChange()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, extension);
    QFETCH(int, channels);
    // Two AAC streams one after the other in one TS stream, as a broadcast
    // that changes its sound midway.
    QByteArray adts;
    for (const QString& layout : {first, second}) {
        const QString part = In("part-" + layout + ".aac");
        QVERIFY(
            MakeMedia({"-f", "lavfi", "-i", "sine=d=1:r=48000", "-af",
                       "aformat=channel_layouts=" + layout, "-c:a", "aac", "-f", "adts", part}));
        adts += ReadAll(part);
    }
    QVERIFY(WriteAll(In("joined.aac"), adts));
    const QString input = In("joined.ts");
    QVERIFY(MakeMedia({"-i", In("joined.aac"), "-c", "copy", "-f", "mpegts", input}));
    const QString dir = FreshDir("layout");
    const QString out = dir + "/joined_ts." + extension;
    // The audio page's options when the probe filled nothing in.
    const TRun run =
        Run(kTool, ConvertArgs(input, "-vn -ar [KHZ] -ab [AKBIT]k -ac [CHANNEL]", out));
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Output.right(400)));
    QCOMPARE(DecodeErrors(out), QString());
    const QJsonObject probe = Probe(out);
    QCOMPARE(StreamOf(probe, "audio").value("channels").toInt(), channels);
    QVERIFY2(qAbs(DurationOf(probe) - 2.0) < 0.3, qPrintable(QString::number(DurationOf(probe))));
}

void TFfmodHazardsTest::stalledReading_data()
{
    QTest::addColumn<int>("threads");
    QTest::newRow("streams in threads of their own") << 2;
    QTest::newRow("one thread") << 1;
}

// An AVI with six bits of its header flipped: its reader creeps on, then
// reads the same stretch again and again, and its pictures' times make the
// picture stream repeat frames for hours. The bound is made smaller than
// the tool's 10 s only to spare the test's time.
void TFfmodHazardsTest::stalledReading()
{
    QFETCH(int, threads);
    QVERIFY(MakeMedia({"-f",
                       "lavfi",
                       "-i",
                       "testsrc2=size=160x120:rate=15:duration=1.5",
                       "-f",
                       "lavfi",
                       "-i",
                       "aevalsrc=sin(440*2*PI*t)|sin(660*2*PI*t):s=44100:d=1.5",
                       "-fflags",
                       "+bitexact",
                       "-flags:v",
                       "+bitexact",
                       "-flags:a",
                       "+bitexact",
                       "-map_metadata",
                       "-1",
                       "-threads",
                       "1",
                       "-c:v",
                       "mpeg4",
                       "-c:a",
                       "libmp3lame",
                       In("creep.avi")}));
    QByteArray avi = ReadAll(In("creep.avi"));
    const std::pair<int, int> flips[] = {{130, 0x04}, {251, 0x20},  {461, 0x10},
                                         {923, 0x80}, {1584, 0x80}, {1886, 0x40}};
    for (const auto& [offset, bit] : flips)
        avi[offset] = char(avi[offset] ^ bit);
    const QString input = In("stall.avi");
    QVERIFY(WriteAll(input, avi));
    const QString dir = FreshDir("stall");
    const QString out = dir + "/keep.mpg";
    QVERIFY(WriteAll(out, "an earlier conversion"));
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("FFMOD_STALL_CPU_SECONDS", "2");
    env.insert(ToolThreadsVariable, QString::number(threads));
    process.setProcessEnvironment(env);
    process.start(kTool, ConvertArgs(input, "-vcodec mpeg2video -r 29.97 -acodec mp2", out));
    QVERIFY(process.waitForFinished(120000));
    const QByteArray output = process.readAll();
    QCOMPARE(process.exitCode(), 1);
    // The window takes the last line as the file's reason.
    TToolOutputLines lines;
    lines.Add(output.toStdString());
    lines.Finish();
    QCOMPARE(QString::fromStdString(FailureReason(lines.Lines())),
             "'" + input + "': damaged input: reading got no further for 2 s of processing time");
    QCOMPARE(EntriesOf(dir), QStringList{"keep.mpg"});
    QCOMPARE(ReadAll(out), QByteArray("an earlier conversion"));
}

void TFfmodHazardsTest::wavThroughFifo()
{
    // A WAV that comes through a FIFO is read once: the length check after
    // the conversion must not open it again and wait for a writer that is gone.
    const QString dir = FreshDir("fifo-in");
    const QString fifo = dir + "/live.wav";
    QCOMPARE(::mkfifo(fifo.toUtf8().constData(), 0600), 0);
    QProcess source;
    source.setStandardInputFile(QProcess::nullDevice());
    source.start("ffmpeg", {"-v", "error", "-nostdin", "-f", "lavfi", "-i",
                            "sine=f=440:r=44100:d=2", "-f", "wav", "-y", fifo});
    QVERIFY(source.waitForStarted());
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.setStandardInputFile(QProcess::nullDevice());
    const QString out = dir + "/live.mp3";
    tool.start(kTool, ConvertArgs(fifo, "-vn -acodec libmp3lame", out));
    const bool ended = tool.waitForFinished(60000);
    if (!ended)
        tool.kill();
    source.waitForFinished();
    QVERIFY2(ended, "the tool waited on the FIFO after the conversion");
    QCOMPARE(tool.exitCode(), 0);
    QVERIFY(QFileInfo(out).size() > 0);
}

QTEST_GUILESS_MAIN(TFfmodHazardsTest)
#include "tst_FfmodHazards.moc"
