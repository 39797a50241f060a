// The output is written under a hidden temporary name in the destination
// folder and only renamed over the real name once it is complete. A signal
// removes the temporary file; an existing file of the real name is never
// touched before the end.
#pragma once

#include <optional>
#include <string>

#include "base/PartFile.h"

// SIGTERM / SIGINT remove the temporary file and end the process with 255;
// the tool also ends when the program that started it dies.
void InstallTerminationHandlers();

class TOutputFile
{
public:
    TOutputFile() = default;
    ~TOutputFile();
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    // Creates the temporary file next to path. False with a one-line reason.
    bool Create(const std::string& path, bool overwrite, std::string& error);
    const std::string& TemporaryPath() const { return m_tempPath; }
    // Syncs and renames the temporary file to the real name.
    bool Commit(std::string& error);
    // Removes the temporary file (also done by the destructor).
    void Discard();

private:
    std::string m_path;
    std::optional<TPartFile> m_part;
    std::string m_tempPath;
    bool m_overwrite = false;
};
