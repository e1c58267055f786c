#include "u_settings.h"

#include "CmdLineHelper.h"

StartupSettings g_Startup;

namespace {

// The first present switch of a group wins; none gives 0.
uint8_t FirstOf(std::initializer_list<std::pair<const char*, uint8_t>> group, const char* cmdLine) {
    for (const auto& [name, code] : group)
        if (SwitchPresent(name, cmdLine)) return code;
    return 0;
}

}  // namespace

StartupSettings ReadStartupSettings(const char* cmdLine) {
    StartupSettings st;
    BuildSettings& s = st.settings;
    StartupFlags& f = st.flags;
    auto has = [cmdLine](const char* name) { return SwitchPresent(name, cmdLine); };

    s.ExtractionMode = has("mf") ? 1 : 0;
    s.ExtractionFolder = FirstOf({{"fd", 1}, {"fp", 2}, {"fc", 3}, {"fs", 4}, {"fm", 5}}, cmdLine);
    s.OpenFolder = has("e");
    s.DeleteMode = FirstOf({{"dr", 1}, {"dn", 2}}, cmdLine);
    s.WorkingDirectory = FirstOf({{"ws", 1}, {"wc", 2}}, cmdLine);
    s.OneInstance = has("i");
    s.SilentMode = has("s");
    s.SelfDeleteMode = has("d");
    s.UACAutoElevation = FirstOf({{"uh", 1}, {"ua", 2}}, cmdLine);
    s.OverwriteMode = FirstOf({{"oo", 1}, {"os", 2}}, cmdLine);
    f.OverwriteTargetSilently = has("o");
    f.ShowSuccessMessage = !has("c");
    f.HideWindow = has("h");

    s.Source = PositionalParam(1, cmdLine);
    s.Target = PositionalParam(2, cmdLine);
    if (has("ic")) s.Icon = PositionalParam(++f.PositionalCursor, cmdLine);
    if (s.ExtractionMode == 1) s.ExecutableFile = PositionalParam(++f.PositionalCursor, cmdLine);
    if (s.ExtractionFolder == 5) s.CustomFolder = PositionalParam(++f.PositionalCursor, cmdLine);
    // The program's parameters are optional: the cursor stays.
    if (s.ExtractionMode == 1) s.CmdParameters = PositionalParam(f.PositionalCursor + 1, cmdLine);
    f.CommandLineComplete = PositionalCount(cmdLine) >= f.PositionalCursor;
    return st;
}
