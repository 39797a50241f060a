// The shape of the tool's output picture: the DVD and PSP formats give the
// frame those devices play, and a scaled picture keeps the input's display
// aspect, from any input container, in every video format of the table.
#include <QtTest>

#include <regex>

#include "FfmodTestTools.h"

namespace {

// The video settings of the table's formats, as the program passes them.
const QString kNtsc = QStringLiteral("-vcodec mpeg2video -r 29.97 -acodec mp2");
const QString kPal = QStringLiteral("-vcodec mpeg2video -r 25.00 -acodec mp2");
const QString kPsp = QStringLiteral("-r 29.97 -vcodec libxvid -acodec libfaac");

double Ratio(const QString& text)
{
    const QStringList parts = text.split(':');
    if (parts.size() != 2 || parts[1].toDouble() <= 0)
        return 0;
    return parts[0].toDouble() / parts[1].toDouble();
}

// The part of the picture that is not black bars (ffmpeg's crop detection
// over the whole file).
QSize PictureArea(const QString& path)
{
    const TRun run = Run(
        QStringLiteral("ffmpeg"),
        {"-nostdin", "-i", path, "-vf", "cropdetect=limit=0.1:round=2:reset=0", "-f", "null", "-"});
    const std::string text = run.Output.toStdString();
    const std::regex crop(R"(crop=(\d+):(\d+):\d+:\d+)");
    QSize area;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), crop);
         it != std::sregex_iterator(); ++it)
        area = QSize(std::stoi((*it)[1]), std::stoi((*it)[2]));
    return area;
}

}  // namespace

class TFfmodPictureTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(QFileInfo(kTool).isExecutable());
        QVERIFY(m_dir.isValid());
        const QStringList sound{"-f", "lavfi", "-i", "sine=d=1:r=44100", "-ac", "2", "-shortest"};
        const auto picture = [](const char* size) {
            return QStringList{"-f", "lavfi", "-i",
                               QStringLiteral("testsrc=s=%1:r=25:d=1").arg(size)};
        };
        QVERIFY(MakeMedia(picture("1280x720") + sound +
                          QStringList{"-c:v", "libvpx-vp9", "-deadline", "realtime", "-c:a",
                                      "libopus", In("wide.webm")}));
        QVERIFY(MakeMedia(picture("1280x720") + sound +
                          QStringList{"-c:v", "libx264", "-c:a", "aac", In("wide.mp4")}));
        QVERIFY(MakeMedia(picture("640x480") + sound +
                          QStringList{"-c:v", "libx264", "-c:a", "aac", In("square.mp4")}));
    }

    void deviceFrames_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("aspect");  // the frame's display aspect
        QTest::addColumn<QString>("note");

        const QString same = QStringLiteral("-sameq -sameq -sameq -sameq ");
        QTest::newRow("NTSC DVD, wide")
            << "wide.mp4" << same + kNtsc << QSize(720, 480) << "30000/1001"
            << "16:9"
            << "Frame size 1280x720 is not what a NTSC DVD plays: "
               "using 720x480 at 29.97 frames/s, display aspect 16:9";
        QTest::newRow("PAL DVD, wide") << "wide.webm" << same + kPal << QSize(720, 576) << "25/1"
                                       << "16:9"
                                       << "Frame size 1280x720 is not what a PAL DVD plays: "
                                          "using 720x576 at 25 frames/s, display aspect 16:9";
        QTest::newRow("PSP, wide") << "wide.mp4" << same + kPsp << QSize(480, 272) << "30000/1001"
                                   << "30:17"
                                   << "Frame size 1280x720 is not what a PSP plays: using "
                                      "480x272 at 29.97 frames/s, display aspect 16:9";
        QTest::newRow("NTSC DVD, 4:3")
            << "square.mp4" << same + kNtsc << QSize(720, 480) << "30000/1001"
            << "4:3"
            << "using 720x480 at 29.97 frames/s, display aspect 4:3";
        QTest::newRow("PAL DVD, 4:3") << "square.mp4" << same + kPal << QSize(720, 576) << "25/1"
                                      << "4:3"
                                      << "using 720x576 at 25 frames/s, display aspect 4:3";
        QTest::newRow("PSP, 4:3") << "square.mp4" << same + kPsp << QSize(320, 240) << "30000/1001"
                                  << "4:3"
                                  << "using 320x240 at 29.97 frames/s, display aspect 4:3";
        // A size the user chose stays; its aspect is kept like everywhere else.
        QTest::newRow("NTSC DVD, a chosen size")
            << "wide.webm"
            << "-sameq -sameq -s 352x240 -sameq " + kNtsc << QSize(352, 240) << "30000/1001"
            << "16:9" << QString();
    }
    void deviceFrames()
    {
        QFETCH(QString, input);
        QFETCH(QString, settings);
        QFETCH(QSize, size);
        QFETCH(QString, rate);
        QFETCH(QString, aspect);
        QFETCH(QString, note);
        const QString out = m_dir.filePath(QStringLiteral("device.") +
                                           (settings.contains("libxvid") ? "mp4" : "mpg"));
        const TRun run = Run(kTool, ConvertArgs(In(input), settings, out));
        QVERIFY2(run.ExitCode == 0, qPrintable(run.Output));
        const QJsonObject video = StreamOf(Probe(out), "video");
        QCOMPARE(QSize(video.value("width").toInt(), video.value("height").toInt()), size);
        QCOMPARE(video.value("r_frame_rate").toString(), rate);
        QCOMPARE(video.value("display_aspect_ratio").toString(), aspect);
        if (note.isEmpty())
            QVERIFY2(!run.Output.contains("plays: using"), qPrintable(run.Output));
        else
            QVERIFY2(run.Output.contains(note), qPrintable(run.Output));
        // The picture fills the frame: both inputs have the shape they are shown in.
        if (aspect != QLatin1String("30:17"))
            QCOMPARE(PictureArea(out), size);
        QCOMPARE(DecodeErrors(out), QString());
    }

    void scaledPictureKeepsItsAspect_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<bool>("letterboxed");  // the format cannot say the aspect

        const QList<std::tuple<const char*, QString, const char*, bool>> formats{
            {"AVI", "-r 29.97 -vcodec libxvid -vtag XVID -acodec libmp3lame", "avi", false},
            {"NTSC DVD", kNtsc, "mpg", false},
            {"PAL DVD", kPal, "mpg", false},
            {"MPEG-1", "-vcodec mpegvideo -r 29.97 -acodec mp2", "mpeg", false},
            {"MP4", "-r 29.97 -vcodec libx264 -acodec libfaac", "mp4", false},
            {"M4V", "-r 29.97 -vcodec libx264 -acodec libfaac", "m4v", false},
            {"PSP", kPsp, "mp4", false},
            {"MOV", "-acodec libfaac -r 25", "mov", false},
            {"3GP", "-vcodec h263 -r 25 -acodec libamr_nb -ac 1 -ab 10.2k -ar 8000 -s 352x288",
             "3gp", false},
            {"3G2", "-acodec libfaac -s qcif -r 14.985", "3g2", false},
            {"WMV", "-vcodec wmv2  -acodec wmav2", "wmv", true},
        };
        for (const char* input : {"wide.webm", "wide.mp4"}) {
            for (const auto& [name, settings, extension, letterboxed] : formats)
                QTest::addRow("%s from %s", name, input)
                    << input << "-sameq -sameq -s 640x480 -sameq " + settings << extension
                    << letterboxed;
        }
    }
    void scaledPictureKeepsItsAspect()
    {
        QFETCH(QString, input);
        QFETCH(QString, settings);
        QFETCH(QString, extension);
        QFETCH(bool, letterboxed);
        const QString out = m_dir.filePath("scaled." + extension);
        const TRun run = Run(kTool, ConvertArgs(In(input), settings, out));
        QVERIFY2(run.ExitCode == 0, qPrintable(run.Output));
        const QJsonObject video = StreamOf(Probe(out), "video");
        const QSize frame(video.value("width").toInt(), video.value("height").toInt());
        const double shown = Ratio(video.value("display_aspect_ratio").toString());
        const QSize area = PictureArea(out);
        if (letterboxed) {
            // Square pixels, the 16:9 picture between black bars.
            QCOMPARE(video.value("sample_aspect_ratio").toString(), QStringLiteral("1:1"));
            QCOMPARE(area.width(), frame.width());
            QVERIFY2(
                qAbs(area.height() - frame.width() * 9 / 16) <= 4,
                qPrintable(QStringLiteral("picture %1x%2").arg(area.width()).arg(area.height())));
        } else {
            // The whole frame, shown at 16:9 (MPEG-1's aspects are a table: near it).
            QVERIFY2(qAbs(shown - 16.0 / 9.0) < 16.0 / 9.0 * 0.02,
                     qPrintable(video.value("display_aspect_ratio").toString()));
            QCOMPARE(area, frame);
        }
        QCOMPARE(DecodeErrors(out), QString());
    }

private:
    QString In(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

QTEST_MAIN(TFfmodPictureTest)
#include "tst_FfmodPicture.moc"
