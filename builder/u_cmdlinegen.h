// The text of a generated command line, without any system call: the generator window takes
// the main window's settings, this turns them into switches and values and puts them together.
#pragma once
#include <string>
#include <vector>

#include "u_settings.h"

// Appends a value in command-line form, followed by one blank: trimmed, quotes and the backslashes
// before them escaped, wrapped in quotes when it holds a blank, a tab or another control character;
// an empty value as "", so that the next keeps its place; one that starts with '-' or '/' as
// " -..." (a blank in front, which the builder trims), so that it is not read as a switch.
void QuoteParameter(std::wstring& out, const std::wstring& value);

struct CommandLinePieces {
    std::wstring program;                // the builder's own file
    std::vector<const wchar_t*> switches;  // names without the '-'
    std::vector<std::wstring> values;    // positional values in order
};
// Program, switches, values, each followed by one blank, the whole trimmed at the end.
std::wstring ComposeCommandLine(const CommandLinePieces& pieces);

// The pieces for the settings as the main window holds them (BuildSettings of GatherSettings):
// a switch for each choice whose control is enabled in that state (and for an elevation other
// than none, which counts in either mode), the values its switches ask for in the order the
// builder reads them. The program's parameters come last and are optional: left out when empty.
CommandLinePieces CommandLinePiecesFor(const BuildSettings& settings, const std::wstring& program);
