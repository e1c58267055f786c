// Helpers of the extractor tests: building SFX files, running them with bounded waits while
// answering their message boxes, crafting damaged copies, reading pending deletions.
#pragma once
#include <functional>
#include <iostream>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "buildtools.h"
#include "sfxreader.h"

// Builds target from src with the switches given (and -o -c -h); tail follows the target.
// Returns target.
inline std::string MakeSfx(const std::string& switches, const std::string& src, const std::string& target,
                           const std::string& tail = "") {
    DWORD code = BuildQuietly("-o " + switches + " " + Q(src) + " " + Q(target) + " " + tail, BinDir());
    EXPECT_EQ(code, 0u) << switches;
    if (!code) {
        EXPECT_EQ(ReadSfx(target).error, "");
    }
    return target;
}

// A source folder and a folder for the SFX files built from it. Build(name, switches, tail) makes
// out\name with the fixture's own switches first and its program and folder around tail:
//   quillet.exe -h -c -o <switches> <more> <src> <out\name> <program> <tail> <folder>
struct SfxFolders {
    TempFolder src, out;
    std::string switches, program, folder;
    std::string Build(const std::string& name, const std::string& more = "", const std::string& tail = "") const {
        return MakeSfx(switches + " " + more, src.Path(), out / name, program + " " + tail + " " + folder);
    }
};

// Starts an SFX file with its arguments. Now and then, under load, Wine fails to start a program
// file written a moment ago; it is started again (at most three times, said on the output), so
// only a file that never starts is at fault.
inline std::unique_ptr<Process> StartSfx(const std::string& sfx, const std::string& args, const char* workDir) {
    std::string line = Q(sfx) + (args.empty() ? "" : " " + args);
    auto p = std::make_unique<Process>(line, workDir);
    for (int attempt = 0; attempt < 3 && !p->Started(); ++attempt) {
        std::cout << "[ note     ] " << sfx << " did not start (" << GetLastError() << "); again\n";
        Sleep(500);
        p = std::make_unique<Process>(line, workDir);
    }
    return p;
}

struct SfxRun {
    DWORD code = 0xFFFFFFFF;
    std::vector<MessageBoxView> boxes;  // every message box the run showed, in order
};

// Runs an SFX file; each message box is read, then answered by answer() (the id of the
// button to press; without it the default button). Bounded: a run that does not end is killed.
inline SfxRun RunSfx(const std::string& sfx, const std::string& args = "", const std::string& workDir = "",
                     std::function<int(const MessageBoxView&)> answer = nullptr, DWORD ms = 60000) {
    SfxRun run;
    auto p = StartSfx(sfx, args, workDir.empty() ? nullptr : workDir.c_str());
    EXPECT_TRUE(p->Started()) << sfx;
    if (!p->Started()) return run;
    DWORD start = GetTickCount();
    std::vector<HWND> answered;
    while (!p->Wait(30, &run.code)) {
        for (HWND box : WindowsOf(p->Id(), kDialogClass)) {
            if (std::find(answered.begin(), answered.end(), box) != answered.end()) continue;
            MessageBoxView view = ReadMessageBoxWhenReady(box);
            run.boxes.push_back(view);
            answered.push_back(box);
            int id = answer ? answer(view) : (view.defaultButton ? view.defaultButton : IDOK);
            if (id) PressButton(box, id);
        }
        if (GetTickCount() - start > ms) {
            ADD_FAILURE() << "SFX run did not end: " << sfx;
            p->Kill();
            run.code = 0xDEAD0000;
            break;
        }
    }
    return run;
}

// Runs an SFX file (or any program) through the W functions; the exit code, failing the test for
// any message box.
inline DWORD RunSfxW(const std::wstring& sfx, const std::wstring& args = L"", const wchar_t* workDir = nullptr,
                     DWORD ms = 300000) {
    Process p(QW(sfx) + (args.empty() ? L"" : L" " + args), workDir);
    EXPECT_TRUE(p.Started()) << U8(sfx);
    return ExpectEndsWithoutMessages(p, ms);
}

// What launch_probe wrote to %QUILLET_PROBE_WOUT%: its command line, then each argument (its own
// path first), one a line.
inline std::vector<std::wstring> ProbeLines(const std::wstring& report) {
    std::wstring text = U16(ReadFileW(report));
    std::vector<std::wstring> lines;
    for (size_t at = 0, end; (end = text.find(L'\n', at)) != std::wstring::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

// Run mode with launch_probe under a name outside the code page (in base\src, beside a file and a
// nested folder), built with "-o -mf -ft -s -di", the switches and the stored parameters given, and
// run with args, its temporary folder base\temp: the program, started in the run's sub-folder,
// gets the parameters and then the arguments (argv), its exit code is the run's, and the clean-up
// empties the temporary folder. The SFX file as read.
inline SfxFile ExpectWideProgramRuns(const std::wstring& base, const std::wstring& switches, const std::wstring& name,
                                     const std::wstring& parameters, const std::wstring& args,
                                     const std::vector<std::wstring>& argv) {
    const std::wstring src = base + L"src\\", temp = base + L"temp\\", sfx = base + L"r.exe";
    const std::wstring report = base + L"report.txt";
    EXPECT_TRUE(MakeTreeW(src, {{U8(L"\u6587\u66F8.txt"), "data"}, {"lib\\"}, {"lib\\x.dll", SomeBytes(5000, 9)}}));
    WriteFileW(src + name, ReadFileW(WBinDir() + L"launch_probe.exe"));
    MakeFolderW(temp);
    EXPECT_EQ(BuildW(L"-o -mf -ft -s -di " + switches + L" " + QW(src) + L" " + QW(sfx) + L" " + QW(src + name) + L" " +
                         parameters,
                     base),
              0u);
    ScopedEnvW t(L"TEMP", temp), t2(L"TMP", temp), w(L"QUILLET_PROBE_WOUT", report), e(L"QUILLET_PROBE_EXIT", L"7");
    EXPECT_EQ(RunSfxW(sfx, args, base.c_str()), 7u);
    std::vector<std::wstring> lines = ProbeLines(report);
    EXPECT_EQ(lines.size(), 2 + argv.size()) << ReadFileW(report);
    if (lines.size() >= 2) {
        EXPECT_EQ(lines[1].rfind(temp + L"~sfx", 0), 0u) << U8(lines[1]);
        EXPECT_EQ(lines[1].substr(lines[1].rfind(L'\\') + 1), name);
        EXPECT_EQ(std::vector<std::wstring>(lines.begin() + 2, lines.end()), argv);
    }
    EXPECT_TRUE(TreeW(temp).empty()) << "the run's folder and files are removed";
    return ReadSfx(U8(sfx), false);
}

// The system's text for a code as the extractor shows it: trailing blanks and full stops cut.
inline std::string SystemText(DWORD code) {
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof(text),
                   nullptr);
    std::string s = text;
    while (!s.empty() && (static_cast<unsigned char>(s.back()) <= 32 || s.back() == '.')) s.pop_back();
    return s;
}

// The message FinishRun shows: the text, an empty line, the system's text; or the system's text
// with the text in place of its first "%1".
inline std::wstring RunEndMessage(const std::string& text, DWORD code) {
    std::string system = SystemText(code);
    size_t mark = system.find("%1");
    return WideOf(mark == std::string::npos ? text + "\r\n\r\n" + system : system.replace(mark, 2, text));
}

inline std::string TempPath() {
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    std::string p = path;
    if (p.back() != '\\') p += '\\';
    return p;
}

inline std::string TempSubFolder(const std::string& sfx) {
    return TempPath() + "~sfx" + ReadSfx(sfx).Text(2311, 11) + "\\";
}

inline bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Sources of the pending renames at restart, without their "\??\" prefix; clears them with clear.
inline std::vector<std::string> PendingDeletions(bool clear = false) {
    std::vector<std::string> out;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, &key))
        return out;
    DWORD size = 0;
    if (!RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) && size) {
        std::string data(size, '\0');
        RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(&data[0]), &size);
        // Pairs of texts: source, then destination (empty for a deletion).
        std::vector<std::string> texts;
        for (size_t at = 0; at < data.size();) {
            size_t end = data.find('\0', at);
            if (end == std::string::npos) end = data.size();
            texts.push_back(data.substr(at, end - at));
            at = end + 1;
        }
        for (size_t i = 0; i + 1 < texts.size(); i += 2) {
            std::string s = texts[i];
            if (s.compare(0, 4, "\\??\\") == 0) s = s.substr(4);
            if (!s.empty()) out.push_back(s);
        }
    }
    if (clear) RegDeleteValueA(key, "PendingFileRenameOperations");
    RegCloseKey(key);
    return out;
}

// Files and a hidden folder with times and attributes of their own: read-only, hidden, empty, a
// program with resources, an empty folder.
inline std::vector<TreeItem> AttributeTree() {
    FILETIME t1 = MakeTime(2019, 3, 14, 15, 9, 27), t2 = MakeTime(2024, 12, 31, 23, 59, 58);
    return {{"plain.txt", "plain text\r\n", t1},
            {"ro.txt", "read only", t2, FILE_ATTRIBUTE_READONLY},
            {"hidden.bin", SomeBytes(300000, 8), t1, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE},
            {"empty.txt", "", t2},
            {"folder\\", "", {}, FILE_ATTRIBUTE_HIDDEN},
            {"folder\\nothing\\"},
            {"folder\\inner.txt", "inner", t1},
            {"app.exe", ReadFileBytes(BinPath("sample_app.exe")), t2}};
}

// A file time in whole seconds.
inline LONGLONG Seconds(const FILETIME& ft) {
    return ((static_cast<LONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 10000000;
}

// Where the payload starts, and the offsets of the entries after the record.
inline size_t PayloadOffset(const std::string& sfx) { return ReadSfx(sfx).payloadOffset; }

inline void PatchBytes(const std::string& from, const std::string& to, size_t offset, const std::string& bytes) {
    std::string b = ReadFileBytes(from);
    b.replace(offset, bytes.size(), bytes);
    WriteFileBytes(to, b);
}

inline std::string Le32Bytes(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
    return s;
}

// The caption the system gives a message box without one ("Error" in English), read from
// a box this test program shows itself.
inline std::wstring DefaultCaption() {
    static std::wstring caption;
    if (!caption.empty()) return caption;
    std::thread reader([] {
        HWND box = WaitForWindow(GetCurrentProcessId(), kDialogClass, 10000);
        if (!box) return;
        caption = WindowText(box);
        PressButton(box, IDOK);
    });
    MessageBoxA(nullptr, "caption probe", nullptr, MB_OK);
    reader.join();
    return caption;
}
