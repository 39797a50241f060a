// The tool's command-line reading, encoder limits and console lines, without
// running a conversion.
#include <QtTest>

#include "base/ToolConsole.h"
#include "tests/tool/ConsolePatterns.h"
#include "tool/Console.h"
#include "tool/EncoderLimits.h"
#include "tool/OptionBounds.h"
#include "tool/ToolOptions.h"

namespace {

std::vector<std::string> Split(const QString& line)
{
    std::vector<std::string> args;
    for (const QString& part : line.split(QLatin1Char(' ')))
        args.push_back(part.toStdString());
    return args;
}

}  // namespace

class TToolOptionsTest : public QObject
{
    Q_OBJECT

private slots:
    void numbers_data();
    void numbers();
    void frameRates_data();
    void frameRates();
    void commandLines_data();
    void commandLines();
    void rejected_data();
    void rejected();
    void lastOneWins();
    void threads_data();
    void threads();
    void bitRateLimits_data();
    void bitRateLimits();
    void frameSizeLimits_data();
    void frameSizeLimits();
    void sampleRateBounds_data();
    void sampleRateBounds();
    void frameRateBounds_data();
    void frameRateBounds();
    void tagTextBounds_data();
    void tagTextBounds();
    void durationLine_data();
    void durationLine();
    void audioLineMatchesProbePatterns_data();
    void audioLineMatchesProbePatterns();
    void statusLineMatchesTimePattern_data();
    void statusLineMatchesTimePattern();
};

void TToolOptionsTest::numbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("value");
    QTest::newRow("kilo") << "128k" << true << 128000.0;
    QTest::newRow("decimal kilo") << "10.2k" << true << 10200.0;
    QTest::newRow("plain") << "64000" << true << 64000.0;
    QTest::newRow("mega") << "1.5M" << true << 1500000.0;
    QTest::newRow("placeholder") << "[AKBIT]k" << false << 0.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("only suffix") << "k" << false << 0.0;
    QTest::newRow("negative") << "-128k" << false << 0.0;
    QTest::newRow("zero") << "0k" << false << 0.0;
    QTest::newRow("two points") << "1.2.3k" << false << 0.0;
    QTest::newRow("trailing blank") << "128k " << false << 0.0;
    QTest::newRow("exponent") << "1e5" << false << 0.0;
}

void TToolOptionsTest::numbers()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(double, value);
    double parsed = 0;
    QCOMPARE(ParseBitRateText(text.toStdString(), parsed), valid);
    if (valid)
        QCOMPARE(parsed, value);
}

void TToolOptionsTest::frameRates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("num");
    QTest::addColumn<int>("den");
    QTest::newRow("ntsc decimal") << "29.97" << 30000 << 1001;
    QTest::newRow("half ntsc") << "14.985" << 15000 << 1001;
    QTest::newRow("film ntsc") << "23.976" << 24000 << 1001;
    QTest::newRow("pal written out") << "25.00" << 25 << 1;
    QTest::newRow("integer") << "25" << 25 << 1;
    QTest::newRow("fraction reduced") << "60000/2002" << 30000 << 1001;
    QTest::newRow("name ntsc") << "ntsc" << 30000 << 1001;
    QTest::newRow("name pal") << "pal" << 25 << 1;
    QTest::newRow("name film") << "film" << 24 << 1;
    QTest::newRow("plain decimal") << "12.5" << 25 << 2;
    QTest::newRow("not a rate") << "fast" << 0 << 0;
    QTest::newRow("zero") << "0" << 0 << 0;
    QTest::newRow("zero denominator") << "25/0" << 0 << 0;
    // Read as written (the bounds come later); the check of the largest
    // rate must not overflow on the widest denominator.
    QTest::newRow("widest denominator") << "1/2147483647" << 1 << 2147483647;
    QTest::newRow("widest numerator") << "2147483647/1" << 0 << 0;
    QTest::newRow("beyond int") << "1/2147483648" << 0 << 0;
}

void TToolOptionsTest::frameRates()
{
    QFETCH(QString, text);
    QFETCH(int, num);
    QFETCH(int, den);
    TFrameRate rate;
    const bool ok = ParseFrameRateText(text.toStdString(), rate);
    QCOMPARE(ok, num != 0);
    if (ok) {
        QCOMPARE(rate.Num, num);
        QCOMPARE(rate.Den, den);
    }
}

void TToolOptionsTest::commandLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<qint64>("audioBitRate");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("sameq");
    QTest::addColumn<int>("warnings");

    // Assembled lines hold doubled blanks; these read as nothing.
    QTest::newRow("audio, probe filled")
        << " -i /in/a.mp3 -ar 44100 -ab 128k -ac 2 -vn -acodec libmp3lame -y /out/a.mp3" << 44100
        << 2 << qint64(128000) << 0 << 0 << 0;
    QTest::newRow("audio, probe found nothing")
        << " -i /in/a.mp3 -ar [KHZ] -ab [AKBIT]k -ac [CHANNEL] -vn -acodec libmp3lame -y /out/a.mp3"
        << 0 << 0 << qint64(0) << 0 << 0 << 3;
    QTest::newRow("video, all same as input")
        << " -i /in/c.avi -sameq -sameq -sameq -sameq -r 29.97 -vcodec libx264 -y /out/c.mp4" << 0
        << 0 << qint64(0) << 0 << 4 << 0;
    QTest::newRow("video, 3gp after chosen size")
        << " -i /in/c.avi -ab 128k -b 512k -s 640x480 -ac 2 -vcodec h263 -r 25 -acodec libamr_nb "
           "-ac 1 -ab 10.2k -ar 8000 -s 352x288 -y /out/c.3gp"
        << 8000 << 1 << qint64(10200) << 352 << 0 << 0;
    QTest::newRow("size name") << "-i /in/c.avi -acodec libfaac -s qcif -r 14.985 -y /out/c.3g2"
                               << 0 << 0 << qint64(0) << 176 << 0 << 0;
}

void TToolOptionsTest::commandLines()
{
    QFETCH(QString, line);
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(qint64, audioBitRate);
    QFETCH(int, width);
    QFETCH(int, sameq);
    QFETCH(int, warnings);

    TToolOptions options;
    std::string error;
    QVERIFY2(ParseToolArguments(Split(line), options, error), error.c_str());
    QVERIFY(options.HasInput);
    QVERIFY(options.HasOutput);
    QVERIFY(options.Overwrite);
    QCOMPARE(options.SampleRate.IsGiven() ? options.SampleRate.Value : 0, rate);
    QCOMPARE(options.Channels.IsGiven() ? options.Channels.Value : 0, channels);
    QCOMPARE(options.AudioBitRate.IsGiven() ? options.AudioBitRate.Value : 0, audioBitRate);
    QCOMPARE(options.FrameSize.IsGiven() ? options.FrameSize.Value.Width : 0, width);
    QCOMPARE(options.SameQuality, sameq);
    QCOMPARE(int(options.Warnings.size()), warnings);
    if (warnings) {
        // An unreadable value means "keep the input's value", not "use a default".
        QCOMPARE(options.SampleRate.State, TSettingState::SameAsInput);
        QCOMPARE(options.AudioBitRate.State, TSettingState::SameAsInput);
    }
}

void TToolOptionsTest::rejected_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("reason");
    QTest::newRow("unknown option") << "-i /in/a.mp3 -foo 1 /out/a.mp3"
                                    << "-foo";
    QTest::newRow("missing value") << "-i /in/a.mp3 -ab"
                                   << "-ab";
    QTest::newRow("two outputs") << "-i /in/a.mp3 /out/a.mp3 /out/b.mp3"
                                 << "/out/b.mp3";
    QTest::newRow("two inputs") << "-i /in/a.mp3 -i /in/b.mp3 /out/a.mp3"
                                << "/in/b.mp3";
    QTest::newRow("bad tag") << "-i /in/a.avi -vtag XV /out/a.avi"
                             << "-vtag";
    QTest::newRow("threads not a number") << "-i /in/a.wav -threads two /out/a.ac3"
                                          << "-threads";
    QTest::newRow("threads negative") << "-i /in/a.wav -threads -2 /out/a.ac3"
                                      << "-threads";
}

void TToolOptionsTest::rejected()
{
    QFETCH(QString, line);
    QFETCH(QString, reason);
    TToolOptions options;
    std::string error;
    QVERIFY(!ParseToolArguments(Split(line), options, error));
    QVERIFY2(QString::fromStdString(error).contains(reason), error.c_str());
}

void TToolOptionsTest::threads_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("threads");
    QTest::newRow("not given") << "-i /in/a.wav /out/a.ac3" << int(ThreadsNotGiven);
    QTest::newRow("two") << "-i /in/a.wav -threads 2 /out/a.ac3" << 2;
    QTest::newRow("zero: every processor") << "-i /in/a.wav -threads 0 /out/a.ac3" << 0;
    QTest::newRow("auto: every processor") << "-threads auto -i /in/a.wav /out/a.ac3" << 0;
    QTest::newRow("the last wins") << "-threads 4 -i /in/a.wav -threads 1 /out/a.ac3" << 1;
}

void TToolOptionsTest::threads()
{
    QFETCH(QString, line);
    QFETCH(int, threads);
    TToolOptions options;
    std::string error;
    QVERIFY2(ParseToolArguments(Split(line), options, error), error.c_str());
    QCOMPARE(options.Threads, threads);
    QCOMPARE(options.OutputPath, std::string("/out/a.ac3"));
}

void TToolOptionsTest::lastOneWins()
{
    TToolOptions options;
    std::string error;
    QVERIFY(ParseToolArguments(Split("-i /a -ar 8000 -ar [KHZ] -s 128x96 -s cif -aq 3 /o.ogg"),
                               options, error));
    QCOMPARE(options.SampleRate.State, TSettingState::SameAsInput);
    QCOMPARE(options.FrameSize.Value.Width, 352);
    QCOMPARE(options.FrameSize.Value.Height, 288);
    QCOMPARE(options.AudioQuality.Value, 3.0);
    QVERIFY(!options.AudioQualityHasSuffix);

    // A path after -i that starts with a dash is still the input.
    TToolOptions dashed;
    QVERIFY(ParseToolArguments({"-i", "-talk.mp3", "-y", "/o/-talk_mp3.mp3"}, dashed, error));
    QCOMPARE(dashed.InputPath, std::string("-talk.mp3"));
    QCOMPARE(dashed.OutputPath, std::string("/o/-talk_mp3.mp3"));
}

void TToolOptionsTest::bitRateLimits_data()
{
    QTest::addColumn<QString>("encoder");
    QTest::addColumn<int>("rate");
    QTest::addColumn<qint64>("wanted");
    QTest::addColumn<qint64>("nearest");
    QTest::newRow("lame 320k at 48 kHz")
        << "libmp3lame" << 48000 << qint64(320000) << qint64(320000);
    QTest::newRow("lame 144k at 44.1 kHz")
        << "libmp3lame" << 44100 << qint64(144000) << qint64(160000);
    QTest::newRow("lame 320k at 16 kHz")
        << "libmp3lame" << 16000 << qint64(320000) << qint64(160000);
    QTest::newRow("lame 128k at 8 kHz") << "libmp3lame" << 8000 << qint64(128000) << qint64(64000);
    QTest::newRow("mp2 144k at 48 kHz") << "mp2" << 48000 << qint64(144000) << qint64(160000);
    QTest::newRow("mp2 320k at 24 kHz") << "mp2" << 24000 << qint64(320000) << qint64(160000);
    QTest::newRow("ac3 144k") << "ac3" << 48000 << qint64(144000) << qint64(160000);
    QTest::newRow("amr 10.2k") << "libopencore_amrnb" << 8000 << qint64(10200) << qint64(10200);
    QTest::newRow("amr 32k") << "libopencore_amrnb" << 8000 << qint64(32000) << qint64(12200);
}

void TToolOptionsTest::bitRateLimits()
{
    QFETCH(QString, encoder);
    QFETCH(int, rate);
    QFETCH(qint64, wanted);
    QFETCH(qint64, nearest);
    const auto allowed = AllowedAudioBitRates(encoder.toStdString(), rate);
    QVERIFY(!allowed.empty());
    QCOMPARE(qint64(NearestValue(wanted, allowed)), nearest);
}

void TToolOptionsTest::frameSizeLimits_data()
{
    QTest::addColumn<QString>("encoder");
    QTest::addColumn<bool>("even");
    QTest::addColumn<QSize>("wanted");
    QTest::addColumn<QSize>("fitted");
    QTest::newRow("h263 cif") << "h263" << true << QSize(352, 288) << QSize(352, 288);
    QTest::newRow("h263 vga") << "h263" << true << QSize(640, 480) << QSize(704, 576);
    QTest::newRow("h263 208x160") << "h263" << true << QSize(208, 160) << QSize(176, 144);
    QTest::newRow("h263 full hd") << "h263" << true << QSize(1920, 1080) << QSize(1408, 1152);
    QTest::newRow("odd for 4:2:0") << "libx264" << true << QSize(321, 241) << QSize(320, 240);
    QTest::newRow("odd kept for 4:4:4") << "libx264" << false << QSize(321, 241) << QSize(321, 241);
    QTest::newRow("tiny odd") << "mpeg4" << true << QSize(1, 1) << QSize(2, 2);
    QTest::newRow("AV1 tiny") << "libsvtav1" << true << QSize(16, 16) << QSize(64, 64);
    QTest::newRow("AV1 too tall") << "libsvtav1" << true << QSize(640, 9000) << QSize(640, 8704);
    QTest::newRow("HEVC small") << "libx265" << true << QSize(34, 18) << QSize(64, 64);
    QTest::newRow("HEVC beyond 8K") << "libx265" << true << QSize(9001, 99) << QSize(8192, 98);
    QTest::newRow("VP9 small kept") << "libvpx-vp9" << true << QSize(16, 17) << QSize(16, 16);
}

void TToolOptionsTest::frameSizeLimits()
{
    QFETCH(QString, encoder);
    QFETCH(bool, even);
    QFETCH(QSize, wanted);
    QFETCH(QSize, fitted);
    const TFrameSize size =
        NearestFrameSize(encoder.toStdString(), {wanted.width(), wanted.height()}, even);
    QCOMPARE(QSize(size.Width, size.Height), fitted);
}

void TToolOptionsTest::sampleRateBounds_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("bounded");
    QTest::newRow("usual") << 44100 << 44100;
    QTest::newRow("highest") << 192000 << 192000;
    QTest::newRow("lowest") << 8000 << 8000;
    QTest::newRow("absurd") << 99999999 << 192000;
    QTest::newRow("largest int") << 2147483647 << 192000;
    QTest::newRow("one hertz") << 1 << 8000;
}

void TToolOptionsTest::sampleRateBounds()
{
    QFETCH(int, rate);
    QFETCH(int, bounded);
    std::string note;
    QCOMPARE(BoundedSampleRate(rate, "pcm_s16le", note), bounded);
    if (rate == bounded) {
        QVERIFY(note.empty());
    } else {
        QCOMPARE(QString::fromStdString(note), QStringLiteral("Sample rate %1 Hz is not supported "
                                                              "by pcm_s16le: using %2 Hz")
                                                   .arg(rate)
                                                   .arg(bounded));
    }
}

void TToolOptionsTest::frameRateBounds_data()
{
    QTest::addColumn<int>("num");
    QTest::addColumn<int>("den");
    QTest::addColumn<int>("boundedNum");
    QTest::addColumn<int>("boundedDen");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ntsc") << 30000 << 1001 << 30000 << 1001 << "";
    QTest::newRow("one a second") << 1 << 1 << 1 << 1 << "";
    QTest::newRow("240") << 240 << 1 << 240 << 1 << "";
    QTest::newRow("just above one") << 2147483647 << 2147483646 << 2147483647 << 2147483646 << "";
    QTest::newRow("one in 68 years") << 1 << 2147483647 << 1 << 1 << "1";
    QTest::newRow("one in two seconds") << 1 << 2 << 1 << 1 << "1";
    QTest::newRow("largest int") << 2147483647 << 1 << 240 << 1 << "240";
    QTest::newRow("just above 240") << 2147483647 << 8947848 << 240 << 1 << "240";
}

void TToolOptionsTest::frameRateBounds()
{
    QFETCH(int, num);
    QFETCH(int, den);
    QFETCH(int, boundedNum);
    QFETCH(int, boundedDen);
    QFETCH(QString, shown);
    std::string note;
    const TFrameRate rate = BoundedFrameRate({num, den}, "mpeg4", note);
    QCOMPARE(rate.Num, boundedNum);
    QCOMPARE(rate.Den, boundedDen);
    if (shown.isEmpty()) {
        QVERIFY(note.empty());
    } else {
        QCOMPARE(QString::fromStdString(note),
                 QStringLiteral("Frame rate %1/%2 is not supported by mpeg4: using %3")
                     .arg(num)
                     .arg(den)
                     .arg(shown));
    }
}

void TToolOptionsTest::tagTextBounds_data()
{
    QTest::addColumn<QString>("muxer");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("kept");
    const QByteArray ascii(70000, 'x');
    // 65,534 ASCII bytes, then a three-byte letter across the 65,535 limit.
    // 1,022 ASCII bytes, then a three-byte letter across FLV's 1,023 limit.
    const QByteArray split = QByteArray(1022, 'x') + "\xe6\x9d\xb1" + "tail";
    QTest::newRow("flv within") << "flv" << QByteArray(1023, 'x') << 1023;
    QTest::newRow("flv too long") << "flv" << ascii << 1023;
    QTest::newRow("flv letter not split") << "flv" << split << 1022;
    QTest::newRow("mov too long") << "mov" << ascii << 65535;
    QTest::newRow("asf too long") << "asf" << ascii << 32766;
    QTest::newRow("mp4 unbounded") << "mp4" << ascii << 70000;
    QTest::newRow("wav unbounded") << "wav" << ascii << 70000;
}

void TToolOptionsTest::tagTextBounds()
{
    QFETCH(QString, muxer);
    QFETCH(QByteArray, text);
    QFETCH(int, kept);
    std::string note;
    const std::string bounded =
        BoundedTagText("comment", text.toStdString(), muxer.toStdString(), note);
    QCOMPARE(int(bounded.size()), kept);
    QCOMPARE(QByteArray::fromStdString(bounded), text.left(kept));
    QVERIFY(QString::fromStdString(bounded).toUtf8() == QByteArray::fromStdString(bounded));
    if (kept == text.size()) {
        QVERIFY(note.empty());
    } else {
        QCOMPARE(QString::fromStdString(note),
                 QStringLiteral("The comment of %1 bytes is longer than %2 holds: using its "
                                "first %3 bytes")
                     .arg(text.size())
                     .arg(muxer)
                     .arg(kept));
    }
}

void TToolOptionsTest::durationLine_data()
{
    QTest::addColumn<qint64>("durationUs");
    QTest::addColumn<qint64>("startUs");
    QTest::addColumn<qint64>("bitRate");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("seconds");
    QTest::newRow("typical") << qint64(205490000) << qint64(0) << qint64(128000)
                             << "  Duration: 00:03:25.4, start: 0.000000, bitrate: 128 kb/s\r\n"
                             << 205;
    QTest::newRow("tenths truncated")
        << qint64(1999999) << qint64(25057) << qint64(129000)
        << "  Duration: 00:00:01.9, start: 0.025057, bitrate: 129 kb/s\r\n"
        << 1;
    QTest::newRow("hours") << qint64(3723000000) << qint64(kNoValue) << qint64(0)
                           << "  Duration: 01:02:03.0, bitrate: N/A\r\n"
                           << 3723;
    QTest::newRow("unknown") << qint64(kNoValue) << qint64(kNoValue) << qint64(0)
                             << "  Duration: N/A, bitrate: N/A\r\n"
                             << -1;
}

void TToolOptionsTest::durationLine()
{
    QFETCH(qint64, durationUs);
    QFETCH(qint64, startUs);
    QFETCH(qint64, bitRate);
    QFETCH(QString, line);
    QFETCH(int, seconds);
    const std::string text = FormatDurationLine(durationUs, startUs, bitRate);
    QCOMPARE(QString::fromStdString(text), line);
    const QStringList hms = ConsoleGroups(DurationPattern(), text);
    QCOMPARE(hms.size() == 3, seconds >= 0);
    if (seconds >= 0)
        QCOMPARE(hms[0].toInt() * 3600 + hms[1].toInt() * 60 + hms[2].toInt(), seconds);
}

void TToolOptionsTest::audioLineMatchesProbePatterns_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<qint64>("bitRate");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("with bit rate")
        << 44100 << 2 << qint64(128000) << QStringList{"mp3", "44100 Hz", "stereo", "128 "};
    QTest::newRow("mono") << 8000 << 1 << qint64(32000)
                          << QStringList{"mp3", "8000 Hz", "mono", "32 "};
    QTest::newRow("surround") << 48000 << 6 << qint64(448000)
                              << QStringList{"mp3", "48000 Hz", "5:1", "448 "};
    QTest::newRow("no bit rate") << 44100 << 2 << qint64(0)
                                 << QStringList{"mp3", "44100 Hz", "stereo"};
}

void TToolOptionsTest::audioLineMatchesProbePatterns()
{
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(qint64, bitRate);
    QFETCH(QStringList, fields);
    // As the probe run prints it: the stream line, then the closing lines.
    const std::string chunk =
        "    Stream #0.0: " + FormatAudioDescription("mp3", rate, channels, bitRate) + "\r\n" +
        kNoOutputLines;
    QStringList found = ConsoleGroups(AudioPattern(), chunk);
    if (found.isEmpty())
        found = ConsoleGroups(AudioFallbackPattern(), chunk);
    QCOMPARE(found, fields);
}

void TToolOptionsTest::statusLineMatchesTimePattern_data()
{
    QTest::addColumn<bool>("video");
    QTest::addColumn<bool>("last");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<int>("t");
    QTest::newRow("audio") << false << false << 12.34 << 12;
    QTest::newRow("video") << true << false << 0.94 << 0;
    QTest::newRow("final") << true << true << 205.4 << 205;
}

void TToolOptionsTest::statusLineMatchesTimePattern()
{
    QFETCH(bool, video);
    QFETCH(bool, last);
    QFETCH(double, seconds);
    QFETCH(int, t);
    TProgressFigures figures;
    figures.HasVideo = video;
    figures.Last = last;
    figures.Seconds = seconds;
    figures.Frames = 24;
    figures.SizeBytes = 40960;
    const std::string line = FormatStatusLine(figures);
    QVERIFY(line.ends_with("    \r"));
    QCOMPARE(line.starts_with("frame="), video);
    QCOMPARE(line.find("Lsize=") != std::string::npos, last);
    const QStringList time = ConsoleGroups(TimePattern(), line);
    QCOMPARE(time.size(), 1);
    QCOMPARE(time[0].toInt(), t);
}

QTEST_APPLESS_MAIN(TToolOptionsTest)
#include "tst_ToolOptions.moc"
