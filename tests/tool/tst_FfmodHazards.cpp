// The built conversion tool on inputs damaged in ways that made it run away,
// stall or write a file that does not decode, and on output paths that hold
// something other than a file. The damaged files are made here, from media
// made by the ffmpeg program.
#include <QtTest>

#include <QLocalServer>

#include <sys/stat.h>

#include "FfmodTestTools.h"

class TFfmodHazardsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void outputNotAFile_data();
    void outputNotAFile();

private:
    QString In(const QString& name) const { return m_dir.filePath(name); }
    QString FreshDir(const QString& name);

    QTemporaryDir m_dir;
};

void TFfmodHazardsTest::initTestCase()
{
    QVERIFY(QFileInfo(kTool).isExecutable());
    QVERIFY(m_dir.isValid());
    QVERIFY(MakeMedia({"-f", "lavfi", "-i", "sine=d=1:r=44100", In("tone.wav")}));
}

QString TFfmodHazardsTest::FreshDir(const QString& name)
{
    const QString path = m_dir.filePath(name);
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    return path;
}

void TFfmodHazardsTest::outputNotAFile_data()
{
    QTest::addColumn<QString>("node");
    QTest::addColumn<QString>("what");
    QTest::newRow("FIFO") << "fifo"
                          << "a FIFO";
    QTest::newRow("socket") << "socket"
                            << "a socket";
    QTest::newRow("link to a device") << "link"
                                      << "a character device";
    QTest::newRow("folder") << "folder"
                            << "a folder";
}

void TFfmodHazardsTest::outputNotAFile()
{
    QFETCH(QString, node);
    QFETCH(QString, what);
    const QString dir = FreshDir("nodes");
    const QString out = dir + "/out.mp3";
    QLocalServer server;
    if (node == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(out.toUtf8().constData(), 0644), 0);
    else if (node == QLatin1String("socket"))
        QVERIFY(server.listen(out));
    else if (node == QLatin1String("link"))
        QVERIFY(QFile::link("/dev/null", out));
    else
        QVERIFY(QDir().mkdir(out));
    struct stat before
    {
    };
    QCOMPARE(::lstat(out.toUtf8().constData(), &before), 0);

    const TRun run = Run(kTool, ConvertArgs(In("tone.wav"), "-vn -acodec libmp3lame", out));
    QCOMPARE(run.ExitCode, 1);
    const QString line = "\nCannot write '" + out + "': " + what + " is there, not a file";
    QVERIFY2(run.Output.contains(line), qPrintable(run.Output.right(400)));
    // Refused before anything was written: no output block, nothing beside it.
    QVERIFY(!run.Output.contains("Output #0"));
    QCOMPARE(EntriesOf(dir), QStringList{"out.mp3"});
    struct stat after
    {
    };
    QCOMPARE(::lstat(out.toUtf8().constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_mode, before.st_mode);
}

QTEST_GUILESS_MAIN(TFfmodHazardsTest)
#include "tst_FfmodHazards.moc"
