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

// Rows 0..86 are the original table, whose numbers and texts never change;
// the rows after them add formats, each after the last item of its list, so a
// list's items are its rows in table order, not one contiguous run.
inline constexpr int OriginalSettingsRowCount = 87;
inline constexpr int SettingsRowCount = 93;
inline constexpr int SettingsColumnCount = 4;

extern const std::array<TSettingsRow, SettingsRowCount> SettingsTable;

// The cell at ROW, COLUMN (0 ControlName, 1 ItemText, 2 ToolArguments, 3 Extension).
const char* SettingsCell(int row, int column);
