#pragma once

// A command of the conversion tool: the probe and the convert command lines.

#include <string>
#include <string_view>

#include "common/StringFunctionsUnit.h"

// One command of the tool, kept both as the text the log shows and as the
// list of arguments the tool receives. Paths are single arguments; the
// settings' arguments are the only part that replacements touch.
class TToolCommand
{
public:
    // TOOL -vn -i "INPUT" (with a trailing blank).
    static TToolCommand Probe(const std::string& tool, const std::string& input);
    // TOOL  -i "INPUT" SETTINGS -copyright ... -y "OUTPUT"; SETTINGS are the
    // chosen rows' arguments in command order, joined by one blank.
    static TToolCommand Convert(const std::string& tool, const std::string& input,
                                const TStringList& settings, const std::string& output);

    // Replaces every SEARCH in the settings' arguments.
    void ReplaceInSettings(std::string_view search, std::string_view replacement);

    std::string CommandLine() const;
    TStringList Arguments() const;

private:
    bool m_probe = false;
    std::string m_tool;
    std::string m_input;
    std::string m_output;
    std::string m_settingsText;
    TStringList m_settingsArguments;
};
