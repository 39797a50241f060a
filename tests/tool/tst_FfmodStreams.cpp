// The built conversion tool with each output stream in a thread of its own
// (a budget of two threads) against the same run in one thread: the same
// sound and pictures, the file's streams interleaved as closely, the status
// lines never ahead of the file, and a failure or a signal in the middle of
// the run leaving nothing behind.
#include <QtTest>

#include <signal.h>
#include <sys/mount.h>

#include <algorithm>
#include <map>

#include "base/ToolEnvironment.h"
#include "tests/tool/FfmodTestTools.h"

namespace {

const QString kSameq = QStringLiteral("-sameq -sameq -sameq -sameq ");

QProcessEnvironment WithThreads(int threads)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(ToolThreadsVariable, QString::number(threads));
    return env;
}

// The tool on args with a thread budget; its exit code (-1 for a crash or a
// run over 120 s) and its output.
TRun RunTool(const QStringList& args, int threads)
{
    return Run(kTool, args, 120000, WithThreads(threads));
}

// The MD5 of the file's decoded sound, as the ffmpeg program prints it.
QString SoundDigest(const QString& path)
{
    const TRun run = Run(QStringLiteral("ffmpeg"),
                         {"-v", "error", "-nostdin", "-i", path, "-map", "0:a", "-f", "md5", "-"});
    return run.ExitCode == 0 ? run.Output.trimmed() : QString();
}

int PictureCount(const QString& path)
{
    const TRun run = Run(QStringLiteral("ffprobe"),
                         {"-v", "error", "-count_packets", "-select_streams", "v:0",
                          "-show_entries", "stream=nb_read_packets", "-of", "csv=p=0", path});
    return run.Output.section(QLatin1Char(','), 0, 0).trimmed().toInt();
}

// How far, at most, one stream's packets run ahead of another's in the
// order they lie in the file (seconds), while every stream still has
// packets to come.
double InterleaveLead(const QString& path)
{
    const TRun run =
        Run(QStringLiteral("ffprobe"), {"-v", "error", "-show_packets", "-show_entries",
                                        "packet=stream_index,pos,dts_time", "-of", "json", path});
    struct TPacket
    {
        qint64 Pos;
        int Stream;
        double Time;
    };
    QList<TPacket> packets;
    std::map<int, double> ends;
    const QJsonArray all =
        QJsonDocument::fromJson(run.Output.toUtf8()).object().value("packets").toArray();
    for (const QJsonValue& value : all) {
        const QJsonObject p = value.toObject();
        bool posOk = false;
        bool timeOk = false;
        const TPacket packet{p.value("pos").toString().toLongLong(&posOk),
                             p.value("stream_index").toInt(),
                             p.value("dts_time").toString().toDouble(&timeOk)};
        if (!posOk || !timeOk)
            continue;
        packets << packet;
        ends[packet.Stream] =
            ends.count(packet.Stream) ? std::max(ends[packet.Stream], packet.Time) : packet.Time;
    }
    if (ends.size() < 2)
        return -1;
    double endAll = ends.begin()->second;
    for (const auto& [stream, end] : ends)
        endAll = std::min(endAll, end);
    std::sort(packets.begin(), packets.end(),
              [](const TPacket& a, const TPacket& b) { return a.Pos < b.Pos; });
    std::map<int, double> latest;
    double lead = 0;
    for (const TPacket& packet : packets) {
        latest[packet.Stream] = packet.Time;
        if (latest.size() < ends.size())
            continue;
        double low = latest.begin()->second;
        double high = low;
        for (const auto& [stream, time] : latest) {
            low = std::min(low, time);
            high = std::max(high, time);
        }
        if (high <= endAll)
            lead = std::max(lead, high - low);
    }
    return lead;
}

// The time= of every status line, in order.
QList<double> StatusTimes(const QString& output)
{
    QList<double> times;
    const QRegularExpression time("time=\\s*([0-9.]+)");
    for (auto it = time.globalMatch(output); it.hasNext();)
        times << it.next().captured(1).toDouble();
    return times;
}

}  // namespace

class TFfmodStreamsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void sameAsOneThread_data();
    void sameAsOneThread();
    void fullDiskStopsAll_data();
    void fullDiskStopsAll();
    void signalLeavesNothing_data();
    void signalLeavesNothing();

private:
    QString In(const QString& name) const { return m_dir.filePath(name); }
    QString FreshDir(const QString& name);

    QTemporaryDir m_dir;
    QString m_mounted;
};

void TFfmodStreamsTest::initTestCase()
{
    QVERIFY(QFileInfo(kTool).isExecutable());
    QVERIFY(m_dir.isValid());
    // A tone with noise, so that a lost or doubled packet shows in the sound.
    QVERIFY(MakeMedia({"-f",
                       "lavfi",
                       "-i",
                       "testsrc=s=320x240:r=25:d=8",
                       "-f",
                       "lavfi",
                       "-i",
                       "sine=f=440:r=44100:d=8",
                       "-f",
                       "lavfi",
                       "-i",
                       "anoisesrc=a=0.05:r=44100:d=8",
                       "-filter_complex",
                       "[1][2]amix=inputs=2,aformat=channel_layouts=stereo[a]",
                       "-map",
                       "0:v",
                       "-map",
                       "[a]",
                       "-c:v",
                       "mpeg4",
                       "-q:v",
                       "4",
                       "-c:a",
                       "libmp3lame",
                       "-shortest",
                       In("clip.avi")}));
    QVERIFY(MakeMedia({"-i", In("clip.avi"), "-vn", In("sound.wav")}));
}

void TFfmodStreamsTest::cleanupTestCase()
{
    if (!m_mounted.isEmpty())
        ::umount(m_mounted.toLocal8Bit().constData());
}

QString TFfmodStreamsTest::FreshDir(const QString& name)
{
    const QString path = m_dir.filePath(name);
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return path;
}

void TFfmodStreamsTest::sameAsOneThread_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("extension");
    // The video page's command lines, at "Same As Input".
    QTest::newRow("MP4") << "clip.avi" << kSameq + "-r 29.97 -vcodec libx264 -acodec libfaac"
                         << "mp4";
    QTest::newRow("WMV") << "clip.avi" << kSameq + "-vcodec wmv2  -acodec wmav2"
                         << "wmv";
    QTest::newRow("3GP") << "clip.avi"
                         << kSameq +
                                "-vcodec h263 -r 25 -acodec libamr_nb -ac 1 -ab 10.2k -ar 8000 "
                                "-s 352x288"
                         << "3gp";
    QTest::newRow("MPG") << "clip.avi" << kSameq + "-vcodec mpeg2video -r 29.97 -acodec mp2"
                         << "mpg";
    QTest::newRow("AVI") << "clip.avi"
                         << kSameq + "-r 29.97 -vcodec libxvid -vtag XVID -acodec libmp3lame"
                         << "avi";
    QTest::newRow("FLV") << "clip.avi"
                         << ""
                         << "flv";
    // Sound alone: the one stream still runs beside the reader.
    QTest::newRow("MP3 from a WAV") << "sound.wav"
                                    << "-ar 44100 -ab 128k -ac 2 -vn -acodec libmp3lame"
                                    << "mp3";
}

void TFfmodStreamsTest::sameAsOneThread()
{
    QFETCH(QString, input);
    QFETCH(QString, settings);
    QFETCH(QString, extension);
    const QString dir = FreshDir("same");
    const QString threaded = dir + "/threaded." + extension;
    const QString single = dir + "/single." + extension;
    const TRun run = RunTool(ConvertArgs(In(input), settings, threaded), 2);
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Output.right(400)));
    const TRun one = RunTool(ConvertArgs(In(input), settings, single), 1);
    QVERIFY2(one.ExitCode == 0, qPrintable(one.Output.right(400)));

    QCOMPARE(DecodeErrors(threaded), QString());
    const QString digest = SoundDigest(threaded);
    QVERIFY(digest.startsWith("MD5="));
    QCOMPARE(digest, SoundDigest(single));
    const bool video = !StreamOf(Probe(threaded), "video").isEmpty();
    if (video) {
        QVERIFY(PictureCount(threaded) > 0);
        QCOMPARE(PictureCount(threaded), PictureCount(single));
        // The muxer still gets the streams close together.
        const double lead = InterleaveLead(threaded);
        QVERIFY2(lead >= 0 && lead < 1.5, qPrintable(QString::number(lead)));
    } else {
        // Sound alone comes out byte for byte the same.
        QCOMPARE(ReadAll(threaded), ReadAll(single));
    }
    const double duration = DurationOf(Probe(threaded));
    QVERIFY2(qAbs(duration - DurationOf(Probe(single))) < 0.05,
             qPrintable(QString::number(duration)));

    // The status lines go forward only and never past what the file holds.
    const QList<double> times = StatusTimes(run.Output);
    QVERIFY(!times.isEmpty());
    QVERIFY2(std::is_sorted(times.begin(), times.end()), qPrintable(run.Output.right(400)));
    QVERIFY2(times.last() <= duration + 0.1,
             qPrintable(QString("%1 of %2").arg(times.last()).arg(duration)));
}

void TFfmodStreamsTest::fullDiskStopsAll_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("extension");
    QTest::newRow("MP4") << kSameq + "-r 29.97 -vcodec libx264 -acodec libfaac"
                         << "mp4";
    QTest::newRow("WMV") << kSameq + "-vcodec wmv2  -acodec wmav2"
                         << "wmv";
    QTest::newRow("MPG") << kSameq + "-vcodec mpeg2video -r 29.97 -acodec mp2"
                         << "mpg";
}

// The disk fills while both streams write: the stream that meets it stops
// the other and the reader, and the run ends with the one line and nothing
// on the disk.
void TFfmodStreamsTest::fullDiskStopsAll()
{
    QFETCH(QString, settings);
    QFETCH(QString, extension);
    const QString dir = FreshDir("full");
    if (::mount("tmpfs", dir.toLocal8Bit().constData(), "tmpfs", 0, "size=64k") != 0)
        QSKIP("a small file system cannot be mounted here");
    m_mounted = dir;
    const QString out = dir + "/clip_avi." + extension;
    const TRun run = RunTool(ConvertArgs(In("clip.avi"), settings, out), 2);
    const QStringList left = EntriesOf(dir);
    ::umount(dir.toLocal8Bit().constData());
    m_mounted.clear();
    QCOMPARE(run.ExitCode, 1);
    // The last line (after a status line's CR or a line end) is the reason.
    const QStringList lines = run.Output.split(QRegularExpression("[\r\n]"), Qt::SkipEmptyParts);
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.last(), "Error while writing '" + out + "': No space left on device");
    QCOMPARE(left, QStringList());
}

void TFfmodStreamsTest::signalLeavesNothing_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("extension");
    // Blown up to HD, so that the run is still going when the signal comes.
    QTest::newRow("MP4") << kSameq + "-s 1280x720 -r 29.97 -vcodec libx264 -acodec libfaac"
                         << "mp4";
    QTest::newRow("WMV") << kSameq + "-s 1280x720 -vcodec wmv2  -acodec wmav2"
                         << "wmv";
}

// What the window does on Cancel: SIGTERM while the streams' threads run.
void TFfmodStreamsTest::signalLeavesNothing()
{
    QFETCH(QString, settings);
    QFETCH(QString, extension);
    const QString dir = FreshDir("signal");
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessEnvironment(WithThreads(2));
    process.start(kTool, ConvertArgs(In("clip.avi"), settings, dir + "/clip_avi." + extension));
    QVERIFY(process.waitForStarted());
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += process.readAll()).contains("time="), 30000);
    QVERIFY2(process.state() == QProcess::Running, output.right(300).constData());
    QVERIFY(!EntriesOf(dir).filter(".part-").isEmpty());
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(process.state() == QProcess::NotRunning, 1000);
    output += process.readAll();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 255);
    QVERIFY(output.contains("Received signal 15: terminating."));
    QCOMPARE(EntriesOf(dir), QStringList());
}

QTEST_GUILESS_MAIN(TFfmodStreamsTest)
#include "tst_FfmodStreams.moc"
