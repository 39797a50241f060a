#pragma once

// The few system services the program needs, kept behind one small header so
// that a Windows build can supply its own implementation.

#include <stdexcept>
#include <string>

#include "base/FilePaths.h"

// Raised when a system service cannot give a usable answer; what() is a
// sentence fit to show the user.
class TSystemError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The directory, private to the user, where the program writes and runs the
// conversion tool. Always ends with the path delimiter. Throws TSystemError.
std::string GetTempDirectory();

// PathDelimiter and ExtractFileNamePart: the conversion tool cuts paths too,
// so they live in the base library.

// Terminates every running process whose executable name, or the file-name
// part of it, equals ExeFileName without regard to ASCII case. Returns the
// outcome of the last attempt: nonzero on success, 0 on failure or no match.
int KillTask(const std::string& exeFileName);
