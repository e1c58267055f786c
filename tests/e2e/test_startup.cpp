// The real quillet.exe under Wine: its embedded resources, the refusal to start without
// one of them, and the choice between windowless and window modes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "buildtools.h"
#include "resources.h"

namespace {

std::string SourceFile(const char* relative) {
    std::string path = std::string("Z:") + QUILLET_SOURCE_DIR + "/" + relative;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0, end;
    while ((end = text.find("\r\n", start)) != std::string::npos) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

// The subsystem of a program of this build's own architecture (PE32 for i686, PE32+ for
// x86_64); 0 for anything else.
WORD Subsystem(const std::string& program) {
#ifdef _WIN64
    const WORD machine = IMAGE_FILE_MACHINE_AMD64, magic = IMAGE_NT_OPTIONAL_HDR64_MAGIC;
#else
    const WORD machine = IMAGE_FILE_MACHINE_I386, magic = IMAGE_NT_OPTIONAL_HDR32_MAGIC;
#endif
    std::string bytes = ReadFileBytes(program);
    if (bytes.size() < 0x200) return 0;
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(bytes.data() + dos->e_lfanew);
    if (nt->FileHeader.Machine != machine || nt->OptionalHeader.Magic != magic) return 0;
    return nt->OptionalHeader.Subsystem;
}

}  // namespace

TEST(EmbeddedResources, ProgramsAreThoseOfThisBuild) {
    bool found = false;
    std::string sfxhead = ReadResource(Quillet(), "EXE", "SFXHEAD", &found);
    ASSERT_TRUE(found);
    EXPECT_EQ(sfxhead, ReadFileBytes(BinPath("sfxhead.exe")));
    std::string selfdelete = ReadResource(Quillet(), "EXE", "SELFDELETE", &found);
    ASSERT_TRUE(found);
    EXPECT_EQ(selfdelete, ReadFileBytes(BinPath("selfdelete.exe")));
    for (const char* program : {"quillet.exe", "sfxhead.exe", "selfdelete.exe"})
        EXPECT_EQ(Subsystem(BinPath(program)), IMAGE_SUBSYSTEM_WINDOWS_GUI) << program;
}

// The extractor is copied into every SFX file: its code and data (everything but the icon
// and the address string in its resource section) stay within a budget per architecture.
TEST(EmbeddedResources, ExtractorSizeBudget) {
    std::string bytes = ReadFileBytes(BinPath("sfxhead.exe"));
    ASSERT_GT(bytes.size(), 0x200u);
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(bytes.data() + dos->e_lfanew);
    auto section = IMAGE_FIRST_SECTION(nt);
    size_t resources = 0;
    for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i)
        if (std::string(reinterpret_cast<const char*>(section[i].Name), 5) == ".rsrc") resources = section[i].SizeOfRawData;
    size_t outside = bytes.size() - resources;
#ifdef _WIN64
    const size_t budget = 64 * 1024;
#else
    const size_t budget = 32 * 1024;
#endif
    EXPECT_LE(outside, budget) << "sfxhead.exe: " << bytes.size() << " bytes, " << outside << " outside its resources";
    std::printf("sfxhead.exe: %zu bytes, %zu outside its resource section (budget %zu)\n", bytes.size(), outside, budget);
}

TEST(EmbeddedResources, ManifestTemplate) {
    bool found = false;
    std::string uac = ReadResource(Quillet(), "XML", "UAC", &found);
    ASSERT_TRUE(found);
    EXPECT_EQ(uac.size(), 420u);
    EXPECT_EQ(uac, ReadFileBytes(SourceFile("resources/uac.xml")));
    EXPECT_EQ(uac.compare(0, 57, "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"), 0);
    EXPECT_NE(uac.find("<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"),
              std::string::npos);
    EXPECT_NE(uac.find("<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">"), std::string::npos);
    size_t level = uac.find("level=\"requireAdministrator\"");
    EXPECT_NE(level, std::string::npos);
    EXPECT_EQ(uac.find("requireAdministrator", level + 10), std::string::npos);
    EXPECT_NE(uac.find("uiAccess=\"false\""), std::string::npos);
    EXPECT_LT(uac.find("<security>"), uac.find("<requestedPrivileges>"));
    EXPECT_LT(uac.find("<requestedPrivileges>"), uac.find("<requestedExecutionLevel"));
    EXPECT_EQ(uac.substr(uac.size() - 11), "</assembly>");  // no line break after the last line
    // Lines end in CR LF only.
    for (size_t i = 0; i < uac.size(); ++i)
        if (uac[i] == '\n') {
            EXPECT_EQ(uac[i - 1], '\r') << i;
        }
}

TEST(EmbeddedResources, UsageText) {
    bool found = false;
    std::string usage = ReadResource(Quillet(), "TXT", "CMDLINE", &found);
    ASSERT_TRUE(found);
    EXPECT_EQ(usage.size(), 2825u);
    EXPECT_EQ(usage, ReadFileBytes(SourceFile("resources/cmdline.txt")));
    EXPECT_EQ(usage.substr(usage.size() - 2), "\r\n");
    for (size_t i = 0; i < usage.size(); ++i)
        if (usage[i] == '\n') {
            EXPECT_EQ(usage[i - 1], '\r') << i;
        }

    std::vector<std::string> lines = Lines(usage);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "Usage:");
    EXPECT_EQ(lines[1], "quillet.exe [switches] <source> <target> [icon] [executable] [custfolder] [cmdlineprm]");
    // Every switch line, in the order of the text: switch padded to four, "- ", its text.
    const char* switches[][2] = {
        {"-ic", "Use custom icon for target SFX file instead of default icon"},
        {"-me", "Extraction mode: Extract files into specified folder (default value)"},
        {"-mf", "Extraction mode: Extract files into specified folder and launch executable file"},
        {"-ft", "Extraction folder: Temporary folder (default value)"},
        {"-fd", "Extraction folder: Desktop folder"},
        {"-fp", "Extraction folder: Documents folder"},
        {"-fc", "Extraction folder: Current folder"},
        {"-fs", "Extraction folder: Show \"Browse for Folder\" dialog before extraction"},
        {"-fm", "Extraction folder: Custom folder (specify the folder as param3/4)"},
        {"-op", "Overwrite mode: Prompt user whether to overwrite existing file (default value)"},
        {"-oo", "Overwrite mode: Automatically overwrite all existing files"},
        {"-os", "Overwrite mode: Automatically skip extracting of all existing files"},
        {"-i", "One instance checking"},
        {"-s", "Silent extraction mode"},
        {"-d", "Self destructing mode"},
        {"-e", "Open extracted folder in the explorer after extraction "},
        {"-we", "Working directory: Extraction folder, where executable file is located (default value)"},
        {"-ws", "Working directory: Source folder, where SFX file is located"},
        {"-wc", "Working directory: Current working directory"},
        {"-di", "Delete files: Delete extracted files when SFX has finished executing (default value)"},
        {"-dr", "Only with -ua: Delete files: Delete extracted files on reboot (requires admin rights)"},
        {"-dn", "Delete files: Do not delete extracted files"},
        {"-un", "UAC auto-elevation: None"},
        {"-uh", "UAC auto-elevation: Run SFX file with the highest available permission"},
        {"-ua", "UAC auto-elevation: Run SFX file as administrator"},
        {"-o", "Automatically overwrite target file, if exists"},
        {"-c", "Do not show message box when SFX file is created"},
        {"-h", "Hide main form of the application during creation of SFX file"},
        {"-z", "Compact SFX file: all files packed as one stream with zstd (smaller, slower to create)"},
    };
    auto at = lines.begin();
    for (const auto& sw : switches) {
        std::string line = sw[0];
        line.resize(4, ' ');
        line += std::string("- ") + sw[1];
        auto found = std::find(at, lines.end(), line);
        EXPECT_NE(found, lines.end()) << line;
        if (found != lines.end()) at = found;
    }
    for (const char* heading : {"Mandatory parameters:", "Conditional parameters:", "Run-time switches for extraction:",
                                "Only with -me: ", "Only with -mf: ", "Optional switches for creating SFX file:",
                                "Examples:"})
        EXPECT_NE(std::find(lines.begin(), lines.end(), heading), lines.end()) << heading;
    EXPECT_EQ(lines.back(),
              "quillet.exe -mf -fp -i -wc C:\\Source C:\\Target.exe C:\\Source\\setup.exe \"\\\"prm 1\\\" \\\"prm 2\\\"\"");
}

TEST(EmbeddedResources, IconAndVersion) {
    bool found = false;
    ReadResource(Quillet(), MAKEINTRESOURCEA(14), "MAINICON", &found);
    EXPECT_TRUE(found);
    DWORD handle = 0, size = GetFileVersionInfoSizeA(Quillet().c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::string info(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(Quillet().c_str(), 0, size, &info[0]));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(&info[0], "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), QUILLET_VERSION_MAJOR);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), QUILLET_VERSION_MINOR);
}

namespace {
struct IconGroup {
    WORD reserved, type, count;
};
BOOL CALLBACK AddLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR data) {
    reinterpret_cast<std::vector<WORD>*>(data)->push_back(language);
    return TRUE;
}
}  // namespace

// The extractor carries one icon group of ten images in one language and the maker's
// address; no version information and no manifest (the builder writes those).
TEST(EmbeddedResources, ExtractorResources) {
    std::string sfxhead = BinPath("sfxhead.exe");
    bool found = false;
    std::string group = ReadResource(sfxhead, MAKEINTRESOURCEA(14), "MAINICON", &found);
    ASSERT_TRUE(found);
    ASSERT_GE(group.size(), 6u);
    EXPECT_EQ(reinterpret_cast<const IconGroup*>(group.data())->count, 10);
    EXPECT_EQ(group.size(), 6u + 14 * 10);
    HMODULE module = LoadLibraryExA(sfxhead.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module);
    char text[128] = "";
    EXPECT_GT(LoadStringA(module, 1, text, sizeof(text)), 0);
    EXPECT_EQ(std::string(text).rfind("https://", 0), 0u) << text;
    EXPECT_FALSE(FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16)));  // no version
    EXPECT_FALSE(FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)));  // no manifest
    std::vector<WORD> languages;
    for (int image = 1; image <= 10; ++image)
        EnumResourceLanguagesA(module, MAKEINTRESOURCEA(3), MAKEINTRESOURCEA(image), AddLanguage,
                               reinterpret_cast<LONG_PTR>(&languages));
    ASSERT_EQ(languages.size(), 10u);
    EXPECT_EQ(std::count(languages.begin(), languages.end(), languages[0]), 10);
    FreeLibrary(module);
}

// Each of the four payloads is required: without it the builder refuses to start.
TEST(Startup, MissingResourceRefusesToStart) {
    const char* names[][2] = {{"EXE", "SFXHEAD"}, {"EXE", "SELFDELETE"}, {"XML", "UAC"}, {"TXT", "CMDLINE"}};
    TempFolder dir;
    for (const auto& n : names) {
        std::string copy = dir / (std::string("no-") + n[1] + ".exe");
        ASSERT_TRUE(CopyWithoutResource(Quillet(), copy, n[0], n[1])) << n[1];
        bool found = true;
        ReadResource(copy, n[0], n[1], &found);
        ASSERT_FALSE(found) << n[1];

        // A complete windowless command line: without the check it would go on to build.
        Process p("\"" + copy + "\" -h -c \"" + dir.Path() + ".\" \"" + dir / "out.exe" + "\"", dir.Path().c_str());
        ASSERT_TRUE(p.Started());
        HWND box = WaitForWindow(p.Id(), kDialogClass, 15000);
        ASSERT_TRUE(box) << n[1];
        MessageBoxView v = ReadMessageBox(box);
        EXPECT_EQ(v.caption, L"Error") << n[1];
        EXPECT_EQ(v.text, L"Internal error\r\nThe program is corrupted") << n[1];
        EXPECT_EQ(v.buttons, std::vector<int>{IDOK});
        EXPECT_TRUE(WindowsOf(p.Id(), L"Tfquillet").empty());
        PressButton(box, IDOK);
        DWORD code = 99;
        ASSERT_TRUE(p.Wait(10000, &code)) << n[1];
        EXPECT_EQ(code, 0u) << n[1];
        EXPECT_EQ(ReadFileBytes(dir / "out.exe"), "") << n[1];
    }
}

TEST(Startup, IncompleteWindowlessCommandLineEndsSilently) {
    TempFolder dir, source;
    WriteFileBytes(source / "a.txt", "a");
    for (std::string args : {std::string("-h"), "-h \"" + source.Path() + "\"", "-h -mf \"" + source.Path() + "\" out.exe"}) {
        Process p("\"" + Quillet() + "\" " + args, dir.Path().c_str());
        ASSERT_TRUE(p.Started());
        EXPECT_EQ(ExpectEndsWithoutMessages(p, 15000), 0u) << args;
        EXPECT_TRUE(dir.List().empty()) << args;
    }
}

TEST(Startup, WindowModesOpenTheMainWindow) {
    TempFolder dir, source;
    // Interactive (no parameters), incomplete without -h, and complete without -h.
    for (std::string args : {std::string(), "-mf \"" + source.Path() + "\" out.exe",
                             "-c \"" + source.Path() + "\" out.exe"}) {
        Process p("\"" + Quillet() + "\" " + args, dir.Path().c_str());
        ASSERT_TRUE(p.Started());
        HWND main = WaitForWindow(p.Id(), L"Tfquillet", 15000);
        ASSERT_TRUE(main) << args;
        EXPECT_TRUE(WindowsOf(p.Id(), kDialogClass).empty()) << args;
        PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(ExpectEndsWithoutMessages(p, 15000), 0u) << args;
    }
}

TEST(Startup, HelperStartsAndEnds) {
    TempFolder dir;
    Process p("\"" + BinPath("selfdelete.exe") + "\"", dir.Path().c_str());
    ASSERT_TRUE(p.Started());
    DWORD code = 99;
    EXPECT_TRUE(p.Wait(15000, &code));
    EXPECT_EQ(code, 0u);
}
