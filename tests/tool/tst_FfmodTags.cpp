// A song's tags and cover through the tool: an MP3, an Ogg and a FLAC file
// with tags and a cover converted to every audio format keep their title,
// artist, album, track, their own copyright and comment, and the cover's
// bytes wherever the format holds them; the program's copyright and comment
// texts fill only what the input lacks.
#include <cstring>

#include <QMap>
#include <QtTest>

#include "FfmodTestTools.h"

namespace {

const QString kOwnCopyright = QStringLiteral("(c) 2024 Me");
const QString kOwnComment = QStringLiteral("my own note");
const QString kProgramCopyright = QStringLiteral("Brimlow LLC");
const QString kProgramComment = QStringLiteral("Quorvex - Media Converter");

struct TFormat
{
    const char* Extension;
    const char* Settings;  // as the audio page passes them
    bool HoldsTags;
    bool HoldsCover;
};

const TFormat kFormats[] = {
    {"mp3", "-ar 44100 -ab 128k -vn -acodec libmp3lame", true, true},
    {"wma", "-ar 44100 -ab 128k -vn -acodec wmav2", true, false},
    {"ogg", "-ar 44100 -aq 128k -vn -acodec vorbis", true, true},
    {"wav", "-ar 44100 -vn -acodec pcm_s16le", true, false},
    {"m4a", "-ar 44100 -ab 128k -vn -acodec libfaac", true, true},
    {"ac3", "-ar 48000 -ab 192k -vn -acodec ac3", false, false},
    {"flac", "-ar 44100 -vn -acodec flac", true, true},
    {"opus", "-ar 48000 -ab 96k -vn -acodec libopus", true, true},
};

// A 32-bit big-endian word.
QByteArray Word(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

// The value of a METADATA_BLOCK_PICTURE comment holding picture as the
// front cover, as a tagging program writes it.
QByteArray PictureComment(const QByteArray& picture, const QByteArray& mime, int width, int height)
{
    const QByteArray description = "Front";
    const QByteArray block = Word(3) + Word(quint32(mime.size())) + mime +
                             Word(quint32(description.size())) + description +
                             Word(quint32(width)) + Word(quint32(height)) + Word(24) + Word(0) +
                             Word(quint32(picture.size())) + picture;
    return block.toBase64();
}

// The file's tags, keys in lower case: the container's, then its sound
// stream's (where Ogg files keep them).
QMap<QString, QString> TagsOf(const QString& path)
{
    const QJsonObject probe = Probe(path);
    QMap<QString, QString> tags;
    const auto add = [&tags](const QJsonObject& object) {
        const QJsonObject t = object.value("tags").toObject();
        for (auto it = t.begin(); it != t.end(); ++it) {
            if (!tags.contains(it.key().toLower()))
                tags.insert(it.key().toLower(), it.value().toString());
        }
    };
    add(probe.value("format").toObject());
    add(StreamOf(probe, "audio"));
    return tags;
}

// The attached pictures of the file (Ogg's comment pictures included).
int CoverCount(const QString& path)
{
    int count = 0;
    for (const QJsonValue& s : Probe(path).value("streams").toArray()) {
        if (s.toObject().value("disposition").toObject().value("attached_pic").toInt() == 1)
            ++count;
    }
    return count;
}

int VideoStreamCount(const QString& path)
{
    int count = 0;
    for (const QJsonValue& s : Probe(path).value("streams").toArray())
        count += s.toObject().value("codec_type").toString() == QLatin1String("video");
    return count;
}

// The first picture's bytes as ffmpeg copies them out.
QByteArray CoverBytes(const QString& path)
{
    QProcess ffmpeg;
    ffmpeg.setStandardInputFile(QProcess::nullDevice());
    ffmpeg.start("ffmpeg", {"-v", "error", "-nostdin", "-i", path, "-map", "0:v:0", "-c", "copy",
                            "-f", "image2pipe", "-"});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
        return {};
    return ffmpeg.readAllStandardOutput();
}

}  // namespace

class TFfmodTagsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void tagsAndCoverKept_data();
    void tagsAndCoverKept();
    void programTextsFillWhatIsMissing_data();
    void programTextsFillWhatIsMissing();

private:
    QString In(const QString& name) const { return m_dir.filePath(name); }
    // Converts input (a name in the folder) into out, named after both.
    TRun Convert(const QString& input, const TFormat& format, const char* prefix,
                 QString& out) const;
    QTemporaryDir m_dir;
};

void TFfmodTagsTest::initTestCase()
{
    QVERIFY(QFileInfo(kTool).isExecutable());
    QVERIFY(m_dir.isValid());
    const QStringList tone{"-f", "lavfi", "-i", "sine=f=440:d=2:r=44100"};
    QVERIFY(
        MakeMedia({"-f", "lavfi", "-i", "testsrc=s=64x48:d=1", "-frames:v", "1", In("cover.png")}));
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", "testsrc=s=80x60:d=1", "-frames:v", "1", "-pix_fmt",
                       "yuvj420p", In("cover.jpg")}));
    QStringList tags;
    for (const auto& [key, value] :
         {std::pair{"title", "Song"}, {"artist", "Band"}, {"album", "Record"}, {"track", "3"}})
        tags << "-metadata" << QStringLiteral("%1=%2").arg(key, value);
    const QStringList own{"-metadata", "copyright=" + kOwnCopyright, "-metadata",
                          "comment=" + kOwnComment};
    const QStringList cover{"-map", "0",    "-map",           "1",
                            "-c:v", "copy", "-disposition:v", "attached_pic"};

    // An MP3 with an ID3v2 APIC; one without a cover, copyright or comment;
    // one with only its own copyright.
    QVERIFY(MakeMedia(tone + QStringList{"-i", In("cover.png")} + cover + tags + own +
                      QStringList{"-c:a", "libmp3lame", "-id3v2_version", "3", In("song.mp3")}));
    QVERIFY(MakeMedia(tone + tags + QStringList{"-c:a", "libmp3lame", In("bare.mp3")}));
    QVERIFY(MakeMedia(tone + tags +
                      QStringList{"-metadata", "copyright=" + kOwnCopyright, "-c:a", "libmp3lame",
                                  In("copyrighted.mp3")}));
    // A GIF cover, which M4A and FLAC files cannot hold.
    QVERIFY(
        MakeMedia({"-f", "lavfi", "-i", "testsrc=s=32x24:d=1", "-frames:v", "1", In("cover.gif")}));
    QVERIFY(MakeMedia(tone + QStringList{"-i", In("cover.gif")} + cover + tags + own +
                      QStringList{"-c:a", "libmp3lame", In("gif.mp3")}));
    // A FLAC with a PICTURE block.
    QVERIFY(MakeMedia(tone + QStringList{"-i", In("cover.jpg")} + cover + tags + own +
                      QStringList{"-c:a", "flac", In("song.flac")}));
    // An Ogg Vorbis file keeps its comments, its cover among them, on its stream.
    QStringList streamTags;
    for (int i = 0; i < tags.size(); i += 2)
        streamTags << "-metadata:s:a" << tags[i + 1];
    const QByteArray comment = PictureComment(ReadAll(In("cover.jpg")), "image/jpeg", 80, 60);
    QVERIFY(!comment.isEmpty());
    QVERIFY(MakeMedia(tone + streamTags +
                      QStringList{"-metadata:s:a", "COPYRIGHT=" + kOwnCopyright, "-metadata:s:a",
                                  "COMMENT=" + kOwnComment, "-metadata:s:a",
                                  "METADATA_BLOCK_PICTURE=" + QString::fromLatin1(comment), "-c:a",
                                  "libvorbis", In("song.ogg")}));
    QCOMPARE(CoverBytes(In("song.ogg")), ReadAll(In("cover.jpg")));
    // A video whose moving picture -vn leaves out.
    QVERIFY(MakeMedia(tone + QStringList{"-f", "lavfi", "-i", "testsrc=s=160x120:r=25:d=2", "-c:v",
                                         "mpeg4", "-c:a", "aac", "-shortest", In("clip.mp4")}));
}

TRun TFfmodTagsTest::Convert(const QString& input, const TFormat& format, const char* prefix,
                             QString& out) const
{
    out = m_dir.filePath(QStringLiteral("%1_%2.%3").arg(prefix, input, format.Extension));
    return Run(kTool, ConvertArgs(In(input), QString::fromLatin1(format.Settings), out));
}

void TFfmodTagsTest::tagsAndCoverKept_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("cover");  // the input's cover picture
    QTest::addColumn<int>("format");
    QTest::addColumn<bool>("coverKept");
    for (const auto& [input, cover] : {std::pair{"song.mp3", "cover.png"},
                                       {"song.ogg", "cover.jpg"},
                                       {"song.flac", "cover.jpg"},
                                       {"gif.mp3", "cover.gif"}})
        for (int i = 0; i < int(std::size(kFormats)); ++i) {
            const TFormat& f = kFormats[i];
            const bool takesGif =
                std::strcmp(f.Extension, "m4a") && std::strcmp(f.Extension, "flac");
            const bool gif = std::strstr(cover, ".gif");
            QTest::addRow("%s to %s", input, f.Extension)
                << input << cover << i << (f.HoldsCover && (takesGif || !gif));
        }
}

void TFfmodTagsTest::tagsAndCoverKept()
{
    QFETCH(QString, input);
    QFETCH(QString, cover);
    QFETCH(int, format);
    QFETCH(bool, coverKept);
    const TFormat& f = kFormats[format];
    QString out;
    const TRun run = Convert(input, f, "kept", out);
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Output));
    QCOMPARE(DecodeErrors(out), QString());

    const QMap<QString, QString> tags = TagsOf(out);
    if (f.HoldsTags) {
        QCOMPARE(tags.value("title"), QStringLiteral("Song"));
        QCOMPARE(tags.value("artist"), QStringLiteral("Band"));
        QCOMPARE(tags.value("album"), QStringLiteral("Record"));
        QCOMPARE(tags.value("track"), QStringLiteral("3"));
        QCOMPARE(tags.value("copyright"), kOwnCopyright);
        QCOMPARE(tags.value("comment"), kOwnComment);
    }
    if (coverKept) {
        QCOMPARE(CoverCount(out), 1);
        QCOMPARE(CoverBytes(out), ReadAll(In(cover)));
        // A picture stream is shown as a stream of the output (Ogg keeps its
        // cover in a comment).
        if (!out.endsWith(".ogg") && !out.endsWith(".opus")) {
            QVERIFY2(run.Output.contains(QRegularExpression(
                         R"(Stream #0\.1: Video: (png|mjpeg|gif), \w+, \d+x\d+ \(attached pic\))")),
                     qPrintable(run.Output));
            QVERIFY(run.Output.contains(QRegularExpression(R"(Stream #0\.\d -> #0\.1)")));
        }
    } else {
        QCOMPARE(VideoStreamCount(out), 0);
    }
}

void TFfmodTagsTest::programTextsFillWhatIsMissing_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("copyright");
    QTest::addColumn<QString>("comment");
    for (int i = 0; i < int(std::size(kFormats)); ++i) {
        const TFormat& f = kFormats[i];
        if (!f.HoldsTags)
            continue;
        QTest::addRow("neither, to %s", f.Extension)
            << "bare.mp3" << i << kProgramCopyright << kProgramComment;
        QTest::addRow("own copyright only, to %s", f.Extension)
            << "copyrighted.mp3" << i << kOwnCopyright << kProgramComment;
    }
    QTest::addRow("a video's sound, to m4a")
        << "clip.mp4" << 4 << kProgramCopyright << kProgramComment;
}

void TFfmodTagsTest::programTextsFillWhatIsMissing()
{
    QFETCH(QString, input);
    QFETCH(int, format);
    QFETCH(QString, copyright);
    QFETCH(QString, comment);
    QString out;
    const TRun run = Convert(input, kFormats[format], "filled", out);
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Output));
    const QMap<QString, QString> tags = TagsOf(out);
    QCOMPARE(tags.value("copyright"), copyright);
    QCOMPARE(tags.value("comment"), comment);
    // A cover-less input gives no picture; a moving video stays out.
    QCOMPARE(VideoStreamCount(out), 0);
    QVERIFY(!run.Output.contains("attached pic"));
}

QTEST_GUILESS_MAIN(TFfmodTagsTest)
#include "tst_FfmodTags.moc"
