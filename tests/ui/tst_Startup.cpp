// Start-up: writing the carried tool, and the program's start and end.

#include <sys/mount.h>
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

// A small tmpfs mounted over a temporary folder while the object lives.
class TSmallTmpfs
{
public:
    explicit TSmallTmpfs(const char* options)
        : m_point(QFile::encodeName(m_dir.path())),
          m_mounted(::mount("tmpfs", m_point.constData(), "tmpfs", 0, options) == 0)
    {}
    ~TSmallTmpfs()
    {
        if (m_mounted)
            ::umount(m_point.constData());
    }
    TSmallTmpfs(const TSmallTmpfs&) = delete;
    TSmallTmpfs& operator=(const TSmallTmpfs&) = delete;

    bool IsMounted() const { return m_mounted; }
    const QTemporaryDir& Dir() const { return m_dir; }

private:
    QTemporaryDir m_dir;
    QByteArray m_point;
    bool m_mounted;
};

}  // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void writesExactBytesExecutable_data();
    void writesExactBytesExecutable();
    void failures_data();
    void failures();
    void fullFolderNamesFileAndReason_data();
    void fullFolderNamesFileAndReason();
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

void TestStartup::fullFolderNamesFileAndReason_data()
{
    QTest::addColumn<QByteArray>("leftover");
    QTest::newRow("empty folder") << QByteArray();
    QTest::newRow("the previous tool stays as it was") << QByteArray(20000, 'p');
}

void TestStartup::fullFolderNamesFileAndReason()
{
    QFETCH(QByteArray, leftover);
    TSmallTmpfs full("size=64k,mode=0700");
    if (!full.IsMounted())
        QSKIP("mounting a tmpfs is not allowed here");
    const QString path = full.Dir().filePath(QStringLiteral("ffmod.exe"));
    if (!leftover.isEmpty()) {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        QCOMPARE(old.write(leftover), qint64(leftover.size()));
    }
    const QByteArray tool(1 << 20, 'T');  // far more than the folder holds
    const std::string error = ExtractTool(tool.constData(), size_t(tool.size()), Dir(full.Dir()));
    const std::string expected = "Stream write error: cannot write file \"" + path.toStdString() +
                                 "\". No space left on device";
    QCOMPARE(error, expected);
    QVERIFY(Leftovers(full.Dir()).isEmpty());  // no partial tool beside it
    QCOMPARE(ReadAll(path), leftover);
    QCOMPARE(QFile::exists(path), !leftover.isEmpty());
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
