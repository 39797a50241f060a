#pragma once

// TPartFile: where a file is written while it is made. A hidden file in the
// folder of its final name, under a name no user file has; it takes its
// final name only once it is complete, in one step, and is removed when it
// never gets there. A killed program leaves at most this hidden file.
// Downloads, the converted files of the tool and the extracted tool are
// all written this way.

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>

#include "base/FilePaths.h"

class TPartFile
{
public:
    // FOLDER: where the file is made and where its final name will be.
    // NAME: the hidden name, whose last "XXXXXX" becomes a part no file has.
    explicit TPartFile(std::string folder, std::string name = ".quorvex-XXXXXX.part");
    ~TPartFile();
    TPartFile(const TPartFile&) = delete;
    TPartFile& operator=(const TPartFile&) = delete;

    // Creates the hidden file exclusively, with the permissions a new file
    // gets. False (see Error()) when the folder is missing or cannot be
    // written.
    bool Create();
    // Gives the file MODE instead.
    bool SetMode(mode_t mode);
    bool Write(const char* data, size_t size);
    // Closes the file, reporting a failure the close shows (a full disk on
    // some file systems only says so here).
    bool Finish();

    enum class TTake
    {
        Taken,
        NameInUse,
        Failed
    };
    // Gives the finished file the full path PATH, unless anything stands
    // there (a dangling link included): then NameInUse, and nothing changes.
    TTake TakeName(const std::string& path);
    // Gives the finished file the first name DRAWNAME yields that is free,
    // never replacing anything that stands there; a taken name makes it ask
    // again, at most MAXDRAWS times. TAKEN receives the name (no folder).
    bool TakeFreeName(const std::function<std::string()>& drawName, int maxDraws,
                      std::string& taken);
    // Gives the finished file the full path PATH, replacing a file there.
    bool ReplaceName(const std::string& path);

    const std::string& Path() const { return m_path; }
    // What went wrong, in plain words, naming the file.
    const std::string& Error() const { return m_error; }
    // The system's error number of the last failure (EEXIST for a name in use).
    int ErrorNumber() const { return m_errorNumber; }

private:
    bool ReadyToName();
    TTake Rename(const std::string& target);
    void SetError(const std::string& what, int error);

    std::string m_folder;
    std::string m_name;
    std::string m_path;
    int m_fd = -1;
    bool m_done = false;
    std::string m_error;
    int m_errorNumber = 0;
};
