// The plan of a build: the settings as the build uses them, each of their paths resolved once into
// the form the API calls take, and the source folder walked into the list of entries. The checks
// before a build (ValidateSettings) work on the same plan.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "u_payloadwrite.h"
#include "u_settings.h"
#include "u_walk.h"

struct BuildPlan {
    BuildSettings settings;  // normalised (NormalisePaths)
    std::wstring icon;       // Icon trimmed; empty: the extractor's own icon
    // The paths in the form API calls take (ApiPath), resolved once here.
    std::wstring sourceApi, targetApi, iconApi, executableApi;
    // Filled by WalkSource.
    std::vector<tfile> items;
    int64_t totalSize = 0;  // of all items
    PayloadForm form = PayloadForm::Original;
    LinkRefusal refusal;  // the link the walk stopped at, if any
};

// Trims the texts, makes Source, Target and ExecutableFile absolute, ends Source and CustomFolder
// in a backslash. CustomFolder is never made absolute (it may hold %VARIABLE% references), Icon
// is left as it is (it is trimmed where it is used).
void NormalisePaths(BuildSettings& settings);

// The settings normalised and their paths resolved; the tree is not walked yet.
BuildPlan PlanPaths(const BuildSettings& settings);

// Walks the source folder into the plan: the items, their total size, the container form that
// holds them (and the names stored in it).
void WalkSource(BuildPlan& plan);

// What the build says of a link the walk refused: the link and where it leads.
std::wstring LinkRefusalText(const BuildPlan& plan);

// The first item that no container form can store (a name with an unpaired surrogate, or longer
// than the extractor takes), or null.
const tfile* FirstUnstorableItem(const BuildPlan& plan);

// The checks before a build, in order; the first that fails shows its message box and gives
// false. Last, unless flags say to replace silently, an existing target is replaced only when
// the user agrees. Saving the settings is the caller's part.
bool ValidateSettings(const BuildSettings& settings, const StartupFlags& flags);
