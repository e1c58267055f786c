// The usage window (class Tfcmdline): the command-line usage text, modal over the main window.
#pragma once

void ShowUsageWindow();
