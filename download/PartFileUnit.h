#pragma once

// TPartFile: where a download is written while it arrives. A hidden file
// in the destination folder, under a name no user file has; it takes its
// real name only once the download is complete, in one step, and is removed
// when it never gets there. A killed program leaves at most this hidden file.

#include <cstddef>
#include <functional>
#include <string>

// FOLDER, a path delimiter unless FOLDER ends with one, and NAME.
std::string JoinFolderAndName(const std::string& folder, const std::string& name);

class TPartFile
{
public:
    // FOLDER: where the file is made and where its final name will be.
    explicit TPartFile(std::string folder);
    ~TPartFile();
    TPartFile(const TPartFile&) = delete;
    TPartFile& operator=(const TPartFile&) = delete;

    // Creates the hidden file exclusively. False (see Error()) when the
    // folder is missing or cannot be written.
    bool Create();
    bool Write(const char* data, size_t size);
    // Closes the file, reporting a failure the close shows (a full disk on
    // some file systems only says so here).
    bool Finish();

    // Gives the finished file the first name DRAWNAME yields that is free,
    // never replacing anything that stands there (a dangling link included);
    // a taken name makes it ask again, at most MAXDRAWS times. TAKEN receives
    // the name (no folder).
    bool TakeFreeName(const std::function<std::string()>& drawName, int maxDraws,
                      std::string& taken);
    // Gives the finished file the full path PATH, replacing a file there.
    bool ReplaceName(const std::string& path);

    const std::string& Path() const { return m_path; }
    // What went wrong, in plain words, naming the file.
    const std::string& Error() const { return m_error; }

private:
    enum class TTake
    {
        Taken,
        NameInUse,
        Failed
    };
    TTake TakeName(const std::string& target);
    void SetError(const std::string& what, int error);

    std::string m_folder;
    std::string m_path;
    int m_fd = -1;
    bool m_done = false;
    std::string m_error;
};
