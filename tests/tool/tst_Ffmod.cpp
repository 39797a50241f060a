// The built conversion tool, run as the program runs it, on short media made
// by the ffmpeg program; results checked with ffprobe and a full decode.
#include <QtTest>

#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include "base/ToolConsole.h"
#include "convert/ToolRunnerUnit.h"
#include "tests/tool/ConsolePatterns.h"
#include "tests/tool/FfmodTestTools.h"

namespace {

// What the audio job reads from a probe run: duration and the audio fields,
// by the runner's own probe scan.
QStringList ProbeFields(const QString& output)
{
    const std::string text = output.toStdString();
    TScanState state;
    ProbeScan(text, state);
    const QString result = QString::fromStdString(state.ResultText);
    QStringList fields;
    for (const QString& f : result.split("|||"))
        fields << f.trimmed();
    if (!fields.isEmpty() && fields.last().isEmpty())
        fields.removeLast();
    return fields;
}

// The audio job's placeholders, filled from the probe fields.
QString FillPlaceholders(QString settings, const QStringList& fields, bool ogg)
{
    if (fields.size() >= 3)
        settings.replace("[KHZ]", QString(fields[2]).remove("Hz").trimmed());
    if (fields.size() >= 4)
        settings.replace("[CHANNEL]", fields[3].toLower().trimmed() == "stereo" ? "2" : "1");
    if (fields.size() == 5)
        settings.replace("[AKBIT]", QString(fields[4]).remove("kbit").trimmed());
    if (ogg)
        settings.replace("-ab", "-aq");
    return settings;
}

}  // namespace

class TFfmodTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void formats_data();
    void formats();
    void audioSettings_data();
    void audioSettings();
    void videoSettings_data();
    void videoSettings();
    void probe_data();
    void probe();
    void outputReadsWithRunnerPatterns();
    void unfilledPlaceholdersKeepInput();
    void damagedInputStillConverts();
    void badInputs_data();
    void badInputs();
    void fullDisk();
    void signalStopsAtOnce_data();
    void signalStopsAtOnce();
    void parentDeathStopsTool();
    void awkwardPaths_data();
    void awkwardPaths();
    void outputOverInput_data();
    void outputOverInput();
    void leftoversOfKilledRunsRemoved();

private:
    QString In(const QString& name) const { return m_dir.filePath(name); }
    QString FreshOutDir(const QString& name) const { return FreshDirIn(m_dir, name); }
    void CheckOutput(const QString& path, double seconds);

    QTemporaryDir m_dir;
    QString m_mounted;
};

void TFfmodTest::initTestCase()
{
    QVERIFY(QFileInfo(kTool).isExecutable());
    QVERIFY(m_dir.isValid());
    const QString sine = QStringLiteral("sine=f=440:d=2:r=44100");
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", sine, "-ac", "2", "-c:a", "libmp3lame", "-b:a", "128k",
                       In("talk.show.mp3")}));
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", sine, "-ac", "2", In("tone.flac")}));
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", "sine=d=1:r=48000", "-af",
                       "pan=5.1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0", In("surround.wav")}));
    const QStringList clip{"-f",   "lavfi",      "-i",       "testsrc=s=320x240:r=25:d=2",
                           "-f",   "lavfi",      "-i",       sine,
                           "-ac",  "2",          "-c:v",     "mpeg4",
                           "-c:a", "libmp3lame", "-shortest"};
    QVERIFY(MakeMedia(clip + QStringList{In("clip.avi")}));
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", "testsrc=s=320x240:r=25:d=1", "-f", "lavfi", "-i",
                       "sine=d=1:r=44100", "-ac", "2", "-c:v", "mpeg4", "-c:a", "libmp3lame",
                       "-shortest", In("short.avi")}));
    QVERIFY(MakeMedia(
        {"-f", "lavfi", "-i", "testsrc=s=320x240:r=25:d=1", "-c:v", "mpeg4", In("mute.avi")}));
    // Small to make, slow to convert when blown up to HD: time to stop it midway.
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", "testsrc=s=320x240:r=25:d=12", "-f", "lavfi", "-i",
                       "sine=d=12", "-c:v", "mpeg4", "-c:a", "libmp3lame", "-shortest",
                       In("long.avi")}));
}

void TFfmodTest::cleanupTestCase()
{
    if (!m_mounted.isEmpty())
        ::umount(m_mounted.toLocal8Bit().constData());
}

// A finished output: there, decodable without errors, of the input's length,
// and no temporary file left beside it.
void TFfmodTest::CheckOutput(const QString& path, double seconds)
{
    QVERIFY2(QFileInfo(path).size() > 0, qPrintable(path));
    const QStringList leftovers =
        QFileInfo(path).dir().entryList(QDir::Files | QDir::Hidden).filter(".part-");
    QVERIFY2(leftovers.isEmpty(), qPrintable(leftovers.join(' ')));
    const double duration = DurationOf(Probe(path));
    QVERIFY2(qAbs(duration - seconds) <= seconds * 0.1,
             qPrintable(QStringLiteral("duration %1 of %2").arg(duration).arg(seconds)));
    const QString errors = DecodeErrors(path);
    QVERIFY2(errors.isEmpty(), qPrintable(errors));
}

void TFfmodTest::formats_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("videoCodec");
    QTest::addColumn<QString>("audioCodec");

    // Audio page: frequency, bit rate, channels at "Same As Input", then the format.
    const QString same = QStringLiteral("-ar [KHZ] -ab [AKBIT]k -ac [CHANNEL] ");
    const QString mp3 = QStringLiteral("talk.show.mp3");
    QTest::newRow("MP3") << mp3 << same + "-vn -acodec libmp3lame"
                         << "mp3"
                         << "mp3"
                         << ""
                         << "mp3";
    QTest::newRow("WMA") << mp3 << same + "-vn -acodec wmav2"
                         << "wma"
                         << "asf"
                         << ""
                         << "wmav2";
    QTest::newRow("OGG") << mp3 << same + "-vn -acodec vorbis"
                         << "ogg"
                         << "ogg"
                         << ""
                         << "vorbis";
    QTest::newRow("WAV") << mp3 << same + "-vn"
                         << "wav"
                         << "wav"
                         << ""
                         << "pcm_s16le";
    QTest::newRow("M4A") << mp3 << same + "-vn -acodec libfaac"
                         << "m4a"
                         << "mp4"
                         << ""
                         << "aac";
    QTest::newRow("AC3") << mp3 << same + "-vn -acodec ac3"
                         << "ac3"
                         << "ac3"
                         << ""
                         << "ac3";
    // The audio page takes video files too.
    QTest::newRow("MP3 from a video") << "clip.avi" << same + "-vn -acodec libmp3lame"
                                      << "mp3"
                                      << "mp3"
                                      << ""
                                      << "mp3";

    // Video page: the four settings lists at "Same As Input", then the format.
    const QString sameq = QStringLiteral("-sameq -sameq -sameq -sameq ");
    const QString clip = QStringLiteral("clip.avi");
    QTest::newRow("XVID AVI") << clip
                              << sameq + "-r 29.97 -vcodec libxvid -vtag XVID -acodec libmp3lame"
                              << "avi"
                              << "avi"
                              << "mpeg4"
                              << "mp3";
    QTest::newRow("NTSC DVD") << clip << sameq + "-vcodec mpeg2video -r 29.97 -acodec mp2"
                              << "mpg"
                              << "mpeg"
                              << "mpeg2video"
                              << "mp2";
    QTest::newRow("PAL DVD") << clip << sameq + "-vcodec mpeg2video -r 25.00 -acodec mp2"
                             << "mpg"
                             << "mpeg"
                             << "mpeg2video"
                             << "mp2";
    QTest::newRow("MPEG-1") << clip << sameq + "-vcodec mpegvideo -r 29.97 -acodec mp2"
                            << "mpeg"
                            << "mpeg"
                            << "mpeg1video"
                            << "mp2";
    QTest::newRow("MP4") << clip << sameq + "-r 29.97 -vcodec libx264 -acodec libfaac"
                         << "mp4"
                         << "mp4"
                         << "h264"
                         << "aac";
    QTest::newRow("M4V") << clip << sameq + "-r 29.97 -vcodec libx264 -acodec libfaac"
                         << "m4v"
                         << "mp4"
                         << "h264"
                         << "aac";
    QTest::newRow("PSP MP4") << clip << sameq + "-r 29.97 -vcodec libxvid -acodec libfaac"
                             << "mp4"
                             << "mp4"
                             << "mpeg4"
                             << "aac";
    QTest::newRow("MOV") << clip << sameq + "-acodec libfaac -r 25"
                         << "mov"
                         << "mov"
                         << "h264"
                         << "aac";
    QTest::newRow("3GP") << clip
                         << sameq +
                                "-vcodec h263 -r 25 -acodec libamr_nb -ac 1 -ab 10.2k -ar "
                                "8000 -s 352x288"
                         << "3gp"
                         << "3gp"
                         << "h263"
                         << "aac";
    QTest::newRow("3G2") << clip << sameq + "-acodec libfaac -s qcif -r 14.985"
                         << "3g2"
                         << "3g2"
                         << "h263"
                         << "aac";
    QTest::newRow("WMV") << clip << sameq + "-vcodec wmv2  -acodec wmav2"
                         << "wmv"
                         << "asf"
                         << "wmv2"
                         << "wmav2";
}

void TFfmodTest::formats()
{
    QFETCH(QString, input);
    QFETCH(QString, settings);
    QFETCH(QString, extension);
    QFETCH(QString, container);
    QFETCH(QString, videoCodec);
    QFETCH(QString, audioCodec);

    const QString inPath = In(input);
    if (settings.contains('[')) {
        const TRun probe = Run(kTool, {"-vn", "-i", inPath});
        QCOMPARE(probe.ExitCode, 1);
        settings = FillPlaceholders(settings, ProbeFields(probe.Output), extension == "ogg");
        QVERIFY2(!settings.contains('['), qPrintable(settings));
    }
    const QString out =
        FreshOutDir("formats") + "/" + QString(input).replace('.', '_') + "." + extension;
    const TRun run = Run(kTool, ConvertArgs(inPath, settings, out));
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Output));
    CheckOutput(out, 2.0);

    const QJsonObject probe = Probe(out);
    const QString formatName = probe.value("format").toObject().value("format_name").toString();
    QVERIFY2(formatName.contains(container), qPrintable(formatName));
    QCOMPARE(StreamOf(probe, "video").value("codec_name").toString(), videoCodec);
    QCOMPARE(StreamOf(probe, "audio").value("codec_name").toString(), audioCodec);

    const QJsonObject tags = probe.value("format").toObject().value("tags").toObject();
    if (extension == "avi")
        QCOMPARE(StreamOf(probe, "video").value("codec_tag_string").toString(), "XVID");
    const QHash<QString, QString> brands{
        {"m4a", "M4A"}, {"mov", "qt"}, {"3gp", "3gp"}, {"3g2", "3g2"}, {"mp4", "isom"}};
    if (brands.contains(extension))
        QVERIFY2(tags.value("major_brand").toString().startsWith(brands.value(extension)),
                 qPrintable(tags.value("major_brand").toString()));
    if (extension == "3gp") {
        QCOMPARE(StreamOf(probe, "video").value("width").toInt(), 352);
        QCOMPARE(StreamOf(probe, "audio").value("sample_rate").toString(), "8000");
        QCOMPARE(StreamOf(probe, "audio").value("channels").toInt(), 1);
        QVERIFY(run.Output.contains("AAC"));
    }
    if (extension == "3g2")
        QCOMPARE(StreamOf(probe, "video").value("width").toInt(), 176);
    if (settings.contains("-r 29.97"))
        QCOMPARE(StreamOf(probe, "video").value("r_frame_rate").toString(), "30000/1001");
    if (QStringList{"mp3", "wma", "wmv", "mp4", "m4v", "mov", "m4a", "avi"}.contains(extension)) {
        QCOMPARE(tags.value("copyright").toString(), "Brimlow LLC");
        QCOMPARE(tags.value("comment").toString(), "Quorvex - Media Converter");
    }
}

void TFfmodTest::audioSettings_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("minKbit");
    QTest::addColumn<int>("maxKbit");

    // Every frequency, bit rate and channel item at least once; values the
    // encoder lacks are brought to the nearest it has.
    QTest::newRow("mp3 8000 32k mono") << "-ar 8000 -ab 32k -ac 1 -vn -acodec libmp3lame"
                                       << "mp3" << 8000 << 1 << 28 << 36;
    QTest::newRow("mp3 12000 64k stereo") << "-ar 12000 -ab 64k -ac 2 -vn -acodec libmp3lame"
                                          << "mp3" << 12000 << 2 << 58 << 70;
    QTest::newRow("mp3 24000 192k mono, lame tops at 160k")
        << "-ar 24000 -ab 192k -ac 1 -vn -acodec libmp3lame"
        << "mp3" << 24000 << 1 << 150 << 170;
    QTest::newRow("mp3 48000 160k stereo") << "-ar 48000 -ab 160k -ac 2 -vn -acodec libmp3lame"
                                           << "mp3" << 48000 << 2 << 150 << 170;
    QTest::newRow("wma 16000 48k mono") << "-ar 16000 -ab 48k -ac 1 -vn -acodec wmav2"
                                        << "wma" << 16000 << 1 << 0 << 0;
    QTest::newRow("wma 44100 112k stereo") << "-ar 44100 -ab 112k -ac 2 -vn -acodec wmav2"
                                           << "wma" << 44100 << 2 << 0 << 0;
    QTest::newRow("ogg 24000 96k stereo") << "-ar 24000 -aq 96k -ac 2 -vn -acodec vorbis"
                                          << "ogg" << 24000 << 2 << 0 << 0;
    QTest::newRow("ogg 8000 320k stereo, beyond vorbis")
        << "-ar 8000 -aq 320k -ac 2 -vn -acodec vorbis"
        << "ogg" << 8000 << 2 << 0 << 0;
    QTest::newRow("ogg quality 6") << "-ar 44100 -aq 6 -ac 2 -vn -acodec vorbis"
                                   << "ogg" << 44100 << 2 << 0 << 0;
    QTest::newRow("wav 32000 128k mono") << "-ar 32000 -ab 128k -ac 1 -vn"
                                         << "wav" << 32000 << 1 << 0 << 0;
    QTest::newRow("m4a 44100 320k stereo") << "-ar 44100 -ab 320k -ac 2 -vn -acodec libfaac"
                                           << "m4a" << 44100 << 2 << 0 << 0;
    QTest::newRow("m4a 8000 256k mono, aac's ceiling")
        << "-ar 8000 -ab 256k -ac 1 -vn -acodec libfaac"
        << "m4a" << 8000 << 1 << 0 << 0;
    QTest::newRow("ac3 8000 224k stereo, ac3 has no 8000")
        << "-ar 8000 -ab 224k -ac 2 -vn -acodec ac3"
        << "ac3" << 32000 << 2 << 220 << 228;
    QTest::newRow("ac3 48000 144k mono") << "-ar 48000 -ab 144k -ac 1 -vn -acodec ac3"
                                         << "ac3" << 48000 << 1 << 155 << 165;
    QTest::newRow("wma from 5.1") << "-ar 48000 -ab 128k -ac 6 -vn -acodec wmav2"
                                  << "wma" << 48000 << 2 << 0 << 0;
}

void TFfmodTest::audioSettings()
{
    QFETCH(QString, settings);
    QFETCH(QString, extension);
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(int, minKbit);
    QFETCH(int, maxKbit);

    const QString input = In(settings.contains("-ac 6") ? "surround.wav" : "talk.show.mp3");
    const QString out = FreshOutDir("audio") + "/out." + extension;
    const TRun run = Run(kTool, ConvertArgs(input, settings, out));
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Output));
    CheckOutput(out, settings.contains("-ac 6") ? 1.0 : 2.0);
    const QJsonObject audio = StreamOf(Probe(out), "audio");
    QCOMPARE(audio.value("sample_rate").toString().toInt(), rate);
    QCOMPARE(audio.value("channels").toInt(), channels);
    if (maxKbit) {
        const int kbit = audio.value("bit_rate").toString().toInt() / 1000;
        QVERIFY2(kbit >= minKbit && kbit <= maxKbit, qPrintable(QString::number(kbit)));
    }
}

void TFfmodTest::videoSettings_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("rate");

    // Audio bit rate, video bit rate, frame size, channels, then the format:
    // every item of the four lists at least once.
    const QString avi = QStringLiteral("-r 29.97 -vcodec libxvid -vtag XVID -acodec libmp3lame");
    const QString ntsc = QStringLiteral("-vcodec mpeg2video -r 29.97 -acodec mp2");
    const QString pal = QStringLiteral("-vcodec mpeg2video -r 25.00 -acodec mp2");
    const QString mpeg1 = QStringLiteral("-vcodec mpegvideo -r 29.97 -acodec mp2");
    const QString mp4 = QStringLiteral("-r 29.97 -vcodec libx264 -acodec libfaac");
    const QString psp = QStringLiteral("-r 29.97 -vcodec libxvid -acodec libfaac");
    const QString wmv = QStringLiteral("-vcodec wmv2  -acodec wmav2");
    QTest::newRow("avi 128x96") << "-ab 320k -b 3072k -s 128x96 -ac 2 " + avi << "avi"
                                << QSize(128, 96) << 2 << 44100;
    QTest::newRow("ntsc 176x144") << "-ab 256k -b 2048k -s 176x144 -ac 1 " + ntsc << "mpg"
                                  << QSize(176, 144) << 1 << 48000;
    QTest::newRow("pal 208x160") << "-ab 224k -b 1024k -s 208x160 -ac 2 " + pal << "mpg"
                                 << QSize(208, 160) << 2 << 48000;
    QTest::newRow("mpeg1 320x240")
        << "-ab 192k -b 768k -s 320x240 -ac 1 " + mpeg1 << "mpeg" << QSize(320, 240) << 1 << 44100;
    QTest::newRow("mp4 352x288") << "-ab 160k -b 512k -s 352x288 -ac 2 " + mp4 << "mp4"
                                 << QSize(352, 288) << 2 << 44100;
    QTest::newRow("m4v 352x240") << "-ab 144k -b 256k -s 352x240 -ac 1 " + mp4 << "m4v"
                                 << QSize(352, 240) << 1 << 44100;
    QTest::newRow("psp 640x480") << "-ab 128k -b 192k -s 640x480 -ac 2 " + psp << "mp4"
                                 << QSize(640, 480) << 2 << 44100;
    QTest::newRow("mov 704x576") << "-ab 112k -b 128k -s 704x576 -ac 1 -acodec libfaac -r 25"
                                 << "mov" << QSize(704, 576) << 1 << 44100;
    QTest::newRow("3gp 720x480, its own size last")
        << "-ab 96k -b 64k -s 720x480 -ac 2 -vcodec h263 -r 25 -acodec libamr_nb -ac 1 -ab "
           "10.2k -ar 8000 -s 352x288"
        << "3gp" << QSize(352, 288) << 1 << 8000;
    QTest::newRow("3g2 720x576") << "-ab 64k -b 32k -s 720x576 -ac 1 -acodec libfaac -s qcif -r "
                                    "14.985"
                                 << "3g2" << QSize(176, 144) << 1 << 44100;
    QTest::newRow("wmv 800x600") << "-ab 48k -b 16k -s 800x600 -ac 2 " + wmv << "wmv"
                                 << QSize(800, 600) << 2 << 44100;
    QTest::newRow("avi 852x480") << "-ab 32k -sameq -s 852x480 -ac 1 " + avi << "avi"
                                 << QSize(852, 480) << 1 << 44100;
    QTest::newRow("ntsc 720x480") << "-sameq -b 3072k -s 720x480 -sameq " + ntsc << "mpg"
                                  << QSize(720, 480) << 2 << 48000;
    QTest::newRow("pal 720x576") << "-sameq -sameq -s 720x576 -ac 2 " + pal << "mpg"
                                 << QSize(720, 576) << 2 << 48000;
    QTest::newRow("wmv 1024x768") << "-ab 128k -b 1024k -s 1024x768 -sameq " + wmv << "wmv"
                                  << QSize(1024, 768) << 2 << 44100;
    QTest::newRow("mp4 1280x720") << "-sameq -sameq -s 1280x720 -sameq " + mp4 << "mp4"
                                  << QSize(1280, 720) << 2 << 44100;
    QTest::newRow("mpeg1 1920x1080") << "-ab 128k -b 2048k -s 1920x1080 -ac 2 " + mpeg1 << "mpeg"
                                     << QSize(1920, 1080) << 2 << 44100;
    QTest::newRow("3gp from vga, h263 sizes only")
        << "-sameq -sameq -s 640x480 -sameq -vcodec h263 -r 25 -acodec libfaac"
        << "3gp" << QSize(704, 576) << 2 << 44100;
}

void TFfmodTest::videoSettings()
{
    QFETCH(QString, settings);
    QFETCH(QString, extension);
    QFETCH(QSize, size);
    QFETCH(int, channels);
    QFETCH(int, rate);

    // ASF adds a tenth of a second of preroll: its rows take the longer clip.
    const bool asf = extension == "wmv";
    const QString out = FreshOutDir("video") + "/out." + extension;
    const TRun run = Run(kTool, ConvertArgs(In(asf ? "clip.avi" : "short.avi"), settings, out));
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Output));
    CheckOutput(out, asf ? 2.0 : 1.0);
    const QJsonObject probe = Probe(out);
    const QJsonObject video = StreamOf(probe, "video");
    QCOMPARE(QSize(video.value("width").toInt(), video.value("height").toInt()), size);
    const QJsonObject audio = StreamOf(probe, "audio");
    QCOMPARE(audio.value("channels").toInt(), channels);
    QCOMPARE(audio.value("sample_rate").toString().toInt(), rate);
}

void TFfmodTest::probe_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("mp3 with bit rate")
        << "talk.show.mp3" << QStringList{"2", "mp3", "44100 Hz", "stereo", "128"};
    QTest::newRow("flac without bit rate")
        << "tone.flac" << QStringList{"2", "flac", "44100 Hz", "stereo"};
    // The AVI header states the bit rate measured over the stream.
    QTest::newRow("video with audio")
        << "clip.avi" << QStringList{"2", "mp3", "44100 Hz", "stereo", "129"};
    QTest::newRow("surround") << "surround.wav"
                              << QStringList{"1", "pcm_s16le", "48000 Hz", "5:1", "4608"};
    QTest::newRow("no audio") << "mute.avi" << QStringList{"1"};
}

void TFfmodTest::probe()
{
    QFETCH(QString, input);
    QFETCH(QStringList, fields);
    const TRun run = Run(kTool, {"-vn", "-i", In(input), ""});
    QCOMPARE(run.ExitCode, 1);
    QVERIFY(run.Output.endsWith("Must supply at least one output file\r\n"));
    QCOMPARE(ProbeFields(run.Output), fields);
}

void TFfmodTest::outputReadsWithRunnerPatterns()
{
    const QString out = FreshOutDir("patterns") + "/clip_avi.mp4";
    const TRun run = Run(kTool, ConvertArgs(In("clip.avi"),
                                            "-sameq -sameq -sameq -sameq -r "
                                            "29.97 -vcodec libx264 -acodec libfaac",
                                            out));
    QCOMPARE(run.ExitCode, 0);
    const std::string text = run.Output.toStdString();

    // The duration sits within the first read of 1024 bytes.
    const QStringList hms = ConsoleGroups(DurationPattern(), text.substr(0, 1024));
    QCOMPARE(hms.size(), 3);
    QCOMPARE(hms[2].toInt(), 2);

    // Every status line carries time= in seconds; the last one is complete.
    int statusLines = 0;
    for (auto it = ConsoleMatcher(TimePattern()).globalMatch(run.Output); it.hasNext(); it.next())
        ++statusLines;
    QVERIFY(statusLines >= 1);
    QVERIFY(run.Output.contains(QRegularExpression(
        R"(frame=\s*\d+ fps=\s*\d+ q=-?[\d.]+ Lsize=\s*\d+kB time=2\.\d bitrate=\s*[\d.]+kbits/s    \r\r\n)")));
    QVERIFY(run.Output.contains(QRegularExpression(
        R"(video:\d+kB audio:\d+kB global headers:\d+kB muxing overhead [\d.-]+%\r\n$)")));
    QVERIFY(run.Output.contains("Stream mapping:\r\n  Stream #0.0 -> #0.0\r\n"));
    QVERIFY(run.Output.contains("Press [q] to stop encoding\r\n"));
    // Line ends are CR LF throughout.
    QVERIFY(!run.Output.contains(QRegularExpression("[^\r]\n")));
}

void TFfmodTest::unfilledPlaceholdersKeepInput()
{
    const QString out = FreshOutDir("placeholders") + "/tone_flac.mp3";
    const TRun run = Run(kTool, ConvertArgs(In("tone.flac"),
                                            "-ar [KHZ] -ab [AKBIT]k -ac [CHANNEL] -vn -acodec "
                                            "libmp3lame",
                                            out));
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Output));
    QCOMPARE(run.Output.count("is not a value"), 3);
    CheckOutput(out, 2.0);
    const QJsonObject audio = StreamOf(Probe(out), "audio");
    QCOMPARE(audio.value("sample_rate").toString(), "44100");
    QCOMPARE(audio.value("channels").toInt(), 2);
}

void TFfmodTest::damagedInputStillConverts()
{
    // A few scribbled-over frames: the decoder complains and drops them (as
    // players do), the rest converts, and the complaints never push the
    // duration line out of the first read. (Losing a tenth or more of the
    // input is a failure: see damagedInputsFail.)
    QFile source(In("talk.show.mp3"));
    QVERIFY(source.open(QIODevice::ReadOnly));
    QByteArray bytes = source.readAll();
    for (int i = 2000; i < 4000 && i < bytes.size(); i += 7)
        bytes[i] = char((i * 131) & 0xff);
    const QString damaged = In("damaged.mp3");
    QFile target(damaged);
    QVERIFY(target.open(QIODevice::WriteOnly));
    target.write(bytes);
    target.close();

    const QString out = FreshOutDir("damaged") + "/damaged_mp3.wav";
    const TRun run = Run(kTool, ConvertArgs(damaged, "-vn", out));
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Output));
    QVERIFY2(run.Output.contains("[mp3"), qPrintable(run.Output));
    QVERIFY2(run.Output.startsWith("Input #0, mp3, from '" + damaged + "':\r\n  Duration: "),
             qPrintable(run.Output.left(300)));
    const QString errors = DecodeErrors(out);
    QVERIFY2(errors.isEmpty(), qPrintable(errors));
    QVERIFY(DurationOf(Probe(out)) > 1.0);
}

void TFfmodTest::badInputs_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("reason");

    // "@" stands for the output folder, "#" for the inputs' folder.
    const QString mp3 = QStringLiteral("#/talk.show.mp3");
    QTest::newRow("missing input") << "#/nothing.mp3"
                                   << "-vn"
                                   << "@/keep.mp3"
                                   << "nothing.mp3': No such file";
    QTest::newRow("folder as input") << "#"
                                     << "-vn"
                                     << "@/keep.mp3"
                                     << "is a folder";
    QTest::newRow("not media") << "#/notes.txt"
                               << "-vn"
                               << "@/keep.mp3"
                               << "notes.txt'";
    QTest::newRow("empty file") << "#/empty.mp3"
                                << "-vn"
                                << "@/keep.mp3"
                                << "empty.mp3'";
    QTest::newRow("unknown option") << mp3 << "-vn -foo 3"
                                    << "@/keep.mp3"
                                    << "'-foo'";
    QTest::newRow("unknown codec") << mp3 << "-vn -acodec nosuchcodec"
                                   << "@/keep.mp3"
                                   << "'nosuchcodec'";
    QTest::newRow("missing folder") << mp3 << "-vn"
                                    << "@/missing/out.mp3"
                                    << "missing";
    QTest::newRow("folder is a file") << mp3 << "-vn"
                                      << "#/talk.show.mp3/out.mp3"
                                      << "not a folder";
    QTest::newRow("folder not writable") << mp3 << "-vn"
                                         << "/sys/out.mp3"
                                         << "/sys/out.mp3";
    QTest::newRow("no audio stream") << "#/mute.avi"
                                     << "-vn"
                                     << "@/keep.mp3"
                                     << "no audio";
    QTest::newRow("codec the file cannot hold") << mp3 << "-vn -acodec wmav2"
                                                << "@/keep.mp3"
                                                << "keep.mp3";
    QTest::newRow("unknown extension") << mp3 << "-vn"
                                       << "@/keep.xyz"
                                       << "keep.xyz";
    // Without -y an existing file is never replaced (and nothing asks on stdin).
    QTest::newRow("exists, no -y") << mp3 << "-vn"
                                   << "@/keep.mp3"
                                   << "already exists";
}

void TFfmodTest::badInputs()
{
    QFETCH(QString, input);
    QFETCH(QString, settings);
    QFETCH(QString, output);
    QFETCH(QString, reason);

    const QString outDir = FreshOutDir("bad");
    {
        QFile notes(In("notes.txt"));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("not a media file\n");
        QFile empty(In("empty.mp3"));
        QVERIFY(empty.open(QIODevice::WriteOnly));
    }
    QFile precious(outDir + "/keep.mp3");
    QVERIFY(precious.open(QIODevice::WriteOnly));
    precious.write("precious");
    precious.close();

    input.replace('#', m_dir.path());
    output.replace('@', outDir).replace('#', m_dir.path());
    QStringList args = ConvertArgs(input, settings, output);
    if (QByteArray(QTest::currentDataTag()).contains("no -y"))
        args.removeAll("-y");
    const TRun run = Run(kTool, args);
    QCOMPARE(run.ExitCode, 1);
    QVERIFY2(run.Output.contains(reason), qPrintable(run.Output));
    QCOMPARE(QDir(outDir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"keep.mp3"});
    QVERIFY(precious.open(QIODevice::ReadOnly));
    QCOMPARE(precious.readAll(), QByteArray("precious"));
}

void TFfmodTest::fullDisk()
{
    const QString dir = FreshOutDir("full");
    if (::mount("tmpfs", dir.toLocal8Bit().constData(), "tmpfs", 0, "size=64k") != 0)
        QSKIP("a small file system cannot be mounted here");
    m_mounted = dir;
    const TRun run = Run(kTool, ConvertArgs(In("clip.avi"), "-vn", dir + "/clip_avi.wav"));
    ::umount(dir.toLocal8Bit().constData());
    m_mounted.clear();
    QCOMPARE(run.ExitCode, 1);
    QVERIFY2(run.Output.contains("No space left on device"), qPrintable(run.Output));
    QVERIFY2(run.Output.contains("clip_avi.wav"), qPrintable(run.Output));
}

void TFfmodTest::signalStopsAtOnce_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TFfmodTest::signalStopsAtOnce()
{
    QFETCH(int, signal);
    const QString outDir = FreshOutDir("signal");
    const QString out = outDir + "/long_avi.mp4";
    QFile existing(out);
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("earlier conversion");
    existing.close();

    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(kTool, ConvertArgs(In("long.avi"),
                                     "-sameq -sameq -s 1280x720 -sameq -r 29.97 -vcodec libx264 "
                                     "-acodec libfaac",
                                     out));
    QVERIFY(process.waitForStarted());
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += process.readAll()).contains("time="), 30000);
    QVERIFY(process.state() == QProcess::Running);
    ::kill(static_cast<pid_t>(process.processId()), signal);
    QTRY_VERIFY_WITH_TIMEOUT(process.state() == QProcess::NotRunning, 1000);
    output += process.readAll();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 255);
    QVERIFY2(output.contains("Received signal " + QByteArray::number(signal) + ": terminating."),
             output.right(200).constData());
    QCOMPARE(QDir(outDir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"long_avi.mp4"});
    QVERIFY(existing.open(QIODevice::ReadOnly));
    QCOMPARE(existing.readAll(), QByteArray("earlier conversion"));
}

void TFfmodTest::parentDeathStopsTool()
{
    const QString outDir = FreshOutDir("orphan");
    // A shell starts the tool and waits; the shell is then killed outright.
    QProcess shell;
    shell.setStandardInputFile(QProcess::nullDevice());
    shell.start("sh",
                {"-c",
                 "\"$0\" -i \"$1\" -s 1280x720 -vcodec libx264 -y \"$2\" 2>/dev/null & echo $!; "
                 "wait",
                 kTool, In("long.avi"), outDir + "/long_avi.mp4"});
    QVERIFY(shell.waitForStarted());
    QByteArray pidText;
    QTRY_VERIFY_WITH_TIMEOUT((pidText += shell.readAllStandardOutput()).contains('\n'), 5000);
    const QString procDir = "/proc/" + QString::fromLatin1(pidText.trimmed());
    // Let it start writing before its parent goes.
    QTRY_VERIFY_WITH_TIMEOUT(
        !QDir(outDir).entryList(QDir::Files | QDir::Hidden).filter(".part-").isEmpty(), 10000);
    shell.kill();
    QVERIFY(shell.waitForFinished());
    auto gone = [&procDir] {
        QFile stat(procDir + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            return true;
        const QList<QByteArray> fields = stat.readAll().split(' ');
        return fields.size() > 2 && fields[2] == "Z";
    };
    QTRY_VERIFY_WITH_TIMEOUT(gone(), 2000);
    QCOMPARE(QDir(outDir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{});
}

void TFfmodTest::awkwardPaths_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("blanks") << "my talk  show.mp3";
    QTest::newRow("quotes") << "it's \"live\".mp3";
    QTest::newRow("non-ASCII") << "Grüße aus 東京.mp3";
    QTest::newRow("leading dash") << "-vn.mp3";
    QTest::newRow("colon and scheme") << "http:talk.mp3";
    QTest::newRow("url escapes") << "100%20 #1?.mp3";
    QTest::newRow("no dot") << "voice";
}

void TFfmodTest::awkwardPaths()
{
    QFETCH(QString, name);
    const QString inDir = FreshOutDir("in ü -dir");
    const QString outDir = FreshOutDir("out 'dir' é");
    const QString input = inDir + "/" + name;
    QVERIFY(QFile::copy(In("talk.show.mp3"), input));

    const TRun probe = Run(kTool, {"-vn", "-i", input});
    QCOMPARE(probe.ExitCode, 1);
    QVERIFY(probe.Output.contains("from '" + input + "':"));
    const QString settings = FillPlaceholders(
        "-ar [KHZ] -ab [AKBIT]k -ac [CHANNEL] -vn -acodec "
        "libmp3lame",
        ProbeFields(probe.Output), false);
    const QString out = outDir + "/" + QString(name).replace('.', '_') + ".mp3";
    const TRun run = Run(kTool, ConvertArgs(input, settings, out));
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Output));
    QVERIFY(run.Output.contains("to '" + out + "':"));
    CheckOutput(out, 2.0);
}

void TFfmodTest::outputOverInput_data()
{
    QTest::addColumn<QString>("spelling");
    // "@" stands for the folder of the input tone.wav.
    QTest::newRow("same path") << "@/tone.wav";
    QTest::newRow("dot and double slash") << "@/./sub/..//tone.wav";
    QTest::newRow("link to the input") << "@/link.wav";
    QTest::newRow("hard link") << "@/hard.wav";
}

void TFfmodTest::outputOverInput()
{
    // The output that is the input itself is refused before anything is
    // written, however it is spelled; the input stays as it was.
    QFETCH(QString, spelling);
    const QString dir = FreshOutDir("inplace");
    const QString path = dir + "/tone.wav";
    QVERIFY(QFile::copy(In("surround.wav"), path));
    QVERIFY(QDir(dir).mkdir("sub"));
    QVERIFY(QFile::link(path, dir + "/link.wav"));
    QCOMPARE(::link(path.toLocal8Bit().constData(), (dir + "/hard.wav").toLocal8Bit().constData()),
             0);
    const QByteArray before = ReadAll(path);
    const QString output = QString(spelling).replace('@', dir);

    const TRun run = Run(kTool, ConvertArgs(path, "-ac 2 -vn", output));
    QCOMPARE(run.ExitCode, 1);
    QVERIFY2(run.Output.contains("Cannot write '" + output + "': it is the input file"),
             qPrintable(run.Output));
    QCOMPARE(ReadAll(path), before);
    QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             (QStringList{"hard.wav", "link.wav", "sub", "tone.wav"}));
}

void TFfmodTest::leftoversOfKilledRunsRemoved()
{
    // A run killed outright leaves its hidden part file; the next conversion to
    // the same name clears it, but not the part file of a run still going.
    const QString dir = FreshOutDir("leftovers");
    const QString dead = dir + "/.talk_show_mp3.wav.part-" + QString::number(99999999) + "-a1b2c3";
    const QString alive = dir + "/.talk_show_mp3.wav.part-" +
                          QString::number(QCoreApplication::applicationPid()) + "-d4e5f6";
    const QString other = dir + "/.other.wav.part-" + QString::number(99999999) + "-a1b2c3";
    for (const QString& path : {dead, alive, other}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const TRun run =
        Run(kTool, ConvertArgs(In("talk.show.mp3"), "-vn", dir + "/talk_show_mp3.wav"));
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Output));
    QVERIFY(!QFile::exists(dead));
    QVERIFY(QFile::exists(alive));
    QVERIFY(QFile::exists(other));
}

QTEST_GUILESS_MAIN(TFfmodTest)
#include "tst_Ffmod.moc"
