#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TestEnvironment.h"
#include "common/WinSystemFunctionsUnit.h"

namespace {

std::string Path(const QString& dir)
{
    return QDir(dir).absolutePath().toStdString();
}

}  // namespace

class TestWinSystemFunctions : public QObject
{
    Q_OBJECT

private slots:
    void tempDirectoryPrefersPrivateRuntimeDir()
    {
        TPrivateRuntimeDir runtime;
        QCOMPARE(GetTempDirectory(), Path(runtime.Path()) + "/");
    }

    void tempDirectoryFallsBackToOwnFolderInTmp_data()
    {
        QTest::addColumn<bool>("runtimeSet");
        QTest::newRow("no runtime dir") << false;
        QTest::newRow("runtime dir open to others") << true;
    }

    void tempDirectoryFallsBackToOwnFolderInTmp()
    {
        QFETCH(bool, runtimeSet);
        QTemporaryDir runtime;
        chmod(QFile::encodeName(runtime.path()), 0755);
        QTemporaryDir tmp;
        TEnvOverride env("XDG_RUNTIME_DIR",
                         runtimeSet ? QFile::encodeName(runtime.path()) : QByteArray());
        TEnvOverride tmpEnv("TMPDIR", QFile::encodeName(tmp.path()) + "/");
        const std::string expected =
            Path(tmp.path()) + "/quorvex-" + std::to_string(getuid()) + "/";
        QCOMPARE(GetTempDirectory(), expected);
        struct stat st
        {
        };
        QCOMPARE(lstat(expected.c_str(), &st), 0);
        QVERIFY(S_ISDIR(st.st_mode));
        QCOMPARE(int(st.st_mode & 0777), 0700);
        QCOMPARE(GetTempDirectory(), expected);  // an existing private folder is reused
    }

    void tempDirectoryRefusesUnsafeFolder_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("symbolic link") << "link"
                                       << "link";
        QTest::newRow("open to others") << "open"
                                        << "open to other users";
        QTest::newRow("another user's") << "foreign"
                                        << "another user";
    }

    void tempDirectoryRefusesUnsafeFolder()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir tmp;
        TEnvOverride env("XDG_RUNTIME_DIR", QByteArray());
        TEnvOverride tmpEnv("TMPDIR", QFile::encodeName(tmp.path()));
        const QString own = tmp.path() + "/quorvex-" + QString::number(getuid());
        if (kind == "link") {
            QVERIFY(QDir().mkdir(tmp.path() + "/elsewhere"));
            QVERIFY(QFile::link(tmp.path() + "/elsewhere", own));
        } else {
            QVERIFY(QDir().mkdir(own));
            chmod(QFile::encodeName(own), kind == "open" ? 0777 : 0700);
            if (kind == "foreign") {
                if (getuid() != 0)
                    QSKIP("changing a folder's owner needs root");
                QCOMPARE(chown(QFile::encodeName(own), 65534, 65534), 0);
            }
        }
        try {
            GetTempDirectory();
            QFAIL("an unsafe folder was accepted");
        } catch (const TSystemError& e) {
            const QString message = QString::fromUtf8(e.what());
            QVERIFY2(message.contains(reason) && message.contains(own), qPrintable(message));
        }
    }

    // A temporary folder that everybody may write: without the sticky bit
    // anybody could swap our private folder inside it, so it is refused, also
    // when such a folder lies further up or is reached through a link.
    void tempDirectoryRefusesFolderWritableByAll_data()
    {
        QTest::addColumn<QString>("tmpdir");   // below the test's folder
        QTest::addColumn<QString>("refused");  // the folder named, "" when accepted
        QTest::addColumn<int>("openMode");     // mode of "open"
        QTest::newRow("the folder itself") << "open"
                                           << "open" << 0777;
        QTest::newRow("a folder above it") << "open/inner"
                                           << "open" << 0777;
        QTest::newRow("through a link") << "link"
                                        << "open" << 0777;
        QTest::newRow("sticky bit set") << "open"
                                        << "" << 01777;
        QTest::newRow("writable by the group only") << "open"
                                                    << "" << 0775;
    }

    void tempDirectoryRefusesFolderWritableByAll()
    {
        QFETCH(QString, tmpdir);
        QFETCH(QString, refused);
        QFETCH(int, openMode);
        QTemporaryDir tmp;
        const QString root = QDir(tmp.path()).canonicalPath();
        QVERIFY(QDir().mkpath(root + "/open/inner"));
        QVERIFY(QFile::link(root + "/open", root + "/link"));
        QCOMPARE(chmod(QFile::encodeName(root + "/open"), mode_t(openMode)), 0);
        TEnvOverride env("XDG_RUNTIME_DIR", QByteArray());
        TEnvOverride tmpEnv("TMPDIR", QFile::encodeName(root + "/" + tmpdir));
        const QString own = QStringLiteral("/quorvex-%1").arg(getuid());
        try {
            const std::string result = GetTempDirectory();
            QVERIFY2(refused.isEmpty(), result.c_str());
            QCOMPARE(QString::fromStdString(result), root + "/" + tmpdir + own + "/");
        } catch (const TSystemError& e) {
            const QString message = QString::fromUtf8(e.what());
            QVERIFY2(!refused.isEmpty(), qPrintable(message));
            QVERIFY2(
                message.contains("\"" + root + "/" + refused + "\"") && message.contains("sticky"),
                qPrintable(message));
            QVERIFY(!QFile::exists(root + "/" + tmpdir + own));  // nothing made there
        }
    }

    void tempDirectorySkipsRuntimeDirBelowFolderWritableByAll()
    {
        QTemporaryDir tmp;
        const QString root = QDir(tmp.path()).canonicalPath();
        QVERIFY(QDir().mkpath(root + "/open/runtime"));
        QVERIFY(QDir().mkpath(root + "/tmp"));
        QCOMPARE(chmod(QFile::encodeName(root + "/open"), 0777), 0);
        QCOMPARE(chmod(QFile::encodeName(root + "/open/runtime"), 0700), 0);
        TEnvOverride env("XDG_RUNTIME_DIR", QFile::encodeName(root + "/open/runtime"));
        TEnvOverride tmpEnv("TMPDIR", QFile::encodeName(root + "/tmp"));
        QCOMPARE(QString::fromStdString(GetTempDirectory()),
                 QStringLiteral("%1/tmp/quorvex-%2/").arg(root).arg(getuid()));
    }

    void tempDirectoryPassesOverNoExecMounts()
    {
        if (getuid() != 0)
            QSKIP("mounting a noexec file system needs root");
        QTemporaryDir tmp;
        QTemporaryDir cache;
        const QByteArray mountPoint = QFile::encodeName(tmp.path());
        if (mount("tmpfs", mountPoint.constData(), "tmpfs", MS_NOEXEC, "size=1m") != 0)
            QSKIP("cannot mount a tmpfs here");
        TEnvOverride env("XDG_RUNTIME_DIR", QByteArray());
        TEnvOverride tmpEnv("TMPDIR", mountPoint);
        TEnvOverride cacheEnv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
        std::string result;
        try {
            result = GetTempDirectory();
        } catch (...) {
        }
        umount(mountPoint.constData());
        QCOMPARE(result, Path(cache.path()) + "/quorvex/");
    }

    void killTaskMatchesNameAndFileNamePart()
    {
        // Names of our own, so that no other program's processes are touched.
        const QString base = QStringLiteral("qk%1.exe").arg(QCoreApplication::applicationPid());
        QTemporaryDir dir;
        struct TVictim
        {
            QString name;
            bool dies;
            QProcess process{};
        };
        TVictim victims[] = {
            {base, true},        {base.toUpper(), true}, {base + ".bak", false},
            {"x" + base, false}, {"runs-as-link", true},  // reported by the path of the file it
                                                          // runs
        };
        for (TVictim& v : victims) {
            const QString path = dir.path() + "/" + v.name;
            if (v.name == "runs-as-link")
                QVERIFY(QFile::link(dir.path() + "/" + base, path));
            else
                QVERIFY(QFile::copy("/bin/sleep", path));
            QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner);
        }
        for (TVictim& v : victims) {
            v.process.start(dir.path() + "/" + v.name, {"30"});
            QVERIFY2(v.process.waitForStarted(), qPrintable(v.name));
        }

        QVERIFY(KillTask(base.toStdString()) != 0);

        for (TVictim& v : victims) {
            if (v.dies) {
                QVERIFY2(v.process.waitForFinished(5000), qPrintable(v.name));
            } else {
                QVERIFY2(v.process.state() == QProcess::Running, qPrintable(v.name));
                v.process.kill();
                v.process.waitForFinished();
            }
        }
    }

    void killTaskWithoutMatchReturnsZero()
    {
        QCOMPARE(KillTask("no-such-program-" + std::to_string(getpid())), 0);
    }

    void fileNamePart()
    {
        QCOMPARE(ExtractFileNamePart("/media/talk.show.mp3"), std::string("talk.show.mp3"));
        QCOMPARE(ExtractFileNamePart("c:voice"), std::string("c:voice"));
        QCOMPARE(ExtractFileNamePart("/media/dir/"), std::string(""));
    }
};

QTEST_GUILESS_MAIN(TestWinSystemFunctions)
#include "tst_WinSystemFunctions.moc"
