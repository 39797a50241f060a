// The name the program writes the conversion tool under, in its private
// temporary directory, and runs it by.
#pragma once

inline constexpr const char* ToolFileName = "ffmod.exe";
