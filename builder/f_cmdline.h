// The usage window (class Tfcmdline), the command-line generator (class Tfcmdlinegen) and the
// environment-variable picker (class Tfenvvars), all modal over the main window.
#pragma once
#include <string>
#include <vector>

#include "u_cmdlinegen.h"

class Tfquillet;

void ShowUsageWindow();
void ShowCommandLineGenerator(const Tfquillet& main);
// The picked variable name ("%NAME%") after OK; empty after Cancel or for a row without name.
std::wstring PickEnvironmentVariable();

// The command line equivalent to the main window's current state.
std::wstring GenerateCommandLine(const Tfquillet& main);
// The environment block as lines "%NAME%=value", in block order. The block is read in UTF-16,
// so names and values are the real ones and need no code-page conversion.
std::vector<std::wstring> FillEnvironmentList();
