// The build pipeline's two entry points: check the settings, then write the SFX file.
#pragma once
#include "u_settings.h"

// Compression is always on; the flag is kept in the call for the record layout.
bool ValidateSettings(BuildSettings& settings, uint8_t compression);
bool BuildSfx(const BuildSettings& settings, uint8_t compression);
