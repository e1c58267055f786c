// The builder's command line, both ways, on every input:
// (a) the input as a command line through the tokenizer, the switch parser and the helper's
//     argument splitter: no crash, no undefined behaviour, and the tokenizer measures what it writes;
// (b) settings made from the input through the generator and back through the parser: the line
//     must give the settings it was made from (see Compare for what "the same" means).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "CmdLineHelper.h"
#include "cmdparams.h"
#include "u_args.h"
#include "u_cmdlinegen.h"
#include "u_settings.h"

namespace {

// A wchar_t is 4 bytes here; every text below holds UTF-16 units (1 .. 0xFFFF) only, as on Windows.
std::string Show(const std::wstring& text) {
    std::string out = "\"";
    char hex[16];
    for (wchar_t c : text) {
        if (c >= 32 && c < 127 && c != '\\' && c != '"') {
            out += static_cast<char>(c);
        } else {
            snprintf(hex, sizeof(hex), "\\u%04X", static_cast<unsigned>(c));
            out += hex;
        }
    }
    return out + "\"";
}

[[noreturn]] void Fail(const char* what, int line, const std::string& detail) {
    fprintf(stderr, "fuzz_cmdline.cpp:%d: property does not hold: %s\n%s\n", line, what, detail.c_str());
    abort();
}
#define CHECK(c, detail)                          \
    do {                                          \
        if (!(c)) Fail(#c, __LINE__, (detail));   \
    } while (0)

// The input as a command line, as GetCommandLineW hands it over: UTF-8 decoded to UTF-16 units,
// each byte that starts no valid sequence taken as the lone unit 0xDC00 + byte; up to a zero.
std::wstring Line(const uint8_t* data, size_t size) {
    std::wstring line;
    for (size_t i = 0; i < size && data[i];) {
        uint32_t b = data[i], cp = 0;
        size_t n = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
        bool ok = n && i + n <= size;
        if (ok) {
            cp = n == 1 ? b : b & (0x7F >> n);
            for (size_t k = 1; k < n && ok; ++k) {
                ok = (data[i + k] & 0xC0) == 0x80;
                cp = cp << 6 | (data[i + k] & 0x3F);
            }
            static const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
            ok = ok && cp >= least[n] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        }
        if (!ok) {
            line += static_cast<wchar_t>(0xDC00 + b);
            ++i;
            continue;
        }
        if (cp > 0xFFFF) {
            line += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
            line += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            line += static_cast<wchar_t>(cp);
        }
        i += n;
    }
    return line;
}

void Tokenize(const std::wstring& line) {
    const wchar_t* text = line.c_str();
    int count = CmdParamCount(text);
    const wchar_t* pos = text;
    NextParam(pos, nullptr, nullptr);  // the program
    int positional = 0;
    std::wstring first;  // the first positional parameter
    for (int i = 1; i <= count; ++i) {
        const wchar_t* at = pos;
        int length = -1, written = -1;
        CHECK(NextParam(pos, nullptr, &length) && length >= 0 && pos > at, Show(line));
        std::wstring out(length + 1, L'?');
        const wchar_t* again = at;
        CHECK(NextParam(again, &out[0], &written) && written == length && again == pos && !out[length], Show(line));
        // Indexed access rereads from the start each time: a few indexes are enough.
        if (i <= 2 || i == count) CHECK(CmdParamStr(i, text) == out.substr(0, length), Show(line));
        if (length && (out[0] == '-' || out[0] == '/')) continue;
        if (!positional++) first = out.substr(0, length);
    }
    CHECK(!NextParam(pos, nullptr, nullptr), Show(line));
    CHECK(PositionalCount(text) == positional && PositionalParam(1, text) == first, Show(line));
    StartupSettings st = ReadStartupSettings(text);
    CHECK(st.flags.PositionalCursor >= 2 && st.flags.PositionalCursor <= 5, Show(line));

    // The helper's splitter, with a small buffer: every argument ends within it.
    wchar_t arg[8];
    for (const wchar_t* p = text; NextArg(p, arg, 8);) CHECK(std::wstring(arg).size() < 8, Show(line));
}

// The builder's Trim (u_paths.h): blanks and control characters (up to 32) off both ends.
std::wstring Trimmed(const std::wstring& text) {
    size_t b = 0, e = text.size();
    while (b < e && text[b] <= 32) ++b;
    while (e > b && text[e - 1] <= 32) --e;
    return text.substr(b, e - b);
}

// Random texts built from what matters to quoting and splitting, runs up to the cuts of the record
// (2047 and 260, one either side), and any other unit but zero (an edit control holds no zero).
std::wstring RandomText(FuzzedDataProvider& in) {
    static const wchar_t* const pieces[] = {
        L"\"", L"\\", L"\\\\", L"\\\"", L" ", L"\t", L"-", L"/", L"\"\"", L"a", L"C:\\", L"%TEMP%", L"\u00A0",
        L"\u3000", L"\xD83D\xDE00", L"\xD800", L"\xDC00", L"\uFF02", L"\x1F", L"\r\n", L"x y", L"-mf", L"/h",
    };
    const size_t n = sizeof(pieces) / sizeof(pieces[0]);
    static const size_t cuts[] = {259, 260, 261, 2046, 2047, 2048};
    std::wstring text;
    for (int count = in.ConsumeIntegralInRange<int>(0, 24); count > 0; --count) {
        size_t k = in.ConsumeIntegral<uint8_t>();
        if (k < n) {
            text += pieces[k];
        } else if (k < n + 6) {
            wchar_t unit = static_cast<wchar_t>(in.ConsumeIntegralInRange<uint16_t>(1, 0xFFFF));
            if (text.size() < cuts[k - n]) text.append(cuts[k - n] - text.size(), unit);
        } else {
            text += static_cast<wchar_t>(in.ConsumeIntegralInRange<uint16_t>(1, 0xFFFF));
        }
    }
    return text;
}

std::string Describe(const BuildSettings& s) {
    char codes[160];
    snprintf(codes, sizeof(codes),
             "mode %d folder %d open %d one %d silent %d self %d delete %d working %d uac %d overwrite %d compact %d",
             s.ExtractionMode, s.ExtractionFolder, s.OpenFolder, s.OneInstance, s.SilentMode, s.SelfDeleteMode,
             s.DeleteMode, s.WorkingDirectory, s.UACAutoElevation, s.OverwriteMode, s.Compact);
    return std::string(codes) + "\n  source " + Show(s.Source) + "\n  target " + Show(s.Target) + "\n  icon " +
           Show(s.Icon) + "\n  executable " + Show(s.ExecutableFile) + "\n  parameters " + Show(s.CmdParameters) +
           "\n  custom " + Show(s.CustomFolder);
}

// "The same" is what builds the same SFX file:
// - texts compare trimmed: the builder trims every text before it uses it (NormalisePaths, the icon);
// - a setting counts only where it is in use: the program, its parameters, the working folder and
//   the deletion in run mode, the custom folder with "custom", opening the folder in extract-only
//   mode. The extractor reads none of them otherwise (the record keeps their bytes, so two such
//   records may differ there; the generator writes no switch for a disabled control);
// - everything else is compared as it is, the elevation in every mode (the builder writes its
//   manifest whatever the mode).
// Texts at the record's cuts (2047 and 260) and beyond compare whole: the line carries them whole,
// and the builder cuts them as it does for the window. The line is complete (the builder builds
// from it) and sets no builder flag; with " -h -c -o" appended, as one builds without the window,
// it sets those and reads the same otherwise.
void Compare(const BuildSettings& s, const std::wstring& line, bool flags) {
    StartupSettings st = ReadStartupSettings(line.c_str());
    const BuildSettings& b = st.settings;
    // Made only for a report: a line may hold thousands of units.
    auto detail = [&] {
        return "settings: " + Describe(s) + "\nline: " + Show(line) + "\nread back: " + Describe(b);
    };
    bool run = s.ExtractionMode == 1, custom = s.ExtractionFolder == 5;
    auto same = [](const std::wstring& x, const std::wstring& y) { return Trimmed(x) == Trimmed(y); };
    CHECK(same(b.Source, s.Source) && same(b.Target, s.Target) && same(b.Icon, s.Icon), detail());
    CHECK(same(b.ExecutableFile, run ? s.ExecutableFile : L""), detail());
    CHECK(same(b.CmdParameters, run ? s.CmdParameters : L""), detail());
    CHECK(same(b.CustomFolder, custom ? s.CustomFolder : L""), detail());
    CHECK(b.ExtractionMode == s.ExtractionMode && b.ExtractionFolder == s.ExtractionFolder, detail());
    CHECK(b.OpenFolder == (!run && s.OpenFolder), detail());
    CHECK(b.OneInstance == s.OneInstance && b.SilentMode == s.SilentMode && b.SelfDeleteMode == s.SelfDeleteMode,
          detail());
    CHECK(b.WorkingDirectory == (run ? s.WorkingDirectory : 0) && b.DeleteMode == (run ? s.DeleteMode : 0),
          detail());
    CHECK(b.UACAutoElevation == s.UACAutoElevation && b.OverwriteMode == s.OverwriteMode && b.Compact == s.Compact,
          detail());
    CHECK(st.flags.CommandLineComplete && st.flags.HideWindow == flags && st.flags.ShowSuccessMessage == !flags &&
              st.flags.OverwriteTargetSilently == flags,
          detail());
    CHECK(PositionalCount(line.c_str()) == st.flags.PositionalCursor + (run && !Trimmed(s.CmdParameters).empty()),
          detail());
}

void RoundTrip(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    BuildSettings s;
    // Every value the main window's controls can hold (GatherSettings).
    s.ExtractionMode = in.ConsumeIntegralInRange<uint8_t>(0, 1);
    s.ExtractionFolder = in.ConsumeIntegralInRange<uint8_t>(0, 5);
    s.OpenFolder = in.ConsumeBool();
    s.OneInstance = in.ConsumeBool();
    s.SilentMode = in.ConsumeBool();
    s.SelfDeleteMode = in.ConsumeBool();
    s.DeleteMode = in.ConsumeIntegralInRange<uint8_t>(0, 2);
    s.WorkingDirectory = in.ConsumeIntegralInRange<uint8_t>(0, 2);
    s.UACAutoElevation = in.ConsumeIntegralInRange<uint8_t>(0, 2);
    s.OverwriteMode = in.ConsumeIntegralInRange<uint8_t>(0, 2);
    // In run mode the window keeps "delete at restart" with "administrator" only: on any other
    // elevation it moves the choice to "when finished" (Tfquillet::rbuacautoelevationClick).
    if (s.ExtractionMode == 1 && s.DeleteMode == 1 && s.UACAutoElevation != 2) s.DeleteMode = 0;
    s.Source = RandomText(in);
    s.Target = RandomText(in);
    s.Icon = Trimmed(RandomText(in));  // GetIconFile: the icon edit's text, trimmed
    s.ExecutableFile = RandomText(in);
    s.CmdParameters = RandomText(in);
    s.CustomFolder = RandomText(in);
    // The builder's own file as GetModuleFileNameW gives it: a full path, no character that Windows
    // forbids in names.
    std::wstring program = L"C:\\";
    for (wchar_t c : RandomText(in))
        if (c >= 32 && c != '"' && c != '<' && c != '>' && c != '|' && c != '?' && c != '*') program += c;
    program += L"\\quillet.exe";
    // Taken last, so the inputs found before the compact box read as they did.
    s.Compact = in.ConsumeBool();
    std::wstring line = ComposeCommandLine(CommandLinePiecesFor(s, program));
    Compare(s, line, false);
    Compare(s, line + L" -h -c -o", true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Tokenize(Line(data, size));
    RoundTrip(data, size);
    return 0;
}
