// Start-up: writing the carried tool, and the program's start and end.

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "app/ToolExtractionUnit.h"

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::string Dir(const QTemporaryDir& dir)
{
    return dir.path().toStdString() + "/";
}

QStringList Leftovers(const QTemporaryDir& dir)
{
    return QDir(dir.path())
        .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)
        .filter(QStringLiteral("ffmod.exe."));
}

// A private runtime directory, the seam GetTempDirectory honours.
QProcessEnvironment ProgramEnvironment(const QTemporaryDir& runtime, const QString& shots)
{
    QFile::setPermissions(runtime.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QUORVEX_SCREENSHOT_DIR"), shots);
    return env;
}

}  // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void writesExactBytesExecutable_data();
    void writesExactBytesExecutable();
    void failures_data();
    void failures();
    void replacesToolWhileOldCopyRuns();
    void programStartsIgnoresArgumentsAndLeavesTool();
};

void TestStartup::writesExactBytesExecutable_data()
{
    QTest::addColumn<QByteArray>("leftover");
    QTest::addColumn<int>("size");
    QTest::newRow("fresh directory") << QByteArray() << 4096;
    QTest::newRow("larger leftover is replaced whole") << QByteArray(100000, 'x') << 5000;
    QTest::newRow("smaller leftover") << QByteArray("old") << 70000;
    QTest::newRow("empty tool") << QByteArray("old") << 0;
}

void TestStartup::writesExactBytesExecutable()
{
    QFETCH(QByteArray, leftover);
    QFETCH(int, size);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ffmod.exe"));
    if (!leftover.isEmpty()) {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(leftover);
    }
    QByteArray tool(size, '\0');
    for (int i = 0; i < size; ++i)
        tool[i] = char((i * 7919) & 0xFF);
    const ::mode_t previous = ::umask(077);
    const std::string error = ExtractTool(tool.constData(), size_t(tool.size()), Dir(dir));
    ::umask(previous);
    QCOMPARE(error, std::string());
    QCOMPARE(ReadAll(path), tool);
    struct stat st
    {
    };
    QCOMPARE(::stat(path.toLocal8Bit().constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), 0755);
    QVERIFY(Leftovers(dir).isEmpty());
}

void TestStartup::failures_data()
{
    QTest::addColumn<QString>("setup");
    QTest::newRow("missing directory") << "missing";
    QTest::newRow("a directory in the tool's place") << "directory";
}

void TestStartup::failures()
{
    QFETCH(QString, setup);
    QTemporaryDir dir;
    std::string where = Dir(dir);
    if (setup == QLatin1String("missing"))
        where += "not here/";
    else
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("ffmod.exe")));
    const QByteArray tool(1000, 'T');
    const std::string error = ExtractTool(tool.constData(), size_t(tool.size()), where);
    const std::string expected = "Cannot create file \"" + where + "ffmod.exe\". ";
    QVERIFY2(error.rfind(expected, 0) == 0, error.c_str());
    QVERIFY(error.size() > expected.size());  // the system's reason follows
    QVERIFY(Leftovers(dir).isEmpty());
}

void TestStartup::replacesToolWhileOldCopyRuns()
{
    // A second start while the first one's tool still runs must succeed,
    // and the running tool must not be disturbed.
    QTemporaryDir dir;
    const QByteArray first = "#!/bin/sh\necho ready\nread line\necho first:$line\n";
    QCOMPARE(ExtractTool(first.constData(), size_t(first.size()), Dir(dir)), std::string());
    QProcess running;
    running.start(dir.filePath(QStringLiteral("ffmod.exe")), {});
    QVERIFY(running.waitForStarted(5000));
    // Once it speaks, the shell holds the script open.
    QVERIFY(running.waitForReadyRead(5000));
    QCOMPARE(running.readLine(), QByteArray("ready\n"));
    const QByteArray second = "#!/bin/sh\necho second\n";
    QCOMPARE(ExtractTool(second.constData(), size_t(second.size()), Dir(dir)), std::string());
    running.write("go\n");
    running.closeWriteChannel();
    QVERIFY(running.waitForFinished(5000));
    QCOMPARE(running.readAllStandardOutput(), QByteArray("first:go\n"));
    QCOMPARE(ReadAll(dir.filePath(QStringLiteral("ffmod.exe"))), second);
}

void TestStartup::programStartsIgnoresArgumentsAndLeavesTool()
{
    const QString program = QStringLiteral(QUORVEX_BINARY_DIR "/app/quorvex");
    const QString carried = QStringLiteral(QUORVEX_BINARY_DIR "/tool/ffmod");
    QTemporaryDir runtime;
    QTemporaryDir shots;
    const QString tool = runtime.filePath(QStringLiteral("ffmod.exe"));
    {
        QFile old(tool);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("a leftover of another size");
    }
    QProcess process;
    process.setProcessEnvironment(ProgramEnvironment(runtime, shots.path()));
    // The program saves its pictures and ends by itself.
    // Toolkit options too: a platform that does not exist would stop the
    // start, a mirrored layout would change the window.
    process.start(program, {QStringLiteral("--help"), QStringLiteral("-x"),
                            QStringLiteral("file.mp3"), QStringLiteral("-platform"),
                            QStringLiteral("no-such-platform"), QStringLiteral("-reverse")});
    QVERIFY(process.waitForStarted(10000));
    QVERIFY2(process.waitForFinished(60000), process.readAllStandardError().constData());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(QFile::exists(shots.filePath(QStringLiteral("page-audio.png"))));
    if (!QFile::exists(carried))
        QSKIP("this build carries no conversion tool");
    QCOMPARE(ReadAll(tool), ReadAll(carried));  // still there after the end
    QVERIFY(QFileInfo(tool).isExecutable());
}

QTEST_MAIN(TestStartup)
#include "tst_Startup.moc"
