// The base library: the part file's final name, the port line and the version.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include "base/PartFile.h"
#include "base/ResolverProtocol.h"
#include "base/Version.h"

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A part file in FOLDER holding BYTES, closed and ready to be named.
bool MakeFinished(TPartFile& part, const QByteArray& bytes)
{
    return part.Create() && part.Write(bytes.constData(), size_t(bytes.size())) && part.Finish();
}

}  // namespace

class TBaseTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void takeNameNeverReplaces_data();
    void takeNameNeverReplaces();
    void replaceNameReplaces();
    void freeNameDrawsAgain();
    void unfinishedFileLeavesNothing();
    void hiddenNameKeepsItsSuffix();
    void portLine_data();
    void portLine();
    void versionIsTheProjects();

private:
    QString Path(const QString& name) const { return m_dir->filePath(name); }
    std::string Folder() const { return m_dir->path().toStdString(); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TBaseTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TBaseTest::takeNameNeverReplaces_data()
{
    QTest::addColumn<QString>("standing");  // what stands under the name already
    QTest::newRow("nothing") << "";
    QTest::newRow("a file") << "file";
    QTest::newRow("a dangling link") << "link";
    QTest::newRow("a folder") << "folder";
}

void TBaseTest::takeNameNeverReplaces()
{
    QFETCH(QString, standing);
    const QString target = Path("a.mp3");
    if (standing == "file")
        QVERIFY(WriteAll(target, "old"));
    else if (standing == "link")
        QVERIFY(::symlink("nowhere", target.toLocal8Bit().constData()) == 0);
    else if (standing == "folder")
        QVERIFY(QDir(m_dir->path()).mkdir("a.mp3"));

    TPartFile part(Folder());
    QVERIFY(MakeFinished(part, "new"));
    const TPartFile::TTake take = part.TakeName(target.toStdString());
    if (standing.isEmpty()) {
        QCOMPARE(take, TPartFile::TTake::Taken);
        QCOMPARE(ReadAll(target), QByteArray("new"));
        QVERIFY(!QFile::exists(QString::fromStdString(part.Path())));
    } else {
        QCOMPARE(take, TPartFile::TTake::NameInUse);
        QCOMPARE(part.ErrorNumber(), EEXIST);
        if (standing == "file")
            QCOMPARE(ReadAll(target), QByteArray("old"));
        if (standing == "link")
            QCOMPARE(QFile::symLinkTarget(target).endsWith("nowhere"), true);
    }
}

void TBaseTest::replaceNameReplaces()
{
    const QString target = Path("a.mp3");
    QVERIFY(WriteAll(target, "old"));
    {
        TPartFile part(Folder());
        QVERIFY(MakeFinished(part, "new"));
        QVERIFY2(part.ReplaceName(target.toStdString()), part.Error().c_str());
    }
    QCOMPARE(ReadAll(target), QByteArray("new"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"a.mp3"});
}

void TBaseTest::freeNameDrawsAgain()
{
    QVERIFY(WriteAll(Path("1.flv"), "old"));
    const std::vector<std::string> names{"1.flv", "1.flv", "2.flv"};
    size_t next = 0;
    TPartFile part(Folder());
    QVERIFY(MakeFinished(part, "new"));
    std::string taken;
    QVERIFY(part.TakeFreeName([&] { return names.at(next++); }, 5, taken));
    QCOMPARE(taken, std::string("2.flv"));
    QCOMPARE(ReadAll(Path("1.flv")), QByteArray("old"));
    QCOMPARE(ReadAll(Path("2.flv")), QByteArray("new"));

    // Every draw taken: a failure naming the folder, nothing replaced.
    TPartFile again(Folder());
    QVERIFY(MakeFinished(again, "newer"));
    QVERIFY(!again.TakeFreeName([] { return std::string("1.flv"); }, 3, taken));
    QVERIFY(again.Error().find(Folder()) != std::string::npos);
    QCOMPARE(ReadAll(Path("1.flv")), QByteArray("old"));
}

void TBaseTest::unfinishedFileLeavesNothing()
{
    {
        TPartFile part(Folder());
        QVERIFY(part.Create());
        QVERIFY(part.Write("abc", 3));
        // Not finished: it cannot be named, and goes with its owner.
        QCOMPARE(part.TakeName(Path("a.mp3").toStdString()), TPartFile::TTake::Failed);
        QVERIFY(QFile::exists(QString::fromStdString(part.Path())));
    }
    QVERIFY(QDir(m_dir->path())
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                .isEmpty());
}

void TBaseTest::hiddenNameKeepsItsSuffix()
{
    TPartFile download(Folder());
    QVERIFY(download.Create());
    const QString name = QFileInfo(QString::fromStdString(download.Path())).fileName();
    QVERIFY2(QRegularExpression("^\\.quorvex-[A-Za-z0-9]{6}\\.part$").match(name).hasMatch(),
             qPrintable(name));

    // A folder that is not there: the failure says which.
    TPartFile missing(Folder() + "/gone");
    QVERIFY(!missing.Create());
    QVERIFY(missing.Error().find("/gone") != std::string::npos);
    QCOMPARE(missing.ErrorNumber(), ENOENT);
}

void TBaseTest::portLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<uint>("port");
    QTest::newRow("printed") << QByteArray(PortLine(8790).c_str()) << 8790u;
    QTest::newRow("highest") << QByteArray("65535\r\n") << 65535u;
    QTest::newRow("out of range") << QByteArray("65536\n") << 0u;
    QTest::newRow("zero") << QByteArray("0\n") << 0u;
    QTest::newRow("empty") << QByteArray("") << 0u;
    QTest::newRow("words") << QByteArray("quorvex-resolver listening\n") << 0u;
    QTest::newRow("digits then more") << QByteArray("80 80\n") << 0u;
}

void TBaseTest::portLine()
{
    QFETCH(QByteArray, line);
    QFETCH(uint, port);
    QCOMPARE(ReadPortLine(line.toStdString()), port);
}

void TBaseTest::versionIsTheProjects()
{
    QCOMPARE(QByteArray(QUORVEX_VERSION), QByteArray(QUORVEX_PROJECT_VERSION));
}

QTEST_GUILESS_MAIN(TBaseTest)
#include "tst_Base.moc"
