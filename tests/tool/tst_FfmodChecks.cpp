// The built conversion tool on damaged input and hostile command lines: what
// it refuses, what it brings to what the formats hold, and that no failed run
// leaves a file or touches the one already there. The damaged files are made
// here, from media made by the ffmpeg program.
#include <QtTest>

#include <functional>

#include "tests/tool/FfmodTestTools.h"

namespace {

const QByteArray kPrecious("an earlier conversion");

// Every tag of an FLV file gets the timestamp shift returns for it:
// shift(kind, number of the tag among its kind (1-based), timestamp in ms).
QByteArray RetimeFlvTags(QByteArray flv, const std::function<qint64(int, int, qint64)>& shift)
{
    int counts[32] = {};
    qsizetype pos = 9 + 4;  // header, then the first "previous tag size"
    while (pos + 11 <= flv.size()) {
        auto byte = [&flv](qsizetype i) { return static_cast<quint8>(flv[i]); };
        const int kind = byte(pos) & 0x1f;
        const qint64 size = (byte(pos + 1) << 16) | (byte(pos + 2) << 8) | byte(pos + 3);
        const qint64 ms = (qint64(byte(pos + 7)) << 24) | (byte(pos + 4) << 16) |
                          (byte(pos + 5) << 8) | byte(pos + 6);
        const qint64 to = qBound(qint64(0), shift(kind, ++counts[kind], ms), qint64(0x7fffffff));
        flv[pos + 4] = char((to >> 16) & 0xff);
        flv[pos + 5] = char((to >> 8) & 0xff);
        flv[pos + 6] = char(to & 0xff);
        flv[pos + 7] = char((to >> 24) & 0xff);
        pos += 11 + size + 4;
    }
    return flv;
}

constexpr int kFlvVideo = 9;

// Every time stamp of an MPEG-1 program stream's audio and video packets gets
// what retime returns for it: retime(video, number of the packet among its
// kind (1-based), is a presentation time, ticks of 90 kHz). The result is kept
// to 33 bits, as the stream's clock wraps.
QByteArray RetimeProgramStream(QByteArray ps,
                               const std::function<qint64(bool, int, bool, qint64)>& retime)
{
    auto byte = [&ps](qsizetype i) { return static_cast<quint8>(ps[i]); };
    auto read = [&byte](qsizetype at) {
        return (qint64((byte(at) >> 1) & 0x07) << 30) | (qint64(byte(at + 1)) << 22) |
               (qint64(byte(at + 2) >> 1) << 15) | (qint64(byte(at + 3)) << 7) |
               (byte(at + 4) >> 1);
    };
    auto write = [&ps, &byte](qsizetype at, qint64 ticks) {
        ticks &= (qint64(1) << 33) - 1;
        ps[at] = char((byte(at) & 0xf1) | ((ticks >> 29) & 0x0e));
        ps[at + 1] = char((ticks >> 22) & 0xff);
        ps[at + 2] = char(((ticks >> 14) & 0xfe) | 1);
        ps[at + 3] = char((ticks >> 7) & 0xff);
        ps[at + 4] = char(((ticks << 1) & 0xfe) | 1);
    };
    int counts[2] = {};
    for (qsizetype pos = 0; (pos = ps.indexOf(QByteArray("\x00\x00\x01", 3), pos)) >= 0; ++pos) {
        if (pos + 16 > ps.size())
            break;
        const quint8 id = byte(pos + 3);
        if (id < 0xc0 || id > 0xef)
            continue;
        const bool video = id >= 0xe0;
        qsizetype at = pos + 6;
        while (at < ps.size() - 10 && byte(at) == 0xff)
            ++at;
        if ((byte(at) & 0xc0) == 0x40)
            at += 2;
        const int flags = byte(at) >> 4;
        if (flags != 2 && flags != 3)
            continue;
        const int number = ++counts[video ? 1 : 0];
        write(at, retime(video, number, true, read(at)));
        if (flags == 3)
            write(at + 5, retime(video, number, false, read(at + 5)));
    }
    return ps;
}

// ffprobe's value of key for the first stream of type, or of the format's tags
// when type is "tags".
QString ProbedValue(const QString& path, const QString& type, const QString& key)
{
    const QJsonObject probe = Probe(path);
    if (type == QLatin1String("tags"))
        return probe.value("format").toObject().value("tags").toObject().value(key).toString();
    const QJsonValue value = StreamOf(probe, type).value(key);
    return value.isDouble() ? QString::number(value.toInt()) : value.toString();
}

}  // namespace

class TFfmodChecksTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void damagedInputs_data();
    void damagedInputs();
    void timestampJumps_data();
    void timestampJumps();
    void programStreamClocks_data();
    void programStreamClocks();
    void severalFileFormatsRefused_data();
    void severalFileFormatsRefused();
    void optionBounds_data();
    void optionBounds();
    void surroundChannels_data();
    void surroundChannels();
    void soundCheckedBeside_data();
    void soundCheckedBeside();

private:
    QString In(const QString& name) const { return m_dir.filePath(name); }
    QString FreshDir(const QString& name) const { return FreshDirIn(m_dir, name); }
    // Makes the damaged file of a row of damagedInputs; its path.
    QString MakeDamaged(const QString& kind);

    QTemporaryDir m_dir;
};

void TFfmodChecksTest::initTestCase()
{
    QVERIFY(QFileInfo(kTool).isExecutable());
    QVERIFY(m_dir.isValid());
    // An MP4 with its index first, so that a cut leaves a file that still
    // declares its full three seconds.
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", "sine=d=3:r=44100", "-c:a", "aac", "-movflags",
                       "+faststart", In("tone.m4a")}));
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", "sine=d=2:r=44100", "-ac", "2", "-c:a", "libmp3lame",
                       "-b:a", "128k", In("talk.mp3")}));
    // Silence, then noise: the first frame's bit rate puts the length at about
    // twice the truth when there is no header to say better.
    QVERIFY(MakeMedia({"-filter_complex",
                       "aevalsrc=0:s=44100:d=1.5[a];anoisesrc=d=1.5:r=44100[b];"
                       "[a][b]concat=v=0:a=1",
                       "-c:a", "libmp3lame", "-q:a", "2", "-write_xing", "0", In("vbr.mp3")}));
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", "testsrc=s=320x240:r=25:d=2", "-f", "lavfi", "-i",
                       "sine=d=2:r=44100", "-c:v", "flv1", "-c:a", "libmp3lame", "-shortest",
                       In("clip.flv")}));
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", "testsrc=s=320x240:r=25:d=2", "-f", "lavfi", "-i",
                       "sine=d=2:r=44100", "-c:v", "mpeg4", "-c:a", "libmp3lame", "-shortest",
                       In("clip.avi")}));
    // A program stream with pictures stored out of order, so that packets
    // carry both a presentation and a decoding time.
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", "testsrc=s=160x120:r=25:d=2", "-f", "lavfi", "-i",
                       "sine=d=2:r=44100", "-c:v", "mpeg1video", "-bf", "2", "-c:a", "mp2",
                       "-shortest", "-f", "mpeg", In("clip.mpeg")}));
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", "sine=d=2:r=44100", "-ac", "2", In("tone.wav")}));
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", "sine=f=330:d=6:r=44100", "-f", "lavfi", "-i",
                       "anoisesrc=color=pink:amplitude=0.1:d=6:r=44100", "-filter_complex",
                       "amix=inputs=2,aformat=channel_layouts=stereo", In("music.wav")}));
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", "sine=d=2:r=48000", "-af",
                       "pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0", In("surround.wav")}));
}

QString TFfmodChecksTest::MakeDamaged(const QString& kind)
{
    const QString path = In("damaged-" + QString(kind).replace(' ', '-'));
    QByteArray bytes;
    if (kind == QLatin1String("m4a without sample sizes")) {
        bytes = ReadAll(In("tone.m4a"));
        bytes.replace("stsz", "stsx");
    } else if (kind == QLatin1String("cut-off m4a")) {
        bytes = ReadAll(In("tone.m4a"));
        bytes.truncate(bytes.indexOf("mdat") + 1500);
    } else if (kind == QLatin1String("flv cut in half")) {
        bytes = ReadAll(In("clip.flv"));
        bytes.truncate(bytes.size() / 2);
    } else if (kind == QLatin1String("mp3 scribbled over")) {
        bytes = ReadAll(In("talk.mp3"));
        for (qsizetype i = 600; i < 9000 && i < bytes.size(); i += 7)
            bytes[i] = char((i * 131) & 0xff);
    } else if (kind == QLatin1String("wav cut short")) {
        bytes = ReadAll(In("tone.wav"));
        bytes.truncate(20000);
    } else if (kind == QLatin1String("vbr mp3 without header")) {
        bytes = ReadAll(In("vbr.mp3"));
    }
    return WriteAll(path, bytes) ? path : QString();
}

void TFfmodChecksTest::damagedInputs_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("reason");  // empty: the conversion succeeds

    QTest::newRow("m4a without sample sizes, to MP3") << "m4a without sample sizes"
                                                      << "mp3"
                                                      << "-vn -acodec libmp3lame"
                                                      << "damaged input: no audio could be read";
    QTest::newRow("m4a without sample sizes, to AC-3") << "m4a without sample sizes"
                                                       << "ac3"
                                                       << "-vn -acodec ac3"
                                                       << "damaged input: no audio could be read";
    QTest::newRow("cut-off m4a") << "cut-off m4a"
                                 << "wav"
                                 << "-vn"
                                 << "of 3.0 s could be read";
    QTest::newRow("flv cut in half") << "flv cut in half"
                                     << "avi"
                                     << ""
                                     << "s could be read";
    QTest::newRow("a fifth of an mp3 scribbled over") << "mp3 scribbled over"
                                                      << "wav"
                                                      << "-vn"
                                                      << "of 2.04 s could be read";
    // FFmpeg takes the length of a cut WAV from what is left; its header
    // still says 2 s.
    QTest::newRow("wav cut to 20,000 bytes") << "wav cut short"
                                             << "mp3"
                                             << "-vn -acodec libmp3lame"
                                             << "damaged input: 0.11 of 2.0 s could be read";
    // A length guessed from the bit rate is no promise: the file converts.
    QTest::newRow("vbr mp3 without header") << "vbr mp3 without header"
                                            << "wav"
                                            << "-vn"
                                            << "";
}

void TFfmodChecksTest::damagedInputs()
{
    QFETCH(QString, kind);
    QFETCH(QString, extension);
    QFETCH(QString, settings);
    QFETCH(QString, reason);
    const QString input = MakeDamaged(kind);
    QVERIFY(!input.isEmpty());
    const QString dir = FreshDir("damaged");
    const QString out = dir + "/keep." + extension;
    QVERIFY(WriteAll(out, kPrecious));

    const TRun run = Run(kTool, ConvertArgs(input, settings, out));
    if (reason.isEmpty()) {
        QVERIFY2(run.ExitCode == 0, qPrintable(run.Output));
        QVERIFY(ReadAll(out) != kPrecious);
        QCOMPARE(DecodeErrors(out), QString());
        QVERIFY(qAbs(DurationOf(Probe(out)) - 3.0) < 0.2);
        return;
    }
    QCOMPARE(run.ExitCode, 1);
    // One line that names the input and says why.
    const QRegularExpression line("(^|\\n)'" + QRegularExpression::escape(input) +
                                  "': damaged input: [^\\r\\n]*" +
                                  QRegularExpression::escape(reason.section(": ", -1)) + "\\r\\n");
    QVERIFY2(line.match(run.Output).hasMatch(), qPrintable(run.Output.right(400)));
    QVERIFY2(run.Output.contains(reason), qPrintable(run.Output.right(400)));
    QCOMPARE(EntriesOf(dir), QStringList{"keep." + extension});
    QCOMPARE(ReadAll(out), kPrecious);
}

void TFfmodChecksTest::timestampJumps_data()
{
    QTest::addColumn<int>("jump");
    QTest::addColumn<double>("seconds");
    // Rows: which tags move and by how much (ms), and the length the output
    // must have.
    QTest::newRow("tenth picture at 24.8 days") << 0 << 2.0;
    QTest::newRow("everything after 1 s is 1.5 s later") << 1500 << 3.5;
    QTest::newRow("everything after 1 s is an hour later") << 3600000 << 2.0;
    QTest::newRow("everything after 1 s is 9 days later") << 777600000 << 2.0;
}

void TFfmodChecksTest::timestampJumps()
{
    QFETCH(int, jump);
    QFETCH(double, seconds);
    const QByteArray flv =
        RetimeFlvTags(ReadAll(In("clip.flv")), [jump](int kind, int number, qint64 ms) {
            if (jump == 0)
                return kind == kFlvVideo && number == 10 ? qint64(0x7fffffff) : ms;
            return ms >= 1000 ? ms + jump : ms;
        });
    const QString input = In("jump.flv");
    QVERIFY(WriteAll(input, flv));
    const QString dir = FreshDir("jumps");
    const QString out = dir + "/jump_flv.avi";

    // A jump filled in full would take hours: the run's time-out is its bound.
    const TRun run = Run(kTool, ConvertArgs(input, "", out), 30000);
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Output.right(400)));
    const double duration = DurationOf(Probe(out));
    QVERIFY2(qAbs(duration - seconds) <= 0.25,
             qPrintable(QStringLiteral("duration %1, expected %2").arg(duration).arg(seconds)));
    const QJsonObject probe = Probe(out);
    QVERIFY(!StreamOf(probe, "video").isEmpty());
    QVERIFY(!StreamOf(probe, "audio").isEmpty());
    QCOMPARE(DecodeErrors(out), QString());
}

void TFfmodChecksTest::programStreamClocks_data()
{
    QTest::addColumn<int>("damage");
    QTest::addColumn<double>("seconds");  // < 0: refused as damaged
    // Rows: 0 one picture's presentation time 370 s ahead of its decoding
    // time; 1 the clock wraps past 33 bits a second in; 2 most times after
    // a second in lie 1.6 hours (2^29 ticks) later, so that the file seems to
    // last that long: refused, but without converting hours on the way.
    QTest::newRow("one presentation time 370 s ahead") << 0 << 2.0;
    QTest::newRow("clock wrapping past 33 bits") << 1 << 2.0;
    QTest::newRow("times of the second half out by hours") << 2 << -1.0;
}

void TFfmodChecksTest::programStreamClocks()
{
    QFETCH(int, damage);
    QFETCH(double, seconds);
    const QByteArray ps = RetimeProgramStream(
        ReadAll(In("clip.mpeg")), [damage](bool video, int number, bool presentation, qint64 t) {
            const qint64 second = 90000;
            switch (damage) {
                case 0:
                    return video && number == 5 && presentation ? t + 370 * second : t;
                case 1:
                    return t + (qint64(1) << 33) - second - 30000;
                default:
                    return t > second + 45000 && (number % 9) < 5 ? t + (qint64(1) << 29) : t;
            }
        });
    const QString input = In("clock.mpeg");
    QVERIFY(WriteAll(input, ps));
    const QString dir = FreshDir("clocks");
    const QString out = dir + "/clock_mpeg.avi";

    // A jump filled in full would take long: the run's time-out is its bound.
    const TRun run = Run(kTool, ConvertArgs(input, "", out), 30000);
    // The time line never runs past what the file holds.
    const QRegularExpression time("time=([0-9.]+)");
    for (auto it = time.globalMatch(run.Output); it.hasNext();)
        QVERIFY2(it.next().captured(1).toDouble() < 3.0, qPrintable(run.Output.right(400)));
    if (seconds < 0) {
        QCOMPARE(run.ExitCode, 1);
        QVERIFY2(run.Output.contains("damaged input"), qPrintable(run.Output.right(400)));
        QCOMPARE(EntriesOf(dir), QStringList());
        return;
    }
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Output.right(400)));
    const double duration = DurationOf(Probe(out));
    QVERIFY2(qAbs(duration - seconds) <= 0.3,
             qPrintable(QStringLiteral("duration %1, expected %2").arg(duration).arg(seconds)));
    QCOMPARE(DecodeErrors(out), QString());
}

void TFfmodChecksTest::severalFileFormatsRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("HLS playlist") << "list.m3u8";
    QTest::newRow("DASH manifest") << "manifest.mpd";
    QTest::newRow("numbered pictures") << "frame%03d.png";
    QTest::newRow("one picture") << "still.jpg";
}

void TFfmodChecksTest::severalFileFormatsRefused()
{
    QFETCH(QString, name);
    const QString dir = FreshDir("segments");
    const QString here = FreshDir("segments-cwd");
    const QString out = dir + "/" + name;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setWorkingDirectory(here);
    process.start(kTool, ConvertArgs(In("clip.avi"), "", out));
    QVERIFY(process.waitForFinished(30000));
    const QString output = QString::fromUtf8(process.readAll());
    QCOMPARE(process.exitCode(), 1);
    QVERIFY2(output.contains(QRegularExpression(
                 "(^|\\n)Cannot write '" + QRegularExpression::escape(out) +
                 "': the \\w+ format writes several files or a pattern of names, not one "
                 "file\\r\\n")),
             qPrintable(output));
    QCOMPARE(EntriesOf(dir), QStringList{});
    QCOMPARE(EntriesOf(here), QStringList{});
}

void TFfmodChecksTest::optionBounds_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("type");  // what ffprobe reads back: stream type or "tags"
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    const QString comment(70000, QLatin1Char('c'));
    QTest::newRow("sample rate 99,999,999 Hz into WAV")
        << "talk.mp3" << QStringList{"-ar", "99999999", "-vn"} << "wav"
        << "Sample rate 99999999 Hz is not supported by pcm_s16le: using 192000 Hz"
        << "audio"
        << "sample_rate"
        << "192000";
    QTest::newRow("frame rate one in 68 years")
        << "clip.avi" << QStringList{"-r", "1/2147483647"} << "avi"
        << "Frame rate 1/2147483647 is not supported by mpeg4: using 1"
        << "video"
        << "avg_frame_rate"
        << "1/1";
    QTest::newRow("frame rate beyond 240") << "clip.avi" << QStringList{"-r", "1000"} << "avi"
                                           << "Frame rate 1000/1 is not supported by mpeg4: using "
                                              "240"
                                           << "video"
                                           << "avg_frame_rate"
                                           << "240/1";
    QTest::newRow("comment longer than FLV's readers take")
        << "clip.avi" << QStringList{"-comment", comment} << "flv"
        << "The comment of 70000 bytes is longer than flv holds: using its first 1023 bytes"
        << "tags"
        << "comment" << comment.left(1023);
    QTest::newRow("comment longer than QuickTime's field")
        << "clip.avi" << QStringList{"-comment", comment} << "mov"
        << "The comment of 70000 bytes is longer than mov holds: using its first 65535 bytes"
        << "tags"
        << "comment" << comment.left(65535);
    QTest::newRow("comment longer than ASF's field")
        << "talk.mp3" << QStringList{"-comment", comment} << "wma"
        << "The comment of 70000 bytes is longer than asf holds: using its first 32766 bytes"
        << "tags"
        << "comment" << comment.left(32766);
    QTest::newRow("comment kept whole in MP4")
        << "talk.mp3" << QStringList{"-comment", comment} << "m4a"
        << ""
        << "tags"
        << "comment" << comment;
}

void TFfmodChecksTest::optionBounds()
{
    QFETCH(QString, input);
    QFETCH(QStringList, options);
    QFETCH(QString, extension);
    QFETCH(QString, line);
    QFETCH(QString, type);
    QFETCH(QString, key);
    QFETCH(QString, value);
    const QString dir = FreshDir("bounds");
    const QString out = dir + "/bounded." + extension;
    // The options after the program's own -copyright and -comment: the last wins.
    const TRun run =
        Run(kTool, ConvertArgs(In(input), "", out).mid(0, 7) + options + QStringList{"-y", out});
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Output.right(400)));
    if (line.isEmpty())
        QVERIFY2(!run.Output.contains("is longer than"), qPrintable(run.Output.right(400)));
    else
        QVERIFY2(run.Output.contains("\n" + line + "\r\n"), qPrintable(run.Output.right(400)));
    QCOMPARE(ProbedValue(out, type, key), value);
    QCOMPARE(DecodeErrors(out), QString());
    // Two seconds, give or take a picture at one a second.
    const double duration = DurationOf(Probe(out));
    QVERIFY2(duration > 1.8 && duration <= 3.05, qPrintable(QString::number(duration)));
    QVERIFY(QFileInfo(out).size() < 2 * 1024 * 1024);
}

void TFfmodChecksTest::surroundChannels_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QString>("encoder");  // the one that takes fewer, named in the line

    QTest::newRow("WAV") << "-vn"
                         << "wav" << 6 << "";
    QTest::newRow("AC-3") << "-vn -acodec ac3"
                          << "ac3" << 6 << "";
    QTest::newRow("MP3") << "-vn -acodec libmp3lame"
                         << "mp3" << 2 << "libmp3lame";
    QTest::newRow("WMA") << "-vn -acodec wmav2"
                         << "wma" << 2 << "wmav2";
    QTest::newRow("OGG") << "-vn -acodec vorbis"
                         << "ogg" << 6 << "";
    QTest::newRow("M4A") << "-vn -acodec libfaac"
                         << "m4a" << 6 << "";
    // The video formats' sound, from a file without pictures.
    QTest::newRow("AVI") << "-acodec libmp3lame"
                         << "avi" << 2 << "libmp3lame";
    QTest::newRow("MPG") << "-acodec mp2"
                         << "mpg" << 2 << "mp2";
    QTest::newRow("MP4") << "-acodec libfaac"
                         << "mp4" << 6 << "";
    QTest::newRow("FLV") << "-acodec libmp3lame"
                         << "flv" << 2 << "libmp3lame";
    QTest::newRow("WMV") << "-acodec wmav2"
                         << "wmv" << 2 << "wmav2";
}

void TFfmodChecksTest::surroundChannels()
{
    QFETCH(QString, settings);
    QFETCH(QString, extension);
    QFETCH(int, channels);
    QFETCH(QString, encoder);
    const QString dir = FreshDir("surround");
    const QString out = dir + "/surround_wav." + extension;
    const TRun run = Run(kTool, ConvertArgs(In("surround.wav"), "-ac 6 " + settings, out));
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Output.right(400)));
    const QString line = "\n6 channels are more than " + encoder + " takes: using 2\r\n";
    QCOMPARE(run.Output.contains(line), !encoder.isEmpty());
    QCOMPARE(run.Output.count("channels are more than"), encoder.isEmpty() ? 0 : 1);
    QCOMPARE(StreamOf(Probe(out), "audio").value("channels").toInt(), channels);
    QCOMPARE(DecodeErrors(out), QString());
}

// On more than one thread the sound of a file of sound alone is decoded for
// the output check while it is written; the read-back decodes it again only
// where the file gives back other packets or another codec header than were
// written ($FFMOD_CHECK_DECODES names a file that says which way was taken).
void TFfmodChecksTest::soundCheckedBeside_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<int>("blockFrames");  // > 0: the encode is split in blocks of that many
    QTest::addColumn<QString>("decode");

    QTest::newRow("MP3") << "-threads 2 -acodec libmp3lame"
                         << "mp3" << 0 << "beside";
    QTest::newRow("AC-3") << "-threads 2 -acodec ac3"
                          << "ac3" << 0 << "beside";
    QTest::newRow("WMA") << "-threads 2 -acodec wmav2"
                         << "wma" << 0 << "beside";
    QTest::newRow("MP3 in blocks") << "-threads 2 -acodec libmp3lame"
                                   << "mp3" << 7 << "beside";
    QTest::newRow("AC-3 in blocks") << "-threads 2 -acodec ac3"
                                    << "ac3" << 7 << "beside";
    QTest::newRow("WMA in blocks") << "-threads 2 -acodec wmav2"
                                   << "wma" << 7 << "beside";
    QTest::newRow("MP2 of a DVD stream") << "-threads 2 -vn"
                                         << "mpg" << 0 << "beside";
    QTest::newRow("M4A") << "-threads 2 -acodec libfaac"
                         << "m4a" << 0 << "beside";
    QTest::newRow("Opus") << "-threads 2"
                          << "opus" << 0 << "beside";
    QTest::newRow("WAV") << "-threads 2"
                         << "wav" << 0 << "beside";
    // The Ogg muxer writes a comment header of its own, which the Vorbis
    // decoder does not read; the FLAC muxer writes the finished stream
    // information into the codec's header.
    QTest::newRow("OGG") << "-threads 2 -acodec vorbis"
                         << "ogg" << 0 << "beside";
    QTest::newRow("FLAC") << "-threads 2"
                          << "flac" << 0 << "read back";
    QTest::newRow("MP3 on one thread") << "-threads 1 -acodec libmp3lame"
                                       << "mp3" << 0 << "read back";
}

void TFfmodChecksTest::soundCheckedBeside()
{
    QFETCH(QString, settings);
    QFETCH(QString, extension);
    QFETCH(int, blockFrames);
    QFETCH(QString, decode);
    const QString dir = FreshDir("beside");
    const QString out = dir + "/music." + extension;
    const QString decodes = In("beside.decodes");
    const QString joins = In("beside.joins");
    QFile::remove(decodes);
    QFile::remove(joins);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("FFMOD_CHECK_DECODES", decodes);
    if (blockFrames > 0) {
        env.insert("FFMOD_SPLIT_BLOCK_FRAMES", QString::number(blockFrames));
        env.insert("FFMOD_SPLIT_JOINS", joins);
    }
    const TRun run = Run(kTool, ConvertArgs(In("music.wav"), settings, out), 60000, env);
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Output.right(400)));
    QCOMPARE(QString::fromLatin1(ReadAll(decodes)), decode + "\n");
    if (blockFrames > 0)
        QVERIFY(!ReadAll(joins).isEmpty());
    QCOMPARE(DecodeErrors(out), QString());
    QVERIFY(qAbs(DurationOf(Probe(out)) - 6.0) < 0.2);
}

QTEST_GUILESS_MAIN(TFfmodChecksTest)
#include "tst_FfmodChecks.moc"
