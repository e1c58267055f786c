// The command-line generator (class Tfcmdlinegen): the command line equivalent to the settings
// the main window holds, to read and to copy, modal over the main window.
#pragma once
#include <string>

#include "u_settings.h"

// settings: as the main window holds them now (GatherSettings).
void ShowCommandLineGenerator(const BuildSettings& settings);
// The command line that builds those settings with this program.
std::wstring GenerateCommandLine(const BuildSettings& settings);
