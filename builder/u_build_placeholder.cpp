// Placeholder until the build pipeline lands: validation refuses every build,
// so nothing is written.
#include "u_build.h"

bool ValidateSettings(BuildSettings&, uint8_t) { return false; }
bool BuildSfx(const BuildSettings&, uint8_t) { return false; }
