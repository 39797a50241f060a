// The audio and the video job from the chosen items to the closing message,
// with a scripted stand-in for the conversion tool.

#include <map>

#include <QDir>
#include <QTest>

#include "FakeTool.h"
#include "base/ToolEnvironment.h"
#include "convert/ConvertJobUnit.h"

namespace {

const char* const Tags = " -copyright \"Brimlow LLC\" -comment \"Quorvex - Media Converter\" -y \"";
const QStringList TagArguments{"-copyright", "Brimlow LLC", "-comment", "Quorvex - Media Converter",
                               "-y"};

const QByteArray WorkedProbe =
    ToolLines({"Input #0, mp3, from '/media/talk.show.mp3':",
               "  Duration: 00:03:25.4, start: 0.000000, bitrate: 128 kb/s",
               "    Stream #0.0: Audio: mp3, 44100 Hz, stereo, 128 kb/s",
               "Must supply at least one output file"});

std::string S(const QString& text)
{
    return text.toStdString();
}

}  // namespace

class TestConvertJobs : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TFakeToolDir> m_tool;
    QString m_out;

    TAudioJobInput AudioJob(const QStringList& files, const char* format = "MPEG Layer-3 (MP3)")
    {
        TAudioJobInput job;
        for (const QString& f : files)
            job.InputFiles.push_back(S(f));
        job.DestinationFolder = S(m_out);
        job.Format = format;
        job.Frequency = job.Bitrate = job.Channels = "Same As Input";
        return job;
    }

    TVideoJobInput VideoJob(const QStringList& files, const char* format = "XVID AVI Video (AVI)")
    {
        TVideoJobInput job;
        for (const QString& f : files)
            job.InputFiles.push_back(S(f));
        job.DestinationFolder = S(m_out);
        job.Format = format;
        job.AudioBitrate = job.VideoBitrate = job.Resolution = job.Channels = "Same As Input";
        return job;
    }

    int RunJob(bool audio, const QStringList& files, TRecordingHost& host)
    {
        return audio ? RunAudioJob(AudioJob(files), host) : RunVideoJob(VideoJob(files), host);
    }

    QString Tool() const { return QString::fromStdString(m_tool->ToolPath()); }

private slots:
    void init()
    {
        m_tool = std::make_unique<TFakeToolDir>();
        m_out = m_tool->File("out dir");
        QVERIFY(QDir().mkpath(m_out));
    }
    void cleanup() { m_tool.reset(); }

    void audioCommand_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("frequency");
        QTest::addColumn<QString>("bitrate");
        QTest::addColumn<QString>("channels");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("outputName");

        QTest::newRow("mp3, same as input") << "MPEG Layer-3 (MP3)"
                                            << "Same As Input"
                                            << "Same As Input"
                                            << "Same As Input"
                                            << "-ar 44100 -ab 128k -ac 2 -vn -acodec libmp3lame"
                                            << "talk_show_mp3.mp3";
        QTest::newRow("ogg, fixed choices") << "Vorbis-Encoded Audio (OGG)"
                                            << "44100 kHz"
                                            << "128 kbit"
                                            << "Stereo (2 Channel Mode)"
                                            << "-ar 44100 -aq 128k -ac 2 -vn -acodec vorbis"
                                            << "talk_show_mp3.ogg";
        QTest::newRow("wav, mono") << "Waveform Audio Format (WAV)"
                                   << "8000 kHz"
                                   << "Same As Input"
                                   << "Mono (1 Channel Mode)"
                                   << "-ar 8000 -ab 128k -ac 1 -vn"
                                   << "talk_show_mp3.wav";
        QTest::newRow("m4a") << "Itunes Audio (M4A)"
                             << "48000 kHz"
                             << "320 kbit"
                             << "Same As Input"
                             << "-ar 48000 -ab 320k -ac 2 -vn -acodec libfaac"
                             << "talk_show_mp3.m4a";
    }
    void audioCommand()
    {
        QFETCH(QString, format);
        QFETCH(QString, frequency);
        QFETCH(QString, bitrate);
        QFETCH(QString, channels);
        QFETCH(QString, settings);
        QFETCH(QString, outputName);
        TFakeToolPlan plan;
        plan.ProbeText = WorkedProbe;
        QVERIFY(m_tool->Install(plan));

        TAudioJobInput job = AudioJob({"/media/talk.show.mp3"});
        job.Format = S(format);
        job.Frequency = S(frequency);
        job.Bitrate = S(bitrate);
        job.Channels = S(channels);
        TMessageRecorder messages;
        TRecordingHost host;
        QCOMPARE(RunAudioJob(job, host), 1);

        const QString output = m_out + "/" + outputName;
        const QString command =
            Tool() + "  -i \"/media/talk.show.mp3\" " + settings + Tags + output + "\"";
        QCOMPARE(host.LinesStartingWith("RUN: "), 1);
        QVERIFY(std::find(host.Log.begin(), host.Log.end(), S("RUN: " + command)) !=
                host.Log.end());

        const auto calls = m_tool->Calls();
        QCOMPARE(calls.size(), size_t(2));
        QCOMPARE(calls[0], (QStringList{"-vn", "-i", "/media/talk.show.mp3"}));
        const QStringList expected = QStringList{"-i", "/media/talk.show.mp3"} +
                                     settings.split(' ') + TagArguments + QStringList{output};
        QCOMPARE(calls[1], expected);
        QVERIFY(QFile::exists(output));
        QCOMPARE(messages.Texts(), QStringList{MsgAudioConverted});
        QCOMPARE(messages.Messages[0].Kind, TMessageKind::Information);
    }

    void videoCommand_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("audioBitrate");
        QTest::addColumn<QString>("videoBitrate");
        QTest::addColumn<QString>("resolution");
        QTest::addColumn<QString>("channels");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("outputName");

        QTest::newRow("wmv") << "Windows Media Video (WMV)"
                             << "128 kbit"
                             << "Same As Input"
                             << "640x480"
                             << "Same As Input"
                             << "-ab 128k -sameq -s 640x480 -sameq -vcodec wmv2  -acodec wmav2"
                             << "trip_part1_avi.wmv";
        QTest::newRow("mp4, same as input")
            << "MPEG-4 Video File (MP4)"
            << "Same As Input"
            << "Same As Input"
            << "Same As Input"
            << "Same As Input"
            << "-sameq -sameq -sameq -sameq -r 29.97 -vcodec libx264 -acodec libfaac"
            << "trip_part1_avi.mp4";
        QTest::newRow("3gp brings its own settings last")
            << "Mobile Video Format (3GP)"
            << "64 kbit"
            << "256 kbit"
            << "320x240"
            << "Stereo (2 Channel Mode)"
            << "-ab 64k -b 256k -s 320x240 -ac 2 -vcodec h263 -r 25 -acodec libamr_nb -ac 1 -ab "
               "10.2k -ar 8000 -s 352x288"
            << "trip_part1_avi.3gp";
    }
    void videoCommand()
    {
        QFETCH(QString, format);
        QFETCH(QString, audioBitrate);
        QFETCH(QString, videoBitrate);
        QFETCH(QString, resolution);
        QFETCH(QString, channels);
        QFETCH(QString, settings);
        QFETCH(QString, outputName);
        QVERIFY(m_tool->Install({}));
        // One run at a time: the calls and the bar's steps come in list order.
        const TEnvOverride oneAtATime(ToolJobsVariable, "1");

        TVideoJobInput job = VideoJob({"/clips/trip.part1.avi", "/clips/b.avi"});
        job.Format = S(format);
        job.AudioBitrate = S(audioBitrate);
        job.VideoBitrate = S(videoBitrate);
        job.Resolution = S(resolution);
        job.Channels = S(channels);
        TMessageRecorder messages;
        TRecordingHost host;
        QCOMPARE(RunVideoJob(job, host), 2);

        const QString output = m_out + "/" + outputName;
        const QString command =
            Tool() + "  -i \"/clips/trip.part1.avi\" " + settings + Tags + output + "\"";
        // Two files, two log lines: the commands, without a prefix.
        QCOMPARE(host.Log.size(), size_t(2));
        QCOMPARE(QString::fromStdString(host.Log[0]), command);
        const auto calls = m_tool->Calls();
        QCOMPARE(calls.size(), size_t(2));
        const QStringList expected = QStringList{"-i", "/clips/trip.part1.avi"} +
                                     settings.split(' ', Qt::SkipEmptyParts) + TagArguments +
                                     QStringList{output};
        QCOMPARE(calls[0], expected);
        QCOMPARE(messages.Texts(), QStringList{MsgVideoConverted});
        // The tool reports half of each file: the second of two ends at 75.
        QCOMPARE(host.Progress, (std::vector<int>{25, 75}));
    }

    void closingMessage_data()
    {
        QTest::addColumn<bool>("audio");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("writes");
        QTest::addColumn<int>("converted");
        QTest::addColumn<QByteArray>("after");  // printed after the output is written
        // The box's detail: one entry per file (%n its name, %o its output,
        // %f the format's short name).
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QString>("entry");

        const QString failed = "Not converted:";
        const QString changed = "Settings changed to what the format takes:";
        for (bool audio : {true, false}) {
            const char* page = audio ? "audio: " : "video: ";
            QTest::addRow("%sconverted", page)
                << audio << ProgressOutput << 0 << true << 2 << QByteArray() << ""
                << "";
            QTest::addRow("%sfails after one progress line", page)
                << audio << ProgressOutput << 1 << true << 0 << QByteArray() << failed
                << "%n: the conversion tool failed with exit code 1";
            QTest::addRow("%sends well but writes nothing", page)
                << audio << ProgressOutput << 0 << false << 0 << QByteArray() << failed
                << "%n: the conversion tool wrote no file '%o'";
            QTest::addRow("%sclip shorter than a second", page)
                << audio
                << ToolLines({"  Duration: 00:00:00.40, start: 0.000000", "time=0.30 bitrate="})
                << 0 << true << 2 << QByteArray() << ""
                << "";
            QTest::addRow("%sfails with its reason", page)
                << audio << ProgressOutput << 1 << false << 0
                << ToolLines({"Cannot write '/full/x.mp3': No space left on device"}) << failed
                << "%n: Cannot write '/full/x.mp3': No space left on device";
            QTest::addRow("%sreason after the status line, in pieces", page)
                << audio << ProgressOutput + "size=   1kB time=6.00 bitrate= 1.0kbits/s\r" << 1
                << false << 0 << QByteArray("damaged input: 0.05 of 3.0 s could be read\r\n")
                << failed << "%n: damaged input: 0.05 of 3.0 s could be read";
            QTest::addRow("%sconverted with a changed setting", page)
                << audio << ProgressOutput << 0 << true << 2
                << ToolLines({"Sample rate 8000 Hz is not supported by libmp3lame: using 32000 Hz"})
                << changed << "%n: Sample rate 8000 Hz is not supported by %f: using 32000 Hz";
        }
    }
    void closingMessage()
    {
        QFETCH(bool, audio);
        QFETCH(QByteArray, output);
        QFETCH(int, exitCode);
        QFETCH(bool, writes);
        QFETCH(int, converted);
        QFETCH(QByteArray, after);
        QFETCH(QString, heading);
        QFETCH(QString, entry);
        TFakeToolPlan plan;
        plan.ConvertText = output;
        plan.ConvertExit = exitCode;
        plan.CreateOutput = writes;
        plan.AfterText = after;
        QVERIFY(m_tool->Install(plan));

        TMessageRecorder messages;
        TRecordingHost host;
        QCOMPARE(RunJob(audio, {"/in/one.wav", "/in/two.wav"}, host), converted);
        QString detail;
        if (!heading.isEmpty()) {
            detail = heading + "\n";
            for (const char* name : {"one", "two"})
                detail +=
                    QString(entry)
                        .replace("%n", QString("%1.wav").arg(name))
                        .replace("%f", audio ? "MP3" : "AVI")
                        .replace("%o",
                                 QString("%1/%2_wav.%3").arg(m_out, name, audio ? "mp3" : "avi")) +
                    "\n";
        }
        QCOMPARE(messages.Messages.size(), size_t(1));
        const bool success = converted == 2;
        QCOMPARE(messages.Messages[0].Kind,
                 success ? TMessageKind::Information : TMessageKind::Warning);
        QCOMPARE(messages.Messages[0].Text,
                 std::string(!success ? MsgCannotCreate
                                      : (audio ? MsgAudioConverted : MsgVideoConverted)));
        QCOMPARE(QString::fromStdString(messages.Messages[0].Detail), detail);
    }

    void eachFileIsAnnouncedBeforeItsRuns_data()
    {
        QTest::addColumn<bool>("audio");
        QTest::newRow("audio") << true;
        QTest::newRow("video") << false;
    }
    void eachFileIsAnnouncedBeforeItsRuns()
    {
        QFETCH(bool, audio);
        QVERIFY(m_tool->Install({}));
        const TEnvOverride oneAtATime(ToolJobsVariable, "1");
        TMessageRecorder messages;
        TRecordingHost host;
        // Each file's command is logged after its announcement.
        std::vector<size_t> announcedAtCommand;
        const std::string command = audio ? "RUN: " : m_tool->ToolPath();
        host.OnLogLine = [&](TRecordingHost& h) {
            if (h.Log.back().starts_with(command))
                announcedAtCommand.push_back(h.Items.size());
        };
        QCOMPARE(RunJob(audio, {"/in/a.wav", "/music/b c.mp3", "/x.y/d.e.flac"}, host), 3);
        QCOMPARE(host.Items, (std::vector<std::string>{"1 of 3: a.wav", "2 of 3: b c.mp3",
                                                       "3 of 3: d.e.flac"}));
        QCOMPARE(announcedAtCommand, (std::vector<size_t>{1, 2, 3}));
    }

    void workSecondsFollowTheFilesLengths()
    {
        // Each file tells its length (10 s) in its first lines, then half of
        // it, then the whole; a file not seen yet counts as long as the others.
        TFakeToolPlan plan;
        plan.AfterText = ToolLines({"size=      20kB time=10.00 bitrate= 128.0kbits/s"});
        QVERIFY(m_tool->Install(plan));
        const TEnvOverride oneAtATime(ToolJobsVariable, "1");
        TMessageRecorder messages;
        TRecordingHost host;
        QCOMPARE(RunJob(false, {"/in/a.avi", "/in/b.avi"}, host), 2);
        using TWork = std::vector<std::pair<double, double>>;
        QCOMPARE(host.Work, (TWork{{5, 20}, {10, 20}, {10, 20}, {15, 20}, {20, 20}, {20, 20}}));
    }

    void missingTool_data()
    {
        QTest::addColumn<bool>("audio");
        QTest::addColumn<int>("boxes");
        QTest::newRow("audio: two runs per file") << true << 5;
        QTest::newRow("video: one run per file") << false << 3;
    }
    void missingTool()
    {
        QFETCH(bool, audio);
        QFETCH(int, boxes);
        TMessageRecorder messages;
        TRecordingHost host;
        QCOMPARE(RunJob(audio, {"/in/one.wav", "/in/two.wav"}, host), 0);
        QCOMPARE(static_cast<int>(messages.Messages.size()), boxes);
        for (const auto& message : messages.Messages) {
            QCOMPARE(message.Kind, TMessageKind::Warning);
            QCOMPARE(message.Text, std::string(MsgCannotCreate));
        }
        // Each run's box names the tool it could not start; the closing box
        // names every file.
        for (int i = 0; i + 1 < boxes; ++i)
            QVERIFY(messages.Messages[size_t(i)].Detail.starts_with("Cannot start '" +
                                                                    m_tool->ToolPath() + "': "));
        QCOMPARE(messages.Messages.back().Detail,
                 std::string("Not converted:\n"
                             "one.wav: the conversion tool could not be started\n"
                             "two.wav: the conversion tool could not be started\n"));
        // Every file still has its command in the log.
        QCOMPARE(audio ? host.LinesStartingWith("RUN: ") : static_cast<int>(host.Log.size()), 2);
    }

    void cancelDuringTheThirdOfFive_data()
    {
        QTest::addColumn<bool>("audio");
        QTest::newRow("audio") << true;
        QTest::newRow("video") << false;
    }
    void cancelDuringTheThirdOfFive()
    {
        QFETCH(bool, audio);
        QVERIFY(m_tool->Install({}));
        const TEnvOverride oneAtATime(ToolJobsVariable, "1");
        const QStringList files{"/in/1.wav", "/in/2.wav", "/in/3 slow.wav", "/in/4.wav",
                                "/in/5.wav"};
        TMessageRecorder messages;
        TRecordingHost host;
        host.OnProgress = [audio](TRecordingHost& h) {
            const int started = audio ? h.LinesStartingWith("RUN: ") : int(h.Log.size());
            if (started == 3)
                h.Stop = true;
        };
        QCOMPARE(RunJob(audio, files, host), 2);

        QVERIFY(messages.Messages.empty());
        const QString ext = audio ? ".mp3" : ".avi";
        QVERIFY(QFile::exists(m_out + "/1_wav" + ext));
        QVERIFY(QFile::exists(m_out + "/2_wav" + ext));
        QVERIFY(!QFile::exists(m_out + "/3 slow_wav" + ext));
        QVERIFY(!QFile::exists(m_out + "/4_wav" + ext));
        // Files four and five are logged but the tool is not run for them.
        QCOMPARE(audio ? host.LinesStartingWith("RUN: ") : int(host.Log.size()), 5);
        QCOMPARE(m_tool->Calls().size(), size_t(audio ? 6 : 3));
        QVERIFY(host.Progress.back() < 100);
    }

    void cancelBeforeTheFirstFile()
    {
        QVERIFY(m_tool->Install({}));
        TMessageRecorder messages;
        TRecordingHost host;
        host.Stop = true;
        QCOMPARE(RunJob(true, {"/in/1.wav", "/in/2.wav"}, host), 0);
        QVERIFY(messages.Messages.empty());
        QVERIFY(m_tool->Calls().empty());
        QCOMPARE(host.LinesStartingWith("RUN: "), 2);
    }

    void outputsOfOneJobDoNotCollide_data()
    {
        QTest::addColumn<QByteArray>("jobs");
        QTest::newRow("one run at a time") << QByteArray("1");
        QTest::newRow("three at once") << QByteArray("3");
    }
    void outputsOfOneJobDoNotCollide()
    {
        QFETCH(QByteArray, jobs);
        const TEnvOverride width(ToolJobsVariable, jobs);
        // Three colliding names at once: the names are fixed before the first
        // run, whichever run ends first.
        TFakeToolPlan plan;
        plan.SleepSeconds = 0.2;
        QVERIFY(m_tool->Install(plan));
        // Present before the job: replaced, as the user asked for that name.
        QFile old(m_out + "/x_b.mp3");
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();

        TMessageRecorder messages;
        TRecordingHost host;
        const QStringList inputs{"/a/x.b", "/b/x_b", "/c/x.b"};
        QCOMPARE(RunJob(true, inputs, host), 3);
        const QStringList names{"x_b.mp3", "x_b (2).mp3", "x_b (3).mp3"};
        std::map<QString, QString> outputOf;  // input -> the output its convert run was given
        const auto calls = m_tool->Calls();
        QCOMPARE(calls.size(), size_t(6));
        for (const QStringList& call : calls) {
            if (call.front() != QLatin1String("-vn"))
                outputOf[call.at(1)] = call.back();
        }
        for (int i = 0; i < 3; ++i) {
            const QString output = m_out + "/" + names[i];
            QCOMPARE(outputOf[inputs[i]], output);
            QFile file(output);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("converted"));
        }
        // The log shows the name each file was really written under, in list order.
        int logged = 0;
        for (const std::string& line : host.Log) {
            if (line.rfind("RUN: ", 0) == 0)
                QVERIFY(QString::fromStdString(line).endsWith("/" + names[logged++] + "\""));
        }
        QCOMPARE(logged, 3);
        QCOMPARE(messages.Texts(), QStringList{MsgAudioConverted});
    }

    void inputsOfTheJobAreNeverOverwritten_data()
    {
        QTest::addColumn<bool>("audio");
        QTest::addColumn<QString>("folderSpelling");
        QTest::newRow("audio") << true << "";
        QTest::newRow("audio, folder spelled with ./") << true << "/./";
        QTest::newRow("video, folder spelled with //") << false << "//";
    }
    void inputsOfTheJobAreNeverOverwritten()
    {
        QFETCH(bool, audio);
        QFETCH(QString, folderSpelling);
        QVERIFY(m_tool->Install({}));
        // The first input's output name is the second input, which sits in
        // the destination folder and is still to be converted.
        const QString ext = audio ? "mp3" : "avi";
        const QString first = m_tool->File("in/a." + ext);
        const QString second = m_out + "/a_" + ext + "." + ext;
        QVERIFY(QDir().mkpath(m_tool->File("in")));
        for (const QString& path : {first, second}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("source");
        }

        TMessageRecorder messages;
        TRecordingHost host;
        int converted = 0;
        if (audio) {
            TAudioJobInput job = AudioJob({first, second});
            job.DestinationFolder = S(m_out + folderSpelling);
            converted = RunAudioJob(job, host);
        } else {
            TVideoJobInput job = VideoJob({first, second});
            job.DestinationFolder = S(m_out + folderSpelling);
            converted = RunVideoJob(job, host);
        }
        QCOMPARE(converted, 2);
        QFile kept(second);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("source"));
        QVERIFY(QFile::exists(m_out + "/a_" + ext + " (2)." + ext));
        QVERIFY(QFile::exists(m_out + "/a_" + ext + "_" + ext + "." + ext));
        QCOMPARE(messages.Texts(), QStringList{audio ? MsgAudioConverted : MsgVideoConverted});
    }

    void oddPathsReachTheToolWhole()
    {
        QVERIFY(m_tool->Install({}));
        const QString folder = m_tool->File("-out \"q\" ü [KHZ] -ab");
        QVERIFY(QDir().mkpath(folder));
        TAudioJobInput job =
            AudioJob({"/in/-a b 'c' \"d\" [AKBIT].ogg"}, "Vorbis-Encoded Audio (OGG)");
        job.DestinationFolder = " " + S(folder) + " ";
        TMessageRecorder messages;
        TRecordingHost host;
        QCOMPARE(RunAudioJob(job, host), 1);
        const QString output = folder + "/-a b 'c' \"d\" [AKBIT]_ogg.ogg";
        QVERIFY(QFile::exists(output));
        const auto calls = m_tool->Calls();
        QCOMPARE(calls[1].at(1), QStringLiteral("/in/-a b 'c' \"d\" [AKBIT].ogg"));
        QCOMPARE(calls[1].back(), output);
        QVERIFY(calls[1].contains("-aq"));
    }
};

QTEST_GUILESS_MAIN(TestConvertJobs)
#include "tst_ConvertJobs.moc"
