// The parts of the conversion jobs that need no tool: the percent formula,
// the two scans of the tool's output, output paths and the command lines.

#include <set>

#include <QTest>

#include "convert/ConvertJobUnit.h"
#include "convert/ConvertScheduler.h"
#include "convert/ToolOutputLinesUnit.h"
#include "convert/ToolRunnerUnit.h"

namespace {

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

// Lines as the tool writes them, each ended by CR LF.
QString CrLf(const QStringList& lines)
{
    return lines.join("\r\n") + "\r\n";
}

QStringList Q(const TStringList& list)
{
    QStringList result;
    for (const std::string& s : list)
        result << Q(s);
    return result;
}

const TStringList SameAsInputAudio{"-ar [KHZ]", "-ab [AKBIT]k", "-ac [CHANNEL]",
                                   "-vn -acodec libmp3lame"};

}  // namespace

class TestConvertScans : public QObject
{
    Q_OBJECT

private slots:
    void percent_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("file");
        QTest::addColumn<qlonglong>("seconds");
        QTest::addColumn<int>("duration");
        QTest::addColumn<int>("percent");

        QTest::newRow("one file, a quarter") << 1 << 1 << 50LL << 200 << 25;
        QTest::newRow("second of three") << 3 << 2 << 50LL << 200 << 41;
        QTest::newRow("12.5 to even") << 1 << 1 << 1LL << 8 << 12;
        QTest::newRow("37.5 to even") << 1 << 1 << 3LL << 8 << 38;
        QTest::newRow("57.5 in extended precision") << 1 << 1 << 23LL << 40 << 58;
        QTest::newRow("16.5 to even") << 3 << 1 << 1LL << 2 << 16;
        QTest::newRow("share 12.5 to 12, last of eight") << 8 << 8 << 90LL << 90 << 96;
        QTest::newRow("last of three ends at 99") << 3 << 3 << 60LL << 60 << 99;
        QTest::newRow("share 2.5 to 2") << 40 << 1 << 10LL << 10 << 2;
        QTest::newRow("200 files show 0") << 200 << 200 << 10LL << 10 << 0;
        QTest::newRow("66 files reach 100 early") << 66 << 51 << 0LL << 10 << 100;
        QTest::newRow("66 files, 50th started") << 66 << 50 << 0LL << 10 << 98;
        QTest::newRow("past the end is held at 100") << 1 << 1 << 300LL << 200 << 100;
        QTest::newRow("absurd position") << 2 << 2 << 1'000'000'000'000LL << 1 << 100;
        QTest::newRow("no duration") << 1 << 1 << 5LL << 0 << 0;
    }
    void percent()
    {
        QFETCH(int, files);
        QFETCH(int, file);
        QFETCH(qlonglong, seconds);
        QFETCH(int, duration);
        QFETCH(int, percent);
        QCOMPARE(ComputePercent(files, file, seconds, duration), percent);
    }

    void convertScan_data()
    {
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<int>("durationBefore");
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("percent");
        QTest::addColumn<int>("durationAfter");

        QTest::newRow("duration and status in one chunk")
            << QByteArray(
                   "  Duration: 00:03:20.0, start: 0.000000\r\nsize= 1kB time=50.00 bitrate=")
            << 0 << 1 << 25 << 200;
        QTest::newRow("first status line counts")
            << QByteArray("time=10.0 bitrate=1\r\ntime=12.0 bitrate=1\r\n") << 200 << 1 << 5 << 200;
        QTest::newRow("trailing digits give one back")
            << QByteArray("size= 1kB time=12") << 100 << 1 << 1 << 100;
        QTest::newRow("single trailing digit")
            << QByteArray("size= 1kB time=7") << 100 << 1 << -1 << 100;
        QTest::newRow("dot takes a line break") << QByteArray("time=5\r\n") << 100 << 1 << 5 << 100;
        QTest::newRow("below one second")
            << QByteArray("Duration: 00:00:00.4, start: 0\r\ntime=0.2 ") << 0 << 1 << -1 << 0;
        QTest::newRow("duration unknown")
            << QByteArray("Duration: N/A, bitrate: N/A\r\ntime=3.0 ") << 0 << 1 << -1 << 0;
        QTest::newRow("hundred hours")
            << QByteArray("Duration: 100:00:00.00, start\r\ntime=3.0 ") << 0 << 1 << -1 << 0;
        QTest::newRow("later duration replaces")
            << QByteArray("Duration: 00:00:50.00\r\ntime=25.0 ") << 100 << 1 << 50 << 50;
        QTest::newRow("status before any duration") << QByteArray("time=3.0 ") << 0 << 1 << -1 << 0;
        QTest::newRow("case matters")
            << QByteArray("duration: 00:01:40.00\r\nTIME=50.0 ") << 0 << 1 << -1 << 0;
        QTest::newRow("third of five") << QByteArray("time=30.00 ") << 60 << 5 << 50 << 60;
    }
    void convertScan()
    {
        QFETCH(QByteArray, chunk);
        QFETCH(int, durationBefore);
        QFETCH(int, files);
        QFETCH(int, percent);
        QFETCH(int, durationAfter);

        TScanState state;
        state.Duration = durationBefore;
        state.ResultText = "7";
        const int file = files == 5 ? 3 : 1;
        QCOMPARE(ConvertScan(chunk.toStdString(), files, file, state), percent);
        QCOMPARE(state.Duration, durationAfter);
        QCOMPARE(Q(state.ResultText), percent < 0 ? QStringLiteral("7") : QString::number(percent));
    }

    void probeScan_data()
    {
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<int>("times");
        QTest::addColumn<QString>("result");

        const QByteArray duration =
            "  Duration: 00:03:25.4, start: 0.000000, bitrate: 128 kb/s\r\n";
        QTest::newRow("with bit rate")
            << duration + "    Stream #0.0: Audio: mp3, 44100 Hz, stereo, 128 kb/s\r\n"
            << 1 << "205|||mp3|||44100 Hz|||stereo|||128 ";
        QTest::newRow("fallback, comma follows")
            << duration + "    Stream #0.0: Audio: vorbis, 44100 Hz, stereo\r\nOutput #0, ogg\r\n"
            << 1 << "205|||vorbis|||44100 Hz|||stereo";
        QTest::newRow("fallback runs to the last line break")
            << duration + "  Stream #0.0: Audio: vorbis, 44100 Hz, stereo\r\nMust supply\r\ntail"
            << 1 << "205|||vorbis|||44100 Hz|||stereo\r\nMust supply";
        QTest::newRow("no audio stream")
            << duration + "    Stream #0.0: Video: mpeg4, yuv420p, 320x240\r\n"
            << 1 << "205";
        QTest::newRow("no duration")
            << QByteArray("Stream #0.0: Audio: mp3, 44100 Hz, mono, 64 kb/s") << 1
            << "|||mp3|||44100 Hz|||mono|||64 ";
        QTest::newRow("audio lines of two chunks")
            << QByteArray("Audio: mp2, 48000 Hz, stereo, 192 kb/s") << 2
            << "|||mp2|||48000 Hz|||stereo|||192 |||mp2|||48000 Hz|||stereo|||192 ";
        QTest::newRow("a later duration starts over")
            << duration + "Audio: mp2, 48000 Hz, stereo, 192 kb/s" << 2
            << "205|||mp2|||48000 Hz|||stereo|||192 ";
        QTest::newRow("nothing known") << QByteArray("ffmod.exe: no such file\r\n") << 1 << "";
    }
    void probeScan()
    {
        QFETCH(QByteArray, chunk);
        QFETCH(int, times);
        QFETCH(QString, result);
        TScanState state;
        for (int i = 0; i < times; ++i)
            ProbeScan(chunk.toStdString(), state);
        QCOMPARE(Q(state.ResultText), result);
    }

    void outputPath_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<QStringList>("onDisk");
        QTest::addColumn<QString>("output");

        const QStringList none;
        QTest::newRow("dots become underscores")
            << "/media/concert.2008.live.wav"
            << "/out"
            << "mp3" << none << none << "/out/concert_2008_live_wav.mp3";
        QTest::newRow("no dot") << "/media/voice"
                                << "/out/"
                                << "mp3" << none << none << "/out/voice.mp3";
        QTest::newRow("folder trimmed") << "/m/talk.show.mp3"
                                        << " \t/out dir \r\n"
                                        << "MP3" << none << none << "/out dir/talk_show_mp3.mp3";
        QTest::newRow("root folder") << "/m/talk.show.mp3"
                                     << "/"
                                     << "mp3" << none << none << "/talk_show_mp3.mp3";
        QTest::newRow("colon and backslash are name bytes")
            << "/m/a:b\\c.d"
            << "/o"
            << "wav" << none << none << "/o/a:b\\c_d.wav";
        QTest::newRow("written before in this job")
            << "/x/a.b"
            << "/o"
            << "ogg" << QStringList{"/o/a_b.ogg"} << none << "/o/a_b (2).ogg";
        QTest::newRow("third of one name")
            << "/y/a_b"
            << "/o"
            << "ogg" << QStringList{"/o/a_b.ogg", "/o/a_b (2).ogg"} << none << "/o/a_b (3).ogg";
        QTest::newRow("other outputs do not matter")
            << "/y/a_b"
            << "/o"
            << "ogg" << QStringList{"/o/a_b.mp3"} << none << "/o/a_b.ogg";
        QTest::newRow("the asked-for name is replaced")
            << "/y/a_b"
            << "/o"
            << "ogg" << none << QStringList{"/o/a_b.ogg"} << "/o/a_b.ogg";
        QTest::newRow("a numbered copy replaces nothing")
            << "/y/a_b"
            << "/o"
            << "ogg" << QStringList{"/o/a_b.ogg"} << QStringList{"/o/a_b.ogg", "/o/a_b (2).ogg"}
            << "/o/a_b (3).ogg";
    }
    void outputPath()
    {
        QFETCH(QString, input);
        QFETCH(QString, folder);
        QFETCH(QString, extension);
        QFETCH(QStringList, taken);
        QFETCH(QStringList, onDisk);
        QFETCH(QString, output);
        std::set<std::string> written;
        for (const QString& t : taken)
            written.insert(t.toStdString());
        const auto exists = [&onDisk](const std::string& path) {
            return onDisk.contains(QString::fromStdString(path));
        };
        const auto isTaken = [&written](const std::string& path) {
            return written.count(path) != 0;
        };
        QCOMPARE(Q(OutputFilePath(DestinationFolderPath(folder.toStdString()),
                                  OutputFileName(input.toStdString()), extension.toStdString(),
                                  isTaken, exists)),
                 output);
    }

    void jobWidth_data()
    {
        QTest::addColumn<QByteArray>("value");  // null: unset
        QTest::addColumn<int>("processors");
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("threads");  // each run's budget

        QTest::newRow("one per processor") << QByteArray() << 8 << 20 << 8 << 1;
        QTest::newRow("never more than files") << QByteArray() << 8 << 3 << 3 << 2;
        QTest::newRow("one file has every processor") << QByteArray() << 2 << 1 << 1 << 2;
        QTest::newRow("asked for one") << QByteArray("1") << 8 << 20 << 1 << 8;
        QTest::newRow("asked for more than processors") << QByteArray("12") << 8 << 20 << 12 << 1;
        QTest::newRow("two on two processors") << QByteArray("2") << 2 << 6 << 2 << 1;
        QTest::newRow("zero is not a width") << QByteArray("0") << 4 << 20 << 4 << 1;
        QTest::newRow("not a number") << QByteArray("many") << 4 << 20 << 4 << 1;
        QTest::newRow("trailing text") << QByteArray("2x") << 4 << 20 << 4 << 1;
        QTest::newRow("sign") << QByteArray("+2") << 4 << 20 << 4 << 1;
        QTest::newRow("beyond an int") << QByteArray("99999999999") << 4 << 20 << 4 << 1;
        QTest::newRow("processors unknown") << QByteArray() << 0 << 5 << 1 << 1;
        QTest::newRow("no files") << QByteArray() << 4 << 0 << 1 << 4;
    }
    void jobWidth()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, processors);
        QFETCH(int, files);
        QFETCH(int, width);
        QFETCH(int, threads);
        const int got =
            ConvertJobWidth(value.isNull() ? nullptr : value.constData(), processors, files);
        QCOMPARE(got, width);
        QCOMPARE(RunThreadBudget(processors, got), threads);
    }

    void progressItem_data()
    {
        QTest::addColumn<QList<int>>("numbers");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("text");
        QTest::newRow("one file") << QList<int>{2} << QStringList{"song.flac"}
                                  << "2 of 8: song.flac";
        QTest::newRow("two in a row") << QList<int>{3, 4} << QStringList{"maple.flac", "birch.flac"}
                                      << "3-4 of 8: maple.flac, birch.flac";
        QTest::newRow("a gap") << QList<int>{3, 5} << QStringList{"a.wav", "c.wav"}
                               << "3, 5 of 8: a.wav, c.wav";
    }
    void progressItem()
    {
        QFETCH(QList<int>, numbers);
        QFETCH(QStringList, names);
        QFETCH(QString, text);
        TStringList plain;
        for (const QString& name : names)
            plain.push_back(name.toStdString());
        QCOMPARE(Q(ProgressItemText(std::vector<int>(numbers.begin(), numbers.end()), 8, plain)),
                 text);
    }

    void probeFills_data()
    {
        QTest::addColumn<QString>("probe");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("settings");

        QTest::newRow("all fields") << "205|||mp3|||44100 Hz|||stereo|||128 "
                                    << "mp3"
                                    << "-ar 44100 -ab 128k -ac 2 -vn -acodec libmp3lame";
        QTest::newRow("no duration, still five fields")
            << "|||mp3|||44100 Hz|||stereo|||128 "
            << "mp3"
            << "-ar 44100 -ab 128k -ac 2 -vn -acodec libmp3lame";
        QTest::newRow("no bit rate") << "205|||vorbis|||44100 Hz|||stereo"
                                     << "mp3"
                                     << "-ar 44100 -ab [AKBIT]k -ac 2 -vn -acodec libmp3lame";
        QTest::newRow("duration only")
            << "205"
            << "mp3"
            << "-ar [KHZ] -ab [AKBIT]k -ac [CHANNEL] -vn -acodec libmp3lame";
        QTest::newRow("nothing") << ""
                                 << "mp3"
                                 << "-ar [KHZ] -ab [AKBIT]k -ac [CHANNEL] -vn -acodec libmp3lame";
        QTest::newRow("channels lower-cased and trimmed")
            << "1||| mp3 |||22050 Hz||| Stereo|||64 kbit"
            << "mp3"
            << "-ar 22050 -ab 64k -ac 2 -vn -acodec libmp3lame";
        QTest::newRow("mono") << "1|||mp3|||8000 Hz|||mono|||32 "
                              << "mp3"
                              << "-ar 8000 -ab 32k -ac 1 -vn -acodec libmp3lame";
        QTest::newRow("5:1 keeps its six channels")
            << "1|||ac3|||48000 Hz|||5:1|||448 "
            << "mp3"
            << "-ar 48000 -ab 448k -ac 6 -vn -acodec libmp3lame";
        QTest::newRow("5.1(side) without bit rate")
            << "2|||flac|||48000 Hz|||5.1(side)"
            << "mp3"
            << "-ar 48000 -ab [AKBIT]k -ac 6 -vn -acodec libmp3lame";
        // The tool keeps the input's channels for a value that is no number.
        QTest::newRow("unknown layout stays unfilled")
            << "2|||pcm_s16le|||48000 Hz|||surround-ish|||1536 "
            << "mp3"
            << "-ar 48000 -ab 1536k -ac [CHANNEL] -vn -acodec libmp3lame";
        QTest::newRow("two audio lines")
            << "205|||mp3|||44100 Hz|||stereo|||128 |||mp2|||22050 Hz|||mono|||64 "
            << "mp3"
            << "-ar 44100 -ab [AKBIT]k -ac 2 -vn -acodec libmp3lame";
        QTest::newRow("ogg asks for quality") << "205|||mp3|||44100 Hz|||stereo|||128 "
                                              << "OGG"
                                              << "-ar 44100 -aq 128k -ac 2 -vn -acodec libmp3lame";
    }
    void probeFills()
    {
        QFETCH(QString, probe);
        QFETCH(QString, extension);
        QFETCH(QString, settings);
        TToolCommand command =
            TToolCommand::Convert("/t/ffmod.exe", "/in/a.mp3", SameAsInputAudio, "/out/a_mp3.mp3");
        ApplyProbeResult(command, probe.toStdString(), extension.toStdString());
        QCOMPARE(Q(command.CommandLine()), "/t/ffmod.exe  -i \"/in/a.mp3\" " + settings +
                                               " -copyright \"Brimlow LLC\" -comment \"Quorvex - "
                                               "Media Converter\" -y \"/out/a_mp3.mp3\"");
        QStringList expected{"/t/ffmod.exe", "-i", "/in/a.mp3"};
        expected += settings.split(' ');
        expected +=
            QStringList{"-copyright", "Brimlow LLC",   "-comment", "Quorvex - Media Converter",
                        "-y",         "/out/a_mp3.mp3"};
        QCOMPARE(Q(command.Arguments()), expected);
    }

    void channelsFromLayout_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<int>("channels");
        QTest::newRow("mono") << "mono" << 1;
        QTest::newRow("stereo, any case") << " Stereo " << 2;
        QTest::newRow("old five-one") << "5:1" << 6;
        QTest::newRow("5.1") << "5.1" << 6;
        QTest::newRow("5.1(side)") << "5.1(side)" << 6;
        QTest::newRow("2.1") << "2.1" << 3;
        QTest::newRow("quad") << "quad" << 4;
        QTest::newRow("quad(side)") << "quad(side)" << 4;
        QTest::newRow("6.1(back)") << "6.1(back)" << 7;
        QTest::newRow("7.1") << "7.1" << 8;
        QTest::newRow("7.1(wide-side)") << "7.1(wide-side)" << 8;
        QTest::newRow("height channels") << "7.1.4" << 12;
        QTest::newRow("22.2") << "22.2" << 24;
        QTest::newRow("hexagonal") << "hexagonal" << 6;
        QTest::newRow("counted") << "3 channels" << 3;
        QTest::newRow("counted with names") << "3 channels (FL+FR+LFE)" << 3;
        QTest::newRow("one counted") << "1 channels" << 1;
        QTest::newRow("none counted") << "0 channels" << 0;
        QTest::newRow("absurd count") << "99999999999 channels" << 0;
        QTest::newRow("a bare figure") << "6" << 0;
        QTest::newRow("figures with a tail") << "5.1 side" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("words") << "surround" << 0;
    }
    void channelsFromLayout()
    {
        QFETCH(QString, layout);
        QFETCH(int, channels);
        QCOMPARE(ChannelCountFromLayout(layout.toStdString()), channels);
    }

    void toolOutputLines_data()
    {
        QTest::addColumn<QStringList>("chunks");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QStringList>("notes");

        QTest::newRow("a line across three chunks")
            << QStringList{"Cannot wr", "ite '/o/a.mp3': Permission de", "nied\r\n"}
            << QStringList{"Cannot write '/o/a.mp3': Permission denied"}
            << "Cannot write '/o/a.mp3': Permission denied" << QStringList();
        QTest::newRow("status lines are not kept, CR alone ends them")
            << QStringList{"size=  1kB time=1.00 bitrate= 8.0kbits/s\r",
                           "frame=  25 fps=0 q=2.0 size=  2kB time=1.00\r",
                           "Error while encoding for '/o/b.mp3': I/O error\r\n"}
            << QStringList{"Error while encoding for '/o/b.mp3': I/O error"}
            << "Error while encoding for '/o/b.mp3': I/O error" << QStringList();
        QTest::newRow("last line without its end")
            << QStringList{"  Duration: 00:00:02.0, start: 0.000000\r\n", "damaged input: 0.05"}
            << QStringList{"Duration: 00:00:02.0, start: 0.000000", "damaged input: 0.05"}
            << "damaged input: 0.05" << QStringList();
        QTest::newRow("descriptions give no reason")
            << QStringList{CrLf(
                   {"Input #0, flac, from 'a.flac':", "  Duration: 00:00:02.0, start: 0.000000",
                    "    Stream #0.0: Audio: flac, 44100 Hz, 5:1",
                    "Output #0, mp3, to 'b.mp3':", "Stream mapping:", "  Stream #0.0 -> #0.0",
                    "Press [q] to stop encoding", "video:0kB audio:17kB global headers:0kB"})}
            << QStringList{"Input #0, flac, from 'a.flac':",
                           "Duration: 00:00:02.0, start: 0.000000",
                           "Stream #0.0: Audio: flac, 44100 Hz, 5:1",
                           "Output #0, mp3, to 'b.mp3':",
                           "Stream mapping:",
                           "Stream #0.0 -> #0.0",
                           "Press [q] to stop encoding",
                           "video:0kB audio:17kB global headers:0kB"}
            << "" << QStringList();
        const QStringList notes{
            "6 channels are more than libmp3lame takes: using 2",
            "Audio bit rate 320 kb/s is not supported by libmp3lame at 8000 Hz: using 64 kb/s",
            "libmp3lame has no quality setting: -aq is ignored",
            "The bit rate does not apply to pcm_s16le (uncompressed): the audio keeps its full "
            "rate",
            "The tag XVID does not fit mpeg4 in 'o.mp4': the usual tag is written",
            "No AMR-NB encoder is available: the audio is encoded as AAC instead"};
        QTest::newRow("notes, not the unfilled value")
            << QStringList{CrLf({"Option -ab: '[AKBIT]k' is not a value; keeping the "
                                 "input's setting"}) +
                           notes.join("\r\n") + "\r\n"}
            << QStringList{"Option -ab: '[AKBIT]k' is not a value; keeping the input's setting"} +
                   notes
            << notes.back() << notes;
    }
    void toolOutputLines()
    {
        QFETCH(QStringList, chunks);
        QFETCH(QStringList, lines);
        QFETCH(QString, reason);
        QFETCH(QStringList, notes);
        TToolOutputLines output;
        for (const QString& chunk : chunks)
            output.Add(chunk.toStdString());
        output.Finish();
        QCOMPARE(Q(output.Lines()), lines);
        QCOMPARE(Q(FailureReason(output.Lines())), reason);
        QCOMPARE(Q(SettingNotes(output.Lines())), notes);
    }

    void toolOutputLinesAreBounded()
    {
        // A tool that talks without end costs bounded memory, and its last
        // word, the reason, is still there.
        TToolOutputLines output;
        const std::string line(10000, 'x');
        for (int i = 0; i < 5000; ++i)
            output.Add(line + "\r\n");
        output.Add("Cannot write '/o/a.mp3': No space left on device\r\n");
        output.Finish();
        QVERIFY(output.Lines().size() <= 256);
        size_t bytes = 0;
        for (const std::string& kept : output.Lines())
            bytes += kept.size();
        QVERIFY(bytes <= 256 * 4096);
        QCOMPARE(Q(FailureReason(output.Lines())),
                 QStringLiteral("Cannot write '/o/a.mp3': No space left on device"));
    }

    void fillsLeavePathsAlone()
    {
        // Folders named like the placeholders, or holding "-ab", still convert.
        const std::string input = "/music/-ab [KHZ]/\"odd\" -y.mp3";
        const std::string output = "/out/[AKBIT]-ab [CHANNEL]/_odd_ -y_mp3.ogg";
        TToolCommand command = TToolCommand::Convert(
            "/t/ffmod.exe", input,
            {"-ar [KHZ]", "-ab [AKBIT]k", "-ac [CHANNEL]", "-vn -acodec vorbis"}, output);
        ApplyProbeResult(command, "205|||mp3|||44100 Hz|||stereo|||128 ", "ogg");
        QCOMPARE(Q(command.CommandLine()),
                 Q("/t/ffmod.exe  -i \"" + input +
                   "\" -ar 44100 -aq 128k -ac 2 -vn -acodec vorbis -copyright \"Brimlow LLC\" "
                   "-comment \"Quorvex - Media Converter\" -y \"" +
                   output + "\""));
        const TStringList arguments = command.Arguments();
        QCOMPARE(Q(arguments.at(2)), Q(input));
        QCOMPARE(Q(arguments.back()), Q(output));
    }

    void probeCommand()
    {
        const TToolCommand probe = TToolCommand::Probe("/t/ffmod.exe", "/in/-a b.mp3");
        QCOMPARE(Q(probe.CommandLine()), QStringLiteral("/t/ffmod.exe -vn -i \"/in/-a b.mp3\" "));
        QCOMPARE(Q(probe.Arguments()), (QStringList{"/t/ffmod.exe", "-vn", "-i", "/in/-a b.mp3"}));
    }

    void doubleBlankStaysInTextOnly()
    {
        const TToolCommand command = TToolCommand::Convert(
            "/t/ffmod.exe", "/in/v.avi",
            {"-sameq", "-sameq", "-sameq", "-sameq", "-vcodec wmv2  -acodec wmav2"},
            "/o/v_avi.wmv");
        QVERIFY(
            Q(command.CommandLine()).contains("-sameq -sameq -sameq -sameq -vcodec wmv2  -acodec"));
        const QStringList arguments = Q(command.Arguments());
        QCOMPARE(arguments.mid(3, 8), (QStringList{"-sameq", "-sameq", "-sameq", "-sameq",
                                                   "-vcodec", "wmv2", "-acodec", "wmav2"}));
    }
};

QTEST_GUILESS_MAIN(TestConvertScans)
#include "tst_ConvertScans.moc"
