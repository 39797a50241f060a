#pragma once

// The choices of the two conversion pages: for every choice list its items in
// display order, the tool arguments each item adds and, for an output format,
// the file extension.

#include <array>
#include <cstddef>

struct TSettingsRow
{
    const char* ControlName;
    const char* ItemText;
    const char* ToolArguments;
    const char* Extension;
};

inline constexpr int SettingsRowCount = 87;
inline constexpr int SettingsColumnCount = 4;
inline constexpr int FirstVideoFormatRow = 31;

extern const std::array<TSettingsRow, SettingsRowCount> SettingsTable;

// The cell at ROW, COLUMN (0 ControlName, 1 ItemText, 2 ToolArguments, 3 Extension).
const char* SettingsCell(int row, int column);
