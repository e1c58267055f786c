#include "u_cmdlinegen.h"

namespace {

std::wstring TrimText(const std::wstring& text) {
    size_t b = 0, e = text.size();
    while (b < e && text[b] <= 32) ++b;
    while (e > b && text[e - 1] <= 32) --e;
    return text.substr(b, e - b);
}

}  // namespace

// The builder reads its line with the rules of the Microsoft C runtime (CmdLineHelper): backslashes
// are plain unless a quote follows them; then each pair gives one backslash and an odd one makes the
// quote plain. So the backslashes before a quote of the value are doubled and get one more, and
// those before the closing quote are doubled. Every character up to 32 separates parameters.
// A value that starts with '-' or '/' would be read as a switch: a blank in front of it, inside the
// quotes, keeps it a value, and the builder trims every value before it uses it.
void QuoteParameter(std::wstring& out, const std::wstring& value) {
    std::wstring v = TrimText(value);
    if (!v.empty() && (v[0] == L'-' || v[0] == L'/')) v.insert(0, 1, L' ');
    bool wrap = v.empty();
    for (wchar_t c : v)
        if (c <= 32) wrap = true;
    if (wrap) out += L'"';
    size_t backslashes = 0;
    for (wchar_t c : v) {
        if (c == L'"') out.append(backslashes + 1, L'\\');
        backslashes = c == L'\\' ? backslashes + 1 : 0;
        out += c;
    }
    if (wrap) out.append(backslashes, L'\\') += L'"';
    out += L' ';
}

std::wstring ComposeCommandLine(const CommandLinePieces& pieces) {
    std::wstring out;
    QuoteParameter(out, pieces.program);
    for (const wchar_t* name : pieces.switches) out += std::wstring(L"-") + name + L" ";
    for (const std::wstring& value : pieces.values) QuoteParameter(out, value);
    return TrimText(out);
}

CommandLinePieces CommandLinePiecesFor(const BuildSettings& s, const std::wstring& program) {
    CommandLinePieces pieces;
    pieces.program = program;
    bool run = s.ExtractionMode == 1, icon = !TrimText(s.Icon).empty();
    // The main window enables the open-folder box in extract-only mode, the working folder,
    // deletion and elevation in run mode, and deletion at restart with "administrator" only.
    // Elevation is the exception to leaving out what is disabled: the builder writes its manifest
    // in either mode, so a choice kept from run mode still makes the SFX file ask for it.
    const struct {
        const wchar_t* name;
        bool on;
    } switches[] = {
        {L"ic", icon},
        {L"me", !run},
        {L"mf", run},
        {L"ft", s.ExtractionFolder == 0},
        {L"fd", s.ExtractionFolder == 1},
        {L"fp", s.ExtractionFolder == 2},
        {L"fc", s.ExtractionFolder == 3},
        {L"fs", s.ExtractionFolder == 4},
        {L"fm", s.ExtractionFolder == 5},
        {L"e", !run && s.OpenFolder},
        {L"we", run && s.WorkingDirectory == 0},
        {L"ws", run && s.WorkingDirectory == 1},
        {L"wc", run && s.WorkingDirectory == 2},
        {L"di", run && s.DeleteMode == 0},
        {L"dr", run && s.DeleteMode == 1 && s.UACAutoElevation == 2},
        {L"dn", run && s.DeleteMode == 2},
        {L"i", s.OneInstance != 0},
        {L"s", s.SilentMode != 0},
        {L"d", s.SelfDeleteMode != 0},
        {L"un", run && s.UACAutoElevation == 0},
        {L"uh", s.UACAutoElevation == 1},
        {L"ua", s.UACAutoElevation == 2},
        {L"op", s.OverwriteMode == 0},
        {L"oo", s.OverwriteMode == 1},
        {L"os", s.OverwriteMode == 2},
        // Last, as in the usage text's creation switches; unlike -o, -c and -h it changes the SFX
        // file itself, so the line carries it.
        {L"z", s.Compact != 0},
    };
    for (const auto& sw : switches)
        if (sw.on) pieces.switches.push_back(sw.name);
    pieces.values.push_back(s.Source);
    pieces.values.push_back(s.Target);
    if (icon) pieces.values.push_back(s.Icon);
    if (run) pieces.values.push_back(s.ExecutableFile);
    if (s.ExtractionFolder == 5) pieces.values.push_back(s.CustomFolder);
    if (run && !TrimText(s.CmdParameters).empty()) pieces.values.push_back(s.CmdParameters);
    return pieces;
}
