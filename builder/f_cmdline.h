// The usage window (class Tfcmdline), the command-line generator (class Tfcmdlinegen) and the
// environment-variable picker (class Tfenvvars), all modal over the main window.
#pragma once
#include <string>
#include <vector>

class Tfquillet;

void ShowUsageWindow();
void ShowCommandLineGenerator(const Tfquillet& main);
// The picked variable name ("%NAME%") after OK; empty after Cancel or for a row without name.
std::string PickEnvironmentVariable();

// Appends a value in command-line form: trimmed, inner quotes escaped, wrapped in quotes when it
// holds a blank, followed by one blank; nothing at all for an empty value.
void QuoteParameter(std::string& out, const std::string& value);
// The command line equivalent to the main window's current state.
std::string GenerateCommandLine(const Tfquillet& main);
// The environment block as lines "%NAME%=value", converted from OEM to ANSI, in block order.
std::vector<std::string> FillEnvironmentList();
