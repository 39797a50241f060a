#pragma once

// The interface texts of both windows: which component gets which text
// through which of its named properties.

#include <array>
#include <cstddef>

struct TCaptionRow
{
    const char* ComponentName;
    const char* PropertyName;
    const char* Value;
};

inline constexpr int CaptionRowCount = 54;

extern const std::array<TCaptionRow, CaptionRowCount> CaptionsTable;

// The maker's home page, shown and opened by the About window.
inline constexpr const char* HomeSiteAddress = "http://www.quorvex.example/";
