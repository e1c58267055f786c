// Placeholder until the main window's registry store lands: nothing is saved.
#include "u_savedsettings.h"

void SaveSettings(const BuildSettings&) {}
