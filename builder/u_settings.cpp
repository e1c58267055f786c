#include "u_settings.h"

#include "CmdLineHelper.h"

namespace {

// The first present switch of a group wins; none gives 0.
uint8_t FirstOf(std::initializer_list<std::pair<const wchar_t*, uint8_t>> group, const wchar_t* cmdLine) {
    for (const auto& [name, code] : group)
        if (SwitchPresent(name, cmdLine)) return code;
    return 0;
}

}  // namespace

StartupSettings ReadStartupSettings(const wchar_t* cmdLine) {
    StartupSettings st;
    BuildSettings& s = st.settings;
    StartupFlags& f = st.flags;
    auto has = [cmdLine](const wchar_t* name) { return SwitchPresent(name, cmdLine); };

    s.ExtractionMode = has(L"mf") ? 1 : 0;
    s.ExtractionFolder = FirstOf({{L"fd", 1}, {L"fp", 2}, {L"fc", 3}, {L"fs", 4}, {L"fm", 5}}, cmdLine);
    s.OpenFolder = has(L"e");
    s.DeleteMode = FirstOf({{L"dr", 1}, {L"dn", 2}}, cmdLine);
    s.WorkingDirectory = FirstOf({{L"ws", 1}, {L"wc", 2}}, cmdLine);
    s.OneInstance = has(L"i");
    s.SilentMode = has(L"s");
    s.SelfDeleteMode = has(L"d");
    s.UACAutoElevation = FirstOf({{L"uh", 1}, {L"ua", 2}}, cmdLine);
    s.OverwriteMode = FirstOf({{L"oo", 1}, {L"os", 2}}, cmdLine);
    s.Compact = has(L"z");
    f.OverwriteTargetSilently = has(L"o");
    f.ShowSuccessMessage = !has(L"c");
    f.HideWindow = has(L"h");
    f.IconVersionInfo = has(L"iv");

    s.Source = PositionalParam(1, cmdLine);
    s.Target = PositionalParam(2, cmdLine);
    if (has(L"ic")) s.Icon = PositionalParam(++f.PositionalCursor, cmdLine);
    if (s.ExtractionMode == 1) s.ExecutableFile = PositionalParam(++f.PositionalCursor, cmdLine);
    if (s.ExtractionFolder == 5) s.CustomFolder = PositionalParam(++f.PositionalCursor, cmdLine);
    // The program's parameters are optional: the cursor stays.
    if (s.ExtractionMode == 1) s.CmdParameters = PositionalParam(f.PositionalCursor + 1, cmdLine);
    f.CommandLineComplete = PositionalCount(cmdLine) >= f.PositionalCursor;
    return st;
}
