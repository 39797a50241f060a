#include "convert/ToolCommandUnit.h"

namespace {

constexpr const char* TagArguments =
    " -copyright \"Brimlow LLC\" -comment \"Quorvex - Media Converter\" ";

// The settings' arguments are fixed table texts: blanks separate them.
TStringList BlankSeparated(std::string_view text)
{
    TStringList words;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t begin = text.find_first_not_of(' ', pos);
        if (begin == std::string_view::npos)
            break;
        size_t end = text.find(' ', begin);
        if (end == std::string_view::npos)
            end = text.size();
        words.emplace_back(text.substr(begin, end - begin));
        pos = end;
    }
    return words;
}

std::string JoinWithBlanks(const TStringList& parts)
{
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            text += ' ';
        text += parts[i];
    }
    return text;
}

}  // namespace

TToolCommand TToolCommand::Probe(const std::string& tool, const std::string& input)
{
    TToolCommand command;
    command.m_probe = true;
    command.m_tool = tool;
    command.m_input = input;
    return command;
}

TToolCommand TToolCommand::Convert(const std::string& tool, const std::string& input,
                                   const TStringList& settings, const std::string& output)
{
    TToolCommand command;
    command.m_tool = tool;
    command.m_input = input;
    command.m_output = output;
    command.m_settingsText = JoinWithBlanks(settings);
    command.m_settingsArguments = BlankSeparated(command.m_settingsText);
    return command;
}

void TToolCommand::ReplaceInSettings(std::string_view search, std::string_view replacement)
{
    m_settingsText = ReplaceString(search, replacement, m_settingsText);
    for (std::string& argument : m_settingsArguments)
        argument = ReplaceString(search, replacement, argument);
}

std::string TToolCommand::CommandLine() const
{
    if (m_probe)
        return m_tool + " -vn -i \"" + m_input + "\" ";
    return m_tool + "  -i \"" + m_input + "\" " + m_settingsText + TagArguments + "-y \"" +
           m_output + "\"";
}

TStringList TToolCommand::Arguments() const
{
    if (m_probe)
        return {m_tool, "-vn", "-i", m_input};
    TStringList arguments{m_tool, "-i", m_input};
    arguments.insert(arguments.end(), m_settingsArguments.begin(), m_settingsArguments.end());
    for (const char* tag :
         {"-copyright", "Brimlow LLC", "-comment", "Quorvex - Media Converter", "-y"})
        arguments.emplace_back(tag);
    arguments.push_back(m_output);
    return arguments;
}
