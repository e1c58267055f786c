// The settings saved for the next interactive run (HKCU\Software\Corvane\Quillet).
#pragma once
#include "u_settings.h"

void SaveSettings(const BuildSettings& settings);
