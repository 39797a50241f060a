// The built tool sharing one sound stream's encoding out over several
// threads: AC-3, WMA and MP2 coded in blocks must give the very file one
// encoder gives, at every join, for every kind of sound (MP2 at 44.1 kHz
// nearly: its padding pattern is too long to follow); MP3 and AAC must be as good
// as one encoder's; and a run stopped midway must leave nothing. Small blocks
// ($FFMOD_SPLIT_BLOCK_FRAMES) give a short input many joins; $FFMOD_SPLIT_JOINS tells where they
// fell.
#include <QtTest>

#include <QProcess>

#include <sys/mount.h>
#include <sys/stat.h>

#include <csignal>

#include "tests/support/SoundMeasures.h"
#include "tests/tool/FfmodTestTools.h"

namespace {

// Frames per block asked for: each codec rounds it up to its padding period.
constexpr int kBlockFrames = 7;

// The tool run on input with -threads threads and small blocks (or
// blockFrames); the frames
// where blocks were joined in joins (none when it kept one encoder).
TRun Convert(const QString& input, const QString& settings, const QString& output, int threads,
             QStringList* joins = nullptr, int blockFrames = kBlockFrames)
{
    const QString joinsFile = output + ".joins";
    QFile::remove(joinsFile);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (blockFrames > 0)  // else the tool's own blocks
        env.insert("FFMOD_SPLIT_BLOCK_FRAMES", QString::number(blockFrames));
    env.insert("FFMOD_SPLIT_JOINS", joinsFile);
    const TRun run =
        Run(kTool, ConvertArgs(input, settings + " -threads " + QString::number(threads), output),
            60000, env);
    if (joins) {
        const QByteArray text = ReadAll(joinsFile);
        *joins = QString::fromLatin1(text).split('\n', Qt::SkipEmptyParts);
    }
    QFile::remove(joinsFile);
    return run;
}

// input converted with one thread to one, and with two to split; empty when
// both runs succeeded and split was joined at least twice and decodes
// cleanly, else what went wrong.
QString OneAndSplit(const QString& input, const QString& settings, const QString& one,
                    const QString& split, QStringList& joins, int blockFrames = kBlockFrames)
{
    TRun run = Convert(input, settings, one, 1, nullptr, blockFrames);
    if (run.ExitCode != 0)
        return run.Output.right(400);
    run = Convert(input, settings, split, 2, &joins, blockFrames);
    if (run.ExitCode != 0)
        return run.Output.right(400);
    if (joins.size() < 2)
        return "joined at " + joins.join(' ');
    return DecodeErrors(split);
}

// The decoded sound of path as 16-bit samples, all channels; empty when it
// does not decode.
QByteArray DecodedPcm(const QString& path)
{
    QProcess ffmpeg;
    ffmpeg.setStandardInputFile(QProcess::nullDevice());
    ffmpeg.start("ffmpeg", {"-v", "error", "-nostdin", "-i", path, "-f", "s16le", "-"});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
        return {};
    return ffmpeg.readAllStandardOutput();
}

int ThreadsOf(qint64 pid)
{
    return QDir(QString("/proc/%1/task").arg(pid))
        .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
        .size();
}

}  // namespace

class TFfmodSplitTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameAsOneEncoder_data();
    void sameAsOneEncoder();
    void closeToOneEncoder_data();
    void closeToOneEncoder();
    void mp2NearOneEncoder_data();
    void mp2NearOneEncoder();
    void shortInputKeepsOneEncoder();
    void stopMidway();
    void fullDisk();

private:
    QString In(const QString& name) const { return m_dir.filePath(name); }
    QString FreshDir(const QString& name) const { return FreshDirIn(m_dir, name); }
    bool MakeSounds(const QString& seconds, const QString& suffix) const;

    QTemporaryDir m_dir;
};

// The test sounds, seconds long, named with suffix.
bool TFfmodSplitTest::MakeSounds(const QString& d, const QString& suffix) const
{
    bool ok = true;
    // Music-like: two tones and pink noise, the channels differing.
    ok = ok &&
         MakeMedia({"-f", "lavfi", "-i", "sine=f=440:r=44100:d=" + d, "-f", "lavfi", "-i",
                    "sine=f=1250:r=44100:d=" + d, "-f", "lavfi", "-i",
                    "anoisesrc=c=pink:a=0.2:r=44100:d=" + d, "-filter_complex",
                    "[0][1][2]amix=3,pan=stereo|c0=c0|c1=0.6*c0", In("music44" + suffix + ".wav")});
    ok = ok &&
         MakeMedia({"-f", "lavfi", "-i", "sine=f=330:r=48000:d=" + d, "-f", "lavfi", "-i",
                    "anoisesrc=a=0.1:r=48000:d=" + d, "-filter_complex",
                    "[0][1]amix=2,pan=stereo|c0=c0|c1=0.8*c1", In("music48" + suffix + ".wav")});
    // Speech-like: voiced bursts of a few hundred ms with pauses.
    ok = ok && MakeMedia({"-f", "lavfi", "-i",
                          "aevalsrc='0.6*sin(2*PI*(150+40*sin(2*PI*2*t))*t)*sin(2*PI*3*t)"
                          "*gt(sin(2*PI*0.45*t),-0.2)':s=48000:d=" +
                              d,
                          "-ac", "1", In("speech48" + suffix + ".wav")});
    ok = ok && MakeMedia({"-f", "lavfi", "-i",
                          "aevalsrc='0.6*sin(2*PI*(170+50*sin(2*PI*2*t))*t)*sin(2*PI*3*t)"
                          "*gt(sin(2*PI*0.45*t),-0.2)':s=44100:d=" +
                              d,
                          "-ac", "1", In("speech44" + suffix + ".wav")});
    // Silence with a click every 0.37 s.
    ok = ok && MakeMedia({"-f", "lavfi", "-i",
                          "aevalsrc='if(lt(mod(t,0.37),0.0004),0.9,0)':s=44100:d=" + d, "-ac", "2",
                          In("clicks44" + suffix + ".wav")});
    // The speech-like sound on two channels, one softer.
    ok = ok && MakeMedia({"-i", In("speech44" + suffix + ".wav"), "-af",
                          "pan=stereo|c0=c0|c1=0.7*c0", In("speech44s" + suffix + ".wav")});
    return ok;
}

void TFfmodSplitTest::initTestCase()
{
    QVERIFY(QFileInfo(kTool).isExecutable());
    QVERIFY(m_dir.isValid());
    QVERIFY(MakeSounds("12", ""));
    QVERIFY(MakeSounds("60", "_60"));
    // One sample past a block's first frame (the blocks start one lead-in
    // frame past a multiple of the block): AC-3 at 44.1 kHz and 192 kbit/s
    // (blocks of 49 frames of 1536), WMA at 44.1 kHz (7 of 2048), MP2 at
    // 48 kHz (7 of 1152).
    const auto edge = [this](int rate, int samples, const QString& name) {
        return MakeMedia({"-f", "lavfi", "-i", QString("sine=f=523:r=%1:d=12").arg(rate), "-af",
                          QString("atrim=end_sample=%1").arg(samples), In(name)});
    };
    QVERIFY(edge(44100, (3 * 49 + 1) * 1536 + 1, "edge_ac3.wav"));
    QVERIFY(edge(44100, (30 * 7 + 1) * 2048 + 1, "edge_wma.wav"));
    QVERIFY(edge(48000, (40 * 7 + 1) * 1152 + 1, "edge_mp2.wav"));
}

void TFfmodSplitTest::sameAsOneEncoder_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<bool>("splits");  // false: the codec keeps one encoder there

    QTest::newRow("AC-3, music, 44.1 kHz stereo") << "music44.wav"
                                                  << "ac3"
                                                  << "" << true;
    QTest::newRow("AC-3, music, 48 kHz stereo") << "music48.wav"
                                                << "ac3"
                                                << "-ab 384k" << true;
    QTest::newRow("AC-3, speech, 48 kHz mono") << "speech48.wav"
                                               << "ac3"
                                               << "-ab 96k" << true;
    QTest::newRow("AC-3, clicks, 44.1 kHz, 640k (147-frame pattern)") << "clicks44.wav"
                                                                      << "ac3"
                                                                      << "-ab 640k" << true;
    QTest::newRow("AC-3, speech, 44.1 kHz mono, 128k") << "speech44.wav"
                                                       << "ac3"
                                                       << "-ab 128k" << true;
    QTest::newRow("AC-3, one sample past a block") << "edge_ac3.wav"
                                                   << "ac3"
                                                   << "-ab 192k" << true;
    QTest::newRow("WMA, music, 44.1 kHz stereo") << "music44.wav"
                                                 << "wma"
                                                 << "" << true;
    QTest::newRow("WMA, speech, 48 kHz mono") << "speech48.wav"
                                              << "wma"
                                              << "-ab 64k" << true;
    QTest::newRow("WMA, clicks, 44.1 kHz stereo") << "clicks44.wav"
                                                  << "wma"
                                                  << "-ab 128k" << true;
    QTest::newRow("WMA, one sample past a block") << "edge_wma.wav"
                                                  << "wma"
                                                  << "" << true;
    QTest::newRow("MP2 in MPG, music") << "music44.wav"
                                       << "mpg"
                                       << "-vn" << true;
    QTest::newRow("MP2 in MPEG, speech, 48 kHz mono") << "speech48.wav"
                                                      << "mpeg"
                                                      << "-vn -ab 64k" << true;
    QTest::newRow("MP2 in MPEG, clicks, 32 kHz") << "clicks44.wav"
                                                 << "mpeg"
                                                 << "-vn -ar 32000" << true;
    QTest::newRow("MP2, one sample past a block") << "edge_mp2.wav"
                                                  << "mpeg"
                                                  << "-vn" << true;
    // FFmpeg's AAC blocks above 128 kbit/s a channel still lose
    // signal-to-noise against one encoder on speech and clicks, and a quality
    // setting gives the lead-in no rate to steer by: those keep one encoder.
    QTest::newRow("AAC in M4A, mono at 320k: one encoder")
        << "speech48.wav"
        << "m4a"
        << "-vn -acodec libfaac -ab 320k" << false;
    QTest::newRow("AAC in M4A, stereo at 320k: one encoder")
        << "clicks44.wav"
        << "m4a"
        << "-vn -acodec libfaac -ab 320k" << false;
    QTest::newRow("AAC in M4A, a quality setting: one encoder")
        << "music44.wav"
        << "m4a"
        << "-vn -acodec libfaac -aq 1" << false;
}

void TFfmodSplitTest::sameAsOneEncoder()
{
    QFETCH(QString, input);
    QFETCH(QString, extension);
    QFETCH(QString, settings);
    QFETCH(bool, splits);
    const QString dir = FreshDir("same");
    const QString one = dir + "/one." + extension;
    QStringList joins;
    TRun run = Convert(In(input), settings, one, 1, &joins);
    QVERIFY2(run.ExitCode == 0, qPrintable(run.Output.right(400)));
    QCOMPARE(joins, QStringList());
    const QByteArray oneBytes = ReadAll(one);
    const QByteArray onePcm = DecodedPcm(one);
    QVERIFY(!onePcm.isEmpty());

    for (int threads : {2, 3}) {
        const QString split = dir + QString("/split%1.").arg(threads) + extension;
        run = Convert(In(input), settings, split, threads, &joins);
        QVERIFY2(run.ExitCode == 0, qPrintable(run.Output.right(400)));
        if (splits)
            QVERIFY2(joins.size() >= 2, qPrintable(joins.join(' ')));
        else
            QCOMPARE(joins, QStringList());
        QCOMPARE(DecodeErrors(split), QString());
        const QByteArray pcm = DecodedPcm(split);
        QCOMPARE(pcm.size(), onePcm.size());  // as many samples
        QVERIFY2(pcm == onePcm, "the decoded sound differs from one encoder's");
        QVERIFY2(ReadAll(split) == oneBytes, "the file differs from one encoder's");
    }
}

void TFfmodSplitTest::closeToOneEncoder_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("rate");
    QTest::addColumn<QString>("bitRate");
    QTest::addColumn<QString>("codec");  // and the extension of its file
    for (const char* bitRate : {"64k", "128k", "320k"}) {
        QTest::addRow("mp3, music, 44.1 kHz stereo, %s", bitRate)
            << "music44.wav" << 2 << 44100 << bitRate << "mp3";
        QTest::addRow("mp3, speech, 48 kHz mono, %s", bitRate)
            << "speech48.wav" << 1 << 48000 << bitRate << "mp3";
        QTest::addRow("mp3, clicks, 44.1 kHz stereo, %s", bitRate)
            << "clicks44.wav" << 2 << 44100 << bitRate << "mp3";
    }
    // An AAC encoder's state settles over its first half minute: a minute
    // of sound in the tool's own blocks (15 s), as a long file is shared out.
    for (const char* bitRate : {"64k", "128k", "192k", "256k"}) {
        QTest::addRow("m4a, music, 44.1 kHz stereo, %s", bitRate)
            << "music44_60.wav" << 2 << 44100 << bitRate << "m4a";
        QTest::addRow("m4a, speech, 44.1 kHz stereo, %s", bitRate)
            << "speech44s_60.wav" << 2 << 44100 << bitRate << "m4a";
        QTest::addRow("m4a, clicks, 44.1 kHz stereo, %s", bitRate)
            << "clicks44_60.wav" << 2 << 44100 << bitRate << "m4a";
    }
    for (const char* bitRate : {"64k", "128k"}) {
        QTest::addRow("m4a, speech, 48 kHz mono, %s", bitRate)
            << "speech48_60.wav" << 1 << 48000 << bitRate << "m4a";
    }
}

// MP3 blocks keep the bit reservoir, and AAC's encoders carry their rate
// control: the joined file is no exact copy of one encoder's, but it must
// decode to as many samples, as close to the source, and show no seam where
// the blocks meet.
void TFfmodSplitTest::closeToOneEncoder()
{
    QFETCH(QString, input);
    QFETCH(int, channels);
    QFETCH(int, rate);
    QFETCH(QString, bitRate);
    QFETCH(QString, codec);
    const QString dir = FreshDir("close");
    const bool mp3 = codec == "mp3";
    const QString settings =
        QString("-vn -acodec %1 -ab ").arg(mp3 ? "libmp3lame" : "libfaac") + bitRate;
    const QString one = dir + "/one." + codec;
    const QString split = dir + "/split." + codec;
    QStringList joins;
    const QString failed =
        OneAndSplit(In(input), settings, one, split, joins, mp3 ? kBlockFrames : 0);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));

    TPcm source;
    TPcm alone;
    TPcm shared;
    QString printed;
    QVERIFY(DecodePcm(In(input), channels, rate, source, printed));
    QVERIFY(DecodePcm(one, channels, rate, alone, printed));
    QVERIFY(DecodePcm(split, channels, rate, shared, printed));
    QCOMPARE(shared.Frames(), alone.Frames());
    if (mp3)  // the M4A edit list of one encoder's file keeps a few samples more
        QCOMPARE(shared.Frames(), source.Frames());
    const double loss = SignalToNoise(source, alone) - SignalToNoise(source, shared);
    QVERIFY2(loss <= 0.2, qPrintable(QString("%1 dB less than one encoder").arg(loss)));
    std::vector<std::int64_t> at;
    for (const QString& frame : joins)
        at.push_back(frame.toLongLong() * (mp3 ? 1152 : 1024));
    // Two encoders' noise differs everywhere after the first join; a real
    // seam is many times what differs elsewhere.
    const TSeamMeasure seam = SeamDifference(alone, shared, at);
    QVERIFY2(
        seam.NearJoins <= 1.25 * seam.Elsewhere + 0.001,
        qPrintable(
            QString("%1 near the joins, %2 elsewhere").arg(seam.NearJoins).arg(seam.Elsewhere)));
}

void TFfmodSplitTest::mp2NearOneEncoder_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QString>("settings");
    QTest::newRow("music, 44.1 kHz stereo") << "music44.wav" << 2 << "-vn";
    QTest::newRow("music, 44.1 kHz stereo, 128k") << "music44.wav" << 2 << "-vn -ab 128k";
    QTest::newRow("speech, 44.1 kHz mono, 64k") << "speech44.wav" << 1 << "-vn -ab 64k";
    QTest::newRow("clicks, 44.1 kHz stereo, 384k") << "clicks44.wav" << 2 << "-vn -ab 384k";
    QTest::newRow("music, 22.05 kHz stereo, 96k") << "music44.wav" << 2 << "-vn -ar 22050 -ab 96k";
}

// MP2 at 44.1 and 22.05 kHz pads its frames by a pattern that repeats only
// after 65,536 frames: every block's encoder starts where its pattern comes
// nearest the stream's, so only now and then does a frame differ from one
// encoder's, by its byte of padding.
void TFfmodSplitTest::mp2NearOneEncoder()
{
    QFETCH(QString, input);
    QFETCH(int, channels);
    QFETCH(QString, settings);
    const int rate = settings.contains("22050") ? 22050 : 44100;
    const QString dir = FreshDir("mp2");
    const QString one = dir + "/one.mpeg";
    const QString split = dir + "/split.mpeg";
    QStringList joins;
    const QString failed = OneAndSplit(In(input), settings, one, split, joins);
    QVERIFY2(failed.isEmpty(), qPrintable(failed));

    TPcm alone;
    TPcm shared;
    QString printed;
    QVERIFY(DecodePcm(one, channels, rate, alone, printed));
    QVERIFY(DecodePcm(split, channels, rate, shared, printed));
    QCOMPARE(shared.Frames(), alone.Frames());
    // Frames of 1152 samples that differ by more than the decoder's last bit.
    const std::size_t frame = 1152 * static_cast<std::size_t>(channels);
    int differing = 0;
    int frames = 0;
    for (std::size_t at = 0; at < alone.Samples.size(); at += frame, ++frames) {
        const std::size_t end = std::min(at + frame, alone.Samples.size());
        for (std::size_t i = at; i < end; ++i) {
            if (std::abs(alone.Samples[i] - shared.Samples[i]) > 2.0f / 32768) {
                ++differing;
                break;
            }
        }
    }
    QVERIFY2(differing * 50 <= frames,
             qPrintable(QString("%1 of %2 frames differ").arg(differing).arg(frames)));
    QVERIFY2(SignalToNoise(alone, shared) >= 40,
             qPrintable(QString("%1 dB from one encoder's").arg(SignalToNoise(alone, shared))));
}

void TFfmodSplitTest::shortInputKeepsOneEncoder()
{
    // Without small blocks, 12 s is too short for blocks to pay.
    const QString dir = FreshDir("short");
    const QString out = dir + "/music44.ac3";
    const QString joinsFile = out + ".joins";
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("FFMOD_SPLIT_JOINS", joinsFile);
    process.setProcessEnvironment(env);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(kTool, ConvertArgs(In("music44.wav"), "-threads 2", out));
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(!QFile::exists(joinsFile));
    QCOMPARE(DecodeErrors(out), QString());
}

void TFfmodSplitTest::stopMidway()
{
    // The input comes through a FIFO at the pace of real time, so the run is
    // surely midway, its block threads going, when it is stopped.
    const QString dir = FreshDir("stop");
    const QString fifo = m_dir.filePath("live.wav");
    QFile::remove(fifo);
    QVERIFY(::mkfifo(fifo.toLocal8Bit().constData(), 0600) == 0);
    QProcess source;
    source.setStandardInputFile(QProcess::nullDevice());
    source.start("ffmpeg", {"-v", "error", "-nostdin", "-re", "-f", "lavfi", "-i",
                            "sine=f=440:r=48000:d=30", "-f", "wav", "-y", fifo});
    QVERIFY(source.waitForStarted());

    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.setStandardInputFile(QProcess::nullDevice());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("FFMOD_SPLIT_BLOCK_FRAMES", QString::number(kBlockFrames));
    tool.setProcessEnvironment(env);
    const QString out = dir + "/live.ac3";
    tool.start(kTool, ConvertArgs(fifo, "-threads 3", out));
    QVERIFY(tool.waitForStarted());
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += tool.readAll()).contains("time="), 15000);
    // The reader, the watchdog and the block threads.
    QTRY_VERIFY_WITH_TIMEOUT(ThreadsOf(tool.processId()) >= 4, 5000);
    ::kill(static_cast<pid_t>(tool.processId()), SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(tool.state() == QProcess::NotRunning, 1000);
    output += tool.readAll();
    source.kill();
    source.waitForFinished();
    QFile::remove(fifo);
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 255);
    QVERIFY2(output.contains("Received signal 15: terminating."), output.right(200).constData());
    QCOMPARE(EntriesOf(dir), QStringList());
}

void TFfmodSplitTest::fullDisk()
{
    // A write that fails while blocks are being coded ends the run with the
    // reason, and leaves nothing.
    const QString dir = FreshDir("full");
    if (::mount("tmpfs", dir.toLocal8Bit().constData(), "tmpfs", 0, "size=64k") != 0)
        QSKIP("a small file system cannot be mounted here");
    const TRun run = Convert(In("music44.wav"), "-ab 448k", dir + "/music44.ac3", 2);
    const QStringList left = EntriesOf(dir);
    ::umount(dir.toLocal8Bit().constData());
    QCOMPARE(run.ExitCode, 1);
    QVERIFY2(run.Output.contains("No space left on device"), qPrintable(run.Output.right(400)));
    QVERIFY2(run.Output.contains("music44.ac3"), qPrintable(run.Output.right(400)));
    QCOMPARE(left, QStringList());
}

QTEST_GUILESS_MAIN(TFfmodSplitTest)
#include "tst_FfmodSplit.moc"
