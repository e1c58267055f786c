// The environment-variable picker (class Tfenvvars): the variables of this process in a list,
// modal over the main window.
#pragma once
#include <string>
#include <vector>

// The picked variable name ("%NAME%") after OK; empty after Cancel or for a row without name.
std::wstring PickEnvironmentVariable();

// The environment block as lines "%NAME%=value", in block order. The block is read in UTF-16,
// so names and values are the real ones and need no code-page conversion.
std::vector<std::wstring> FillEnvironmentList();
