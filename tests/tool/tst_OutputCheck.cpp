// The check a finished file passes before it takes its real name, run on
// good and spoilt files made here.
#include <QtTest>

#include <optional>

#include "tests/support/TestMedia.h"
#include "tool/LibraryLog.h"
#include "tool/OutputCheck.h"
#include "tool/WrittenSoundCheck.h"

namespace {

bool WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The file at from, with a run of its bytes from at (a share of its size)
// overwritten, written to to.
bool WriteSpoilt(const QString& from, double at, const QString& to)
{
    QFile file(from);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray bytes = file.readAll();
    const auto start = static_cast<qsizetype>(at * static_cast<double>(bytes.size()));
    for (qsizetype i = start; i < start + 400 && i < bytes.size(); i += 3)
        bytes[i] = char((i * 77) & 0xff);
    return WriteBytes(to, bytes);
}

struct TInputCloser
{
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};

// What the check beside the encode finds of the sound of the file at path
// when it is handed the file's packets as they were written: stopAfter
// packets, then the checker is stopped (-1: all of them, then the end).
std::optional<TWrittenSound> WrittenFrom(const QString& path, int stopAfter = -1)
{
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, ("file:" + path).toUtf8().constData(), nullptr, nullptr) < 0)
        return std::nullopt;
    std::unique_ptr<AVFormatContext, TInputCloser> context(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0)
        return std::nullopt;
    const int index = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0)
        return std::nullopt;
    TWrittenSoundCheck check(raw->streams[index]);
    AVPacket* packet = av_packet_alloc();
    int handed = 0;
    while (av_read_frame(raw, packet) >= 0) {
        if (packet->stream_index == index && handed++ != stopAfter)
            check.Add(packet);
        else if (packet->stream_index == index)
            check.Stop();
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return check.Finish();
}

}  // namespace

class TOutputCheckTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void finishedFiles_data();
    void finishedFiles();
    void covers_data();
    void covers();
    void writtenSound_data();
    void writtenSound();
    void stoppedCheckGivesNoVerdict();
    void readBackDemuxers_data();
    void readBackDemuxers();

private:
    QString In(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TOutputCheckTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // The decoders' complaints reach the check through the tool's log.
    InstallLibraryLog();
    const QString sine = QStringLiteral("sine=d=2:r=44100");
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", sine, In("tone.wav")}));
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", sine, "-c:a", "libmp3lame", In("tone.mp3")}));
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", sine, "-c:a", "ac3", In("tone.ac3")}));
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", "testsrc=s=160x120:r=25:d=2", "-f", "lavfi", "-i", sine,
                       "-c:v", "mpeg4", "-c:a", "libmp3lame", "-shortest", In("clip.avi")}));
    QVERIFY(
        MakeMedia({"-f", "lavfi", "-i", "testsrc=s=160x120:r=25:d=2", "-f", "lavfi", "-i", sine,
                   "-c:v", "mpeg2video", "-c:a", "mp2", "-shortest", "-f", "dvd", In("clip.mpg")}));
    QVERIFY(MakeMedia(
        {"-f", "lavfi", "-i", "testsrc=s=160x120:r=25:d=2", "-c:v", "mpeg4", In("mute.avi")}));
    // A WMA packet made of a few samples decodes to nothing; a few more give
    // a frame only when the decoder is drained.
    QVERIFY(MakeMedia(
        {"-f", "lavfi", "-i", "sine=d=0.01:r=44100", "-c:a", "wmav2", "-ac", "2", In("blip.wma")}));
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", "sine=d=0.05:r=44100", "-c:a", "wmav2", "-ac", "2",
                       In("short.wma")}));
    // One AC-3 frame reads back as AC-3 when asked to, but is not recognised.
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", "sine=d=0.03:r=48000", "-c:a", "ac3", In("blip.ac3")}));
    QFile mp3(In("tone.mp3"));
    QVERIFY(mp3.open(QIODevice::ReadOnly));
    QVERIFY(WriteBytes(In("cut.mp3"), mp3.read(4096)));
    QVERIFY(WriteBytes(In("empty.ac3"), {}));
    // Frames that read back as packets but do not decode: late in a file of
    // sound, early in a video.
    QVERIFY(WriteSpoilt(In("tone.ac3"), 0.9, In("spoilt.ac3")));
    QVERIFY(WriteSpoilt(In("tone.wav"), 0.5, In("spoilt.wav")));
    // The same Vorbis packets under other tags, and other packets.
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", sine, "-c:a", "libvorbis", In("tone.ogg")}));
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", sine, "-c:a", "libvorbis", "-metadata",
                       "title=Another title", In("tagged.ogg")}));
    QVERIFY(
        MakeMedia({"-f", "lavfi", "-i", sine, "-c:a", "libvorbis", "-q:a", "8", In("finer.ogg")}));
    QVERIFY(MakeMedia(
        {"-f", "lavfi", "-i", "sine=f=660:d=2:r=44100", "-c:a", "libmp3lame", In("other.mp3")}));
    QVERIFY(WriteSpoilt(In("clip.avi"), 0.3, In("spoilt.avi")));
    QVERIFY(WriteBytes(In("notes.mp4"), "not a media file\n"));
    // Sound with a cover picture.
    QVERIFY(
        MakeMedia({"-f", "lavfi", "-i", "testsrc=s=64x48:d=1", "-frames:v", "1", In("cover.png")}));
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", sine, "-i", In("cover.png"), "-map", "0", "-map", "1",
                       "-c:a", "libmp3lame", "-c:v", "copy", "-disposition:v", "attached_pic",
                       In("covered.mp3")}));
    QVERIFY(MakeMedia({"-i", In("covered.mp3"), "-map", "0", "-c:a", "flac", "-c:v", "copy",
                       In("covered.flac")}));
    // The video formats of today, and their pictures alone with some spoilt
    // early on. (An Opus packet has no check sum, and VP9 conceals much
    // damage inside a frame: ffmpeg's decode misses that as ours does.)
    const QStringList modern[] = {
        {"-c:v", "libvpx-vp9", "-deadline", "realtime", "-c:a", "libopus", "vp9.webm"},
        {"-c:v", "libsvtav1", "-preset", "12", "-c:a", "libopus", "av1.webm"},
        {"-c:v", "libx265", "-x265-params", "log-level=error", "-tag:v", "hvc1", "-c:a", "aac",
         "hevc.mp4"},
        {"-c:v", "libx264", "-c:a", "aac", "h264.mkv"},
    };
    const QStringList picture{"-f", "lavfi", "-i", "testsrc2=s=160x120:r=25:d=2"};
    for (QStringList args : modern) {
        const QString name = args.takeLast();
        QVERIFY(MakeMedia(picture +
                          QStringList{"-f", "lavfi", "-i", "sine=d=2:r=48000", "-shortest"} + args +
                          QStringList{In(name)}));
        QVERIFY(
            MakeMedia(picture + args.mid(0, args.size() - 2) + QStringList{In("mute." + name)}));
        QVERIFY(WriteSpoilt(In("mute." + name), 0.2, In("spoilt." + name)));
    }
}

void TOutputCheckTest::finishedFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("demuxer");
    QTest::addColumn<double>("videoFed");  // < 0: no video was written
    QTest::addColumn<double>("audioFed");  // < 0: no audio was written
    QTest::addColumn<QString>("reason");   // empty: the file passes

    QTest::newRow("whole WAV") << "tone.wav"
                               << "wav" << -1.0 << 2.0 << "";
    QTest::newRow("whole AC-3, read by its parser") << "tone.ac3"
                                                    << "ac3" << -1.0 << 2.0 << "";
    QTest::newRow("AVI with both") << "clip.avi"
                                   << "avi" << 2.0 << 2.0 << "";
    QTest::newRow("DVD stream, streams found while reading") << "clip.mpg"
                                                             << "mpeg" << 2.0 << 2.0 << "";
    QTest::newRow("a second longer than fed") << "tone.wav"
                                              << "wav" << -1.0 << 1.0 << "";
    QTest::newRow("half of what was fed")
        << "tone.wav"
        << "wav" << -1.0 << 4.0 << "the finished file holds 2.0 s of audio, but 4.0 s were encoded";
    QTest::newRow("MP3 cut off") << "cut.mp3"
                                 << "mp3" << -1.0 << 2.0 << "s of audio, but 2.0 s were encoded";
    QTest::newRow("empty AC-3") << "empty.ac3"
                                << "ac3" << -1.0 << 2.0 << "the finished file ";
    QTest::newRow("AC-3 with a frame spoilt near its end")
        << "spoilt.ac3"
        << "ac3" << -1.0 << 2.0 << "the finished file's audio does not decode cleanly (";
    QTest::newRow("AVI with pictures spoilt") << "spoilt.avi"
                                              << "avi" << 2.0 << 2.0 << "does not decode cleanly (";
    QTest::newRow("video missing") << "tone.mp3"
                                   << "mp3" << 2.0 << 2.0 << "the finished file holds no video";
    QTest::newRow("audio missing") << "mute.avi"
                                   << "avi" << 2.0 << 2.0 << "the finished file holds no audio";
    QTest::newRow("WMA whose one packet decodes to nothing")
        << "blip.wma"
        << "asf" << -1.0 << 0.01 << "the finished file's audio decodes to no frames";
    QTest::newRow("WMA whose frame comes at the drain") << "short.wma"
                                                        << "asf" << -1.0 << 0.05 << "";
    QTest::newRow("AC-3 of one frame") << "blip.ac3"
                                       << "ac3" << -1.0 << 0.03 << "too short or too damaged";
    for (const char* name : {"vp9.webm", "av1.webm", "hevc.mp4", "h264.mkv"}) {
        const QString file = name;
        const QString demuxer = file.endsWith(".mp4") ? "mov" : "matroska";
        QTest::newRow(qPrintable(file + " whole")) << file << demuxer << 2.0 << 2.0 << "";
        QTest::newRow(qPrintable(file + ", half of what was fed"))
            << file << demuxer << 4.0 << 2.0 << "s of video, but 4.0 s were encoded";
        QTest::newRow(qPrintable(file + " with pictures spoilt"))
            << "spoilt." + file << demuxer << 2.0 << -1.0 << "does not decode cleanly (";
    }
    QTest::newRow("AVI read as MP4") << "clip.avi"
                                     << "mov" << 2.0 << 2.0 << "does not open as mov";
    QTest::newRow("not media") << "notes.mp4"
                               << "mov" << 2.0 << 2.0 << "the finished file does not open as mov: ";
}

void TOutputCheckTest::finishedFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, demuxer);
    QFETCH(double, videoFed);
    QFETCH(double, audioFed);
    QFETCH(QString, reason);
    std::vector<TExpectedStream> expected;
    if (videoFed >= 0)
        expected.push_back({true, videoFed});
    if (audioFed >= 0)
        expected.push_back({false, audioFed});
    std::string why;
    const bool passed =
        CheckFinishedOutput(In(file).toStdString(), demuxer.toStdString(), expected, why);
    QCOMPARE(passed, reason.isEmpty());
    if (!passed) {
        QVERIFY2(QString::fromStdString(why).contains(reason), why.c_str());
        QVERIFY(why.find('\n') == std::string::npos);
    }
}

// A cover is no timed stream: a file of sound with one passes the whole
// decode, and a cover that was written must be there whole.
void TOutputCheckTest::covers_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("demuxer");
    QTest::addColumn<int>("coverDelta");  // against the real cover's size; INT_MIN: none written
    QTest::addColumn<QString>("reason");
    QTest::newRow("MP3 with its cover") << "covered.mp3"
                                        << "mp3" << 0 << "";
    QTest::newRow("FLAC with its cover") << "covered.flac"
                                         << "flac" << 0 << "";
    QTest::newRow("cover not asked for") << "covered.mp3"
                                         << "mp3" << INT_MIN << "";
    QTest::newRow("cover lost") << "tone.mp3"
                                << "mp3" << 0 << "the finished file holds no cover picture";
    QTest::newRow("cover cut") << "covered.mp3"
                               << "mp3" << 10 << "the finished file's cover picture holds ";
}

void TOutputCheckTest::covers()
{
    QFETCH(QString, file);
    QFETCH(QString, demuxer);
    QFETCH(int, coverDelta);
    QFETCH(QString, reason);
    std::vector<TExpectedStream> expected{{false, 2.0}};
    if (coverDelta != INT_MIN)
        expected.push_back({.CoverBytes = QFileInfo(In("cover.png")).size() + coverDelta});
    std::string why;
    const bool passed =
        CheckFinishedOutput(In(file).toStdString(), demuxer.toStdString(), expected, why);
    QVERIFY2(passed == reason.isEmpty(), why.c_str());
    if (!passed)
        QVERIFY2(QString::fromStdString(why).startsWith(reason), why.c_str());
}

// The sound of a file of sound alone decoded on its way into the muxer: its
// verdict stands when the file gives back the very packets, and the file is
// decoded whole when it does not (changed since, or cut anew by its muxer).
void TOutputCheckTest::writtenSound_data()
{
    QTest::addColumn<QString>("written");  // the file whose packets the checker was given
    QTest::addColumn<QString>("file");     // the file read back
    QTest::addColumn<QString>("demuxer");
    QTest::addColumn<double>("audioFed");
    QTest::addColumn<bool>("beside");     // the checker's verdict stood for the decode
    QTest::addColumn<QString>("reason");  // empty: the file passes

    QTest::newRow("MP3 as written") << "tone.mp3"
                                    << "tone.mp3"
                                    << "mp3" << 2.0 << true << "";
    QTest::newRow("AC-3 as written") << "tone.ac3"
                                     << "tone.ac3"
                                     << "ac3" << 2.0 << true << "";
    QTest::newRow("WAV as written") << "tone.wav"
                                    << "tone.wav"
                                    << "wav" << 2.0 << true << "";
    QTest::newRow("lengths still checked")
        << "tone.mp3"
        << "tone.mp3"
        << "mp3" << 4.0 << true
        << "the finished file holds 2.04 s of audio, but 4.0 s were encoded";
    QTest::newRow("AC-3 written spoilt: the checker's decode")
        << "spoilt.ac3"
        << "spoilt.ac3"
        << "ac3" << 2.0 << true << "the finished file's audio does not decode cleanly (";
    QTest::newRow("WMA written as a packet of nothing")
        << "blip.wma"
        << "blip.wma"
        << "asf" << 0.01 << true << "the finished file's audio decodes to no frames";
    QTest::newRow("AC-3 spoilt after writing: decoded from the file")
        << "tone.ac3"
        << "spoilt.ac3"
        << "ac3" << 2.0 << false << "the finished file's audio does not decode cleanly (";
    QTest::newRow("WAV changed after writing: decoded from the file")
        << "tone.wav"
        << "spoilt.wav"
        << "wav" << 2.0 << false << "";
    QTest::newRow("OGG whose tags the muxer wrote anew") << "tone.ogg"
                                                         << "tagged.ogg"
                                                         << "ogg" << 2.0 << true << "";
    QTest::newRow("OGG of other packets") << "finer.ogg"
                                          << "tone.ogg"
                                          << "ogg" << 2.0 << false << "";
    QTest::newRow("another MP3 than was written") << "other.mp3"
                                                  << "tone.mp3"
                                                  << "mp3" << 2.0 << false << "";
    QTest::newRow("written spoilt, the file made whole")
        << "spoilt.ac3"
        << "tone.ac3"
        << "ac3" << 2.0 << false << "the finished file's audio does not decode cleanly (";
}

void TOutputCheckTest::writtenSound()
{
    QFETCH(QString, written);
    QFETCH(QString, file);
    QFETCH(QString, demuxer);
    QFETCH(double, audioFed);
    QFETCH(bool, beside);
    QFETCH(QString, reason);
    const std::optional<TWrittenSound> sound = WrittenFrom(In(written));
    QVERIFY(sound);
    std::string why;
    TReadBackDecode decode = TReadBackDecode::Beside;
    const bool passed = CheckFinishedOutput(In(file).toStdString(), demuxer.toStdString(),
                                            {{false, audioFed}}, why, {}, &*sound, &decode);
    QVERIFY2(passed == reason.isEmpty(), why.c_str());
    if (!passed)
        QVERIFY2(QString::fromStdString(why).startsWith(reason), why.c_str());
    QCOMPARE(decode == TReadBackDecode::Beside, beside);
}

// A checker stopped midway (a failing or cancelled run) saw only some of the
// packets: it gives no verdict, so nothing it did not decode can pass.
void TOutputCheckTest::stoppedCheckGivesNoVerdict()
{
    QVERIFY(WrittenFrom(In("tone.mp3")));
    QVERIFY(!WrittenFrom(In("tone.mp3"), 10));
}

void TOutputCheckTest::readBackDemuxers_data()
{
    QTest::addColumn<QString>("muxer");
    QTest::addColumn<QString>("demuxer");
    QTest::newRow("m4a") << "ipod"
                         << "mov";
    QTest::newRow("3gp") << "3gp"
                         << "mov";
    QTest::newRow("dvd") << "dvd"
                         << "mpeg";
    QTest::newRow("mp3") << "mp3"
                         << "mp3";
    QTest::newRow("asf") << "asf"
                         << "asf";
    QTest::newRow("webm") << "webm"
                          << "webm";
    QTest::newRow("matroska") << "matroska"
                              << "matroska";
    QTest::newRow("no such demuxer") << "nosuch"
                                     << "";
}

void TOutputCheckTest::readBackDemuxers()
{
    QFETCH(QString, muxer);
    QFETCH(QString, demuxer);
    QCOMPARE(QString::fromStdString(ReadBackDemuxer(muxer.toStdString())), demuxer);
}

QTEST_GUILESS_MAIN(TOutputCheckTest)
#include "tst_OutputCheck.moc"
