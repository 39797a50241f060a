// FLAC and Opus through the built tool, with the command lines the audio page
// gives it ("Same As Input" filled from a real probe run, as the job fills
// it) and with fixed settings, from stereo and surround inputs; each output
// checked with ffprobe and decoded in full.
#include <QtTest>

#include "convert/ProbeFillUnit.h"
#include "convert/ToolCommandUnit.h"
#include "convert/ToolRunnerUnit.h"
#include "tests/tool/FfmodTestTools.h"

namespace {

// The arguments of the audio page's command for INPUT, with "Same As Input"
// filled from the tool's probe of INPUT as the job fills it.
QStringList PageCommand(const QString& input, const TStringList& settings, const QString& output,
                        const QString& extension)
{
    TToolCommand command = TToolCommand::Convert(kTool.toStdString(), input.toStdString(), settings,
                                                 output.toStdString());
    const TRun probe = Run(kTool, {"-vn", "-i", input});
    TScanState state;
    ProbeScan(probe.Output.toStdString(), state);
    ApplyProbeResult(command, state.ResultText, extension.toStdString());
    QStringList args;
    const TStringList arguments = command.Arguments();
    for (size_t i = 1; i < arguments.size(); ++i)  // the first names the tool itself
        args << QString::fromStdString(arguments[i]);
    return args;
}

}  // namespace

class TFfmodFlacOpusTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void soundFormats_data();
    void soundFormats();
    void opusBitRateBounds_data();
    void opusBitRateBounds();

private:
    QString In(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

void TFfmodFlacOpusTest::initTestCase()
{
    QVERIFY(QFileInfo(kTool).isExecutable());
    QVERIFY(m_dir.isValid());
    // Noise under a tone: sound an encoder has to spend its bit rate on.
    const QString sound = QStringLiteral("anoisesrc=d=2:a=0.3:r=%1,volume=1");
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", sound.arg(44100), "-ac", "2", "-c:a", "libmp3lame",
                       "-b:a", "192k", In("stereo.mp3")}));
    const QString toSix = QStringLiteral("pan=%1|c0=c0|c1=c0|c2=c0|c3=c0|c4=c0|c5=c0");
    QVERIFY(MakeMedia(
        {"-f", "lavfi", "-i", sound.arg(48000), "-af", toSix.arg("5.1"), In("surround.wav")}));
    // The 5.1 of films and DVDs has its surround pair at the side.
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", sound.arg(48000), "-af", toSix.arg("5.1(side)"), "-c:a",
                       "ac3", "-b:a", "384k", In("side.ac3")}));
    QVERIFY(MakeMedia(
        {"-f", "lavfi", "-i", "aevalsrc=0.3*sin(440*2*PI*t):d=2:s=44100:c=7.1", In("eight.wav")}));
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", "testsrc=s=64x48:r=25:d=2", "-i", In("side.ac3"),
                       "-c:v", "mpeg4", "-c:a", "copy", In("film.mkv")}));
}

void TFfmodFlacOpusTest::soundFormats_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QStringList>("settings");  // the page's rows; "Same As Input" unfilled
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("codec");
    QTest::addColumn<QString>("container");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("note");  // a line the tool must print, or ""

    const QStringList same{"-ar [KHZ]", "-ab [AKBIT]k", "-ac [CHANNEL]"};
    const QStringList fixed{"-ar 44100", "-ab 128k", "-ac 2"};
    const QString flac = QStringLiteral("-vn -acodec flac");
    const QString opus = QStringLiteral("-vn -acodec libopus");
    const QString lossless =
        QStringLiteral("The bit rate does not apply to flac (lossless): the audio is kept whole");
    const QString at48 = QStringLiteral(
        "Sample rate 44100 Hz is not supported by libopus (Opus "
        "always encodes at 48000 Hz): using 48000 Hz");

    QTest::newRow("FLAC, stereo, Same As Input")
        << "stereo.mp3" << same + QStringList{flac} << "flac"
        << "flac"
        << "flac" << 44100 << 2 << "stereo" << lossless;
    QTest::newRow("FLAC, 5.1, Same As Input")
        << "surround.wav" << same + QStringList{flac} << "flac"
        << "flac"
        << "flac" << 48000 << 6 << "5.1" << lossless;
    QTest::newRow("FLAC, 5.1(side) keeps its layout")
        << "side.ac3" << same + QStringList{flac} << "flac"
        << "flac"
        << "flac" << 48000 << 6 << "5.1(side)" << lossless;
    QTest::newRow("FLAC, 5.1, fixed") << "surround.wav" << fixed + QStringList{flac} << "flac"
                                      << "flac"
                                      << "flac" << 44100 << 2 << "stereo" << lossless;
    QTest::newRow("FLAC, 8000 Hz mono")
        << "stereo.mp3" << QStringList{"-ar 8000", "-ab 32k", "-ac 1", flac} << "flac"
        << "flac"
        << "flac" << 8000 << 1 << "mono" << lossless;
    QTest::newRow("Opus, stereo, Same As Input")
        << "stereo.mp3" << same + QStringList{opus} << "opus"
        << "opus"
        << "ogg" << 48000 << 2 << "stereo" << at48;
    QTest::newRow("Opus, 5.1, Same As Input")
        << "surround.wav" << same + QStringList{opus} << "opus"
        << "opus"
        << "ogg" << 48000 << 6 << "5.1" << QString();
    // libopus takes only the Vorbis channel order above two channels.
    QTest::newRow("Opus, 5.1(side), Same As Input")
        << "side.ac3" << same + QStringList{opus} << "opus"
        << "opus"
        << "ogg" << 48000 << 6 << "5.1" << QString();
    QTest::newRow("Opus, 7.1, Same As Input") << "eight.wav" << same + QStringList{opus} << "opus"
                                              << "opus"
                                              << "ogg" << 48000 << 8 << "7.1" << at48;
    QTest::newRow("Opus, 5.1, fixed") << "surround.wav" << fixed + QStringList{opus} << "opus"
                                      << "opus"
                                      << "ogg" << 48000 << 2 << "stereo" << at48;
    QTest::newRow("Opus, 8000 Hz is coded at 48000")
        << "stereo.mp3" << QStringList{"-ar 8000", "-ab 32k", "-ac 1", opus} << "opus"
        << "opus"
        << "ogg" << 48000 << 1 << "mono"
        << "Sample rate 8000 Hz is not supported by libopus (Opus always encodes at 48000 Hz): "
           "using 48000 Hz";
    // The video page's WebM carries the same Opus sound.
    QTest::newRow("WebM sound, 5.1(side)")
        << "film.mkv"
        << QStringList{"-sameq", "-sameq", "-sameq", "-sameq", "-vcodec libvpx-vp9 -acodec libopus"}
        << "webm"
        << "opus"
        << "webm" << 48000 << 6 << "5.1" << QString();
}

void TFfmodFlacOpusTest::soundFormats()
{
    QFETCH(QString, input);
    QFETCH(QStringList, settings);
    QFETCH(QString, extension);
    QFETCH(QString, codec);
    QFETCH(QString, container);
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(QString, layout);
    QFETCH(QString, note);

    TStringList rows;
    for (const QString& s : settings)
        rows.push_back(s.toStdString());
    const QString out = m_dir.filePath(
        QString(QTest::currentDataTag()).replace(' ', '_').replace(',', '_') + "." + extension);
    const QStringList args = PageCommand(In(input), rows, out, extension);
    QVERIFY2(!args.join(' ').contains('['), qPrintable(args.join(' ')));
    const TRun run = Run(kTool, args);
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Output));
    if (!note.isEmpty())
        QVERIFY2(run.Output.contains(note + "\r\n"), qPrintable(run.Output));
    QVERIFY2(!run.Output.contains("[libopus @"), qPrintable(run.Output));

    const QJsonObject probe = Probe(out);
    const QString formatName = probe.value("format").toObject().value("format_name").toString();
    QVERIFY2(formatName.split(',').contains(container), qPrintable(formatName));
    const QJsonObject audio = StreamOf(probe, "audio");
    QCOMPARE(audio.value("codec_name").toString(), codec);
    QCOMPARE(audio.value("sample_rate").toString().toInt(), rate);
    QCOMPARE(audio.value("channels").toInt(), channels);
    QCOMPARE(audio.value("channel_layout").toString(), layout);
    const double duration = DurationOf(probe);
    QVERIFY2(qAbs(duration - 2.0) <= 2.0 * 0.05, qPrintable(QString::number(duration)));
    const QString errors = DecodeErrors(out);
    QVERIFY2(errors.isEmpty(), qPrintable(errors));
}

void TFfmodFlacOpusTest::opusBitRateBounds_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("kbit");  // what the file should come to
    QTest::addColumn<QString>("note");

    QTest::newRow("1000k is above Opus") << "stereo.mp3"
                                         << "-ab 1000k -ac 2" << 510
                                         << "Audio bit rate 1000 kb/s is not supported by libopus "
                                            "at 48000 Hz: using 510 kb/s";
    QTest::newRow("2k is below Opus") << "stereo.mp3"
                                      << "-ab 2k -ac 2" << 6
                                      << "Audio bit rate 2 kb/s is not supported by libopus at "
                                         "48000 Hz: using 6 kb/s";
    QTest::newRow("320k for one channel") << "stereo.mp3"
                                          << "-ab 320k -ac 1" << 256
                                          << "Audio bit rate 320 kb/s is not supported by libopus "
                                             "at 48000 Hz: using 256 kb/s";
    // A surround input's own bit rate, far above what Opus codes.
    QTest::newRow("the input's 4608k") << "surround.wav"
                                       << "-sameq" << 510
                                       << "The input's audio bit rate 4608 kb/s is not supported "
                                          "by libopus at 48000 Hz: using 510 kb/s";
    QTest::newRow("128k as asked") << "stereo.mp3"
                                   << "-ab 128k -ac 2" << 128 << QString();
}

void TFfmodFlacOpusTest::opusBitRateBounds()
{
    QFETCH(QString, input);
    QFETCH(QString, settings);
    QFETCH(int, kbit);
    QFETCH(QString, note);

    const QString out = m_dir.filePath("bounds.opus");
    const TRun run = Run(kTool, ConvertArgs(In(input), settings + " -vn -acodec libopus", out));
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Output));
    if (note.isEmpty())
        QVERIFY2(!run.Output.contains(" kb/s is "), qPrintable(run.Output));
    else
        QVERIFY2(run.Output.contains(note + "\r\n"), qPrintable(run.Output));
    // The encoder's own refusal never shows: the rate is bounded before it opens.
    QVERIFY2(!run.Output.contains("[libopus @"), qPrintable(run.Output));
    QVERIFY2(run.Output.contains(QStringLiteral("libopus, 48000 Hz, ")) &&
                 run.Output.contains(QStringLiteral(", %1 kb/s\r\n").arg(kbit)),
             qPrintable(run.Output));
    // Noise makes the coder spend what it is given.
    const QJsonObject probe = Probe(out);
    const double got =
        probe.value("format").toObject().value("bit_rate").toString().toDouble() / 1000;
    QVERIFY2(got >= kbit * 0.6 && got <= kbit * 1.3 + 2, qPrintable(QString::number(got)));
    const QString errors = DecodeErrors(out);
    QVERIFY2(errors.isEmpty(), qPrintable(errors));
}

QTEST_GUILESS_MAIN(TFfmodFlacOpusTest)
#include "tst_FfmodFlacOpus.moc"
