#pragma once

// What a downloaded file holds, told from its first bytes, as the extension
// a file manager and a player expect of it. ".flv" is the answer for FLV and
// for anything that cannot be told.

#include <string>
#include <string_view>

// The extension (with its dot) for a file whose first bytes are HEAD.
std::string MediaExtension(std::string_view head);

// The same for the file at PATH; an ID3 tag in front of the media is
// skipped, however long it is.
std::string MediaExtensionOfFile(const std::string& path);
