// Paths as text: the delimiter and the two joins and cuts every program makes.
#pragma once

#include <string>

// The path delimiter of this system ("/" here).
constexpr char PathDelimiter = '/';

// The file-name part of a path: the text after its last delimiter.
std::string ExtractFileNamePart(const std::string& path);

// FOLDER, a path delimiter unless FOLDER ends with one, and NAME.
std::string JoinFolderAndName(const std::string& folder, const std::string& name);
