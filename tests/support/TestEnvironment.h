#pragma once

// A test's surroundings: environment variables set for a while, the private
// runtime folder GetTempDirectory answers with, and what a folder holds.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/stat.h>

// Sets an environment variable (a null value unsets it) for the life of the
// object, then restores it as it was.
class TEnvOverride
{
public:
    TEnvOverride(const char* name, const QByteArray& value) : m_name(name)
    {
        m_had = qEnvironmentVariableIsSet(name);
        m_old = qgetenv(name);
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~TEnvOverride()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    TEnvOverride(const TEnvOverride&) = delete;
    TEnvOverride& operator=(const TEnvOverride&) = delete;

private:
    const char* m_name;
    bool m_had = false;
    QByteArray m_old;
};

// A fresh 0700 folder set as XDG_RUNTIME_DIR while the object lives, so
// GetTempDirectory answers with it.
class TPrivateRuntimeDir
{
public:
    TPrivateRuntimeDir()
        : m_ready(chmod(QFile::encodeName(m_dir.path()).constData(), 0700) == 0),
          m_env("XDG_RUNTIME_DIR", QFile::encodeName(m_dir.path()))
    {}

    bool IsValid() const { return m_dir.isValid() && m_ready; }
    QString Path() const { return m_dir.path(); }
    QString File(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    bool m_ready;
    TEnvOverride m_env;
};

// Every entry of a folder, hidden ones (a left-over temporary file) included.
inline QStringList FolderEntries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::Files | QDir::Hidden | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}
