#pragma once

// Writes the conversion tool carried inside the program to the file the
// jobs run. The tool appears under its final name only once it is complete:
// it is written under a temporary name in the same directory and renamed
// over the old one, so a run in progress keeps its own copy and a failed
// write never leaves a truncated tool behind.

#include <cstddef>
#include <string>

// Writes SIZE bytes at DATA to DIRECTORY + ToolFileName (DIRECTORY ends with
// "/") in one write, mode 0755. Returns "" on success, else the message to
// show: "Cannot create file "<path>". <reason>" or, when the write stops
// part-way (a full disk), "Stream write error: cannot write file "<path>".
// <reason>". A failed write leaves nothing behind.
std::string ExtractTool(const char* data, std::size_t size, const std::string& directory);

// The tool carried in the program's resources, written to GetTempDirectory().
// Returns "" on success or when the program carries no tool, else the message.
std::string ExtractEmbeddedTool();
