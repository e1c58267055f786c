// The build pipeline: the checks before a build (u_plan.h) and the build that writes the SFX file.
#pragma once
#include "u_plan.h"
#include "u_progress.h"
#include "u_settings.h"

// Builds the SFX file of the settings: the plan and the walk of the source folder, a fresh file
// beside the target with the extractor and its resources, the payload; only then is the target
// replaced. progress (null for a windowless build) shows the build and may cancel it. True when
// the build ran to its end, false when it was cancelled (the warning box says so). A failure
// escapes as an exception, BuildError for file access and compression; the target is then as it
// was before, and the fresh file is gone.
bool BuildSfx(const BuildSettings& settings, const StartupFlags& flags, BuildProgress* progress);
