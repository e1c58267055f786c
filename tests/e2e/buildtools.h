// Helpers of the build tests: quoting, source trees and windowless builds.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "sfxreader.h"
#include "winprocess.h"

// A parameter in quotes for a command line: inner quotes escaped, backslashes before a quote
// (or before the closing quote) doubled.
inline std::string Q(const std::string& s) {
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : s) {
        if (c == '\\') {
            ++backslashes;
        } else {
            if (c == '"') out.append(backslashes + 1, '\\');
            backslashes = 0;
        }
        out += c;
    }
    out.append(backslashes, '\\');
    return out + "\"";
}

// Offsets where two records differ, for a readable failure.
inline std::string Differences(const std::string& got, const std::string& expected) {
    std::string out;
    for (size_t i = 0; i < got.size() || i < expected.size(); ++i) {
        int a = i < got.size() ? static_cast<unsigned char>(got[i]) : -1;
        int b = i < expected.size() ? static_cast<unsigned char>(expected[i]) : -1;
        if (a != b && out.size() < 400)
            out += "@" + std::to_string(i) + ": " + std::to_string(a) + " != " + std::to_string(b) + "; ";
    }
    return out;
}

inline std::string Quillet() { return BinPath("quillet.exe"); }

// Runs "quillet.exe -h -c <args>" and fails the test for any message box; the exit code.
inline DWORD BuildQuietly(const std::string& args, const std::string& workDir) {
    Process p(Q(Quillet()) + " -h -c " + args, workDir.c_str());
    return ExpectEndsWithoutMessages(p, 120000);
}

// How a windowless build that fails ended: its error box, the exit code, and the threads of the
// builder while the box was shown.
struct FailedBuild {
    MessageBoxView box;
    DWORD code = 0;
    int threadsAtBox = -1;
};

// Runs "quillet.exe -h -c <args>" expecting one error box, which it reads and answers.
inline FailedBuild BuildFailing(const std::string& args, const std::string& workDir) {
    FailedBuild f;
    Process p(Q(Quillet()) + " -h -c " + args, workDir.c_str());
    HWND box = WaitForWindow(p.Id(), kDialogClass, 120000);
    EXPECT_TRUE(box) << "no error box";
    if (!box) return f;
    Sleep(200);  // threads that were told to end have had time to go
    f.threadsAtBox = ThreadCount(p.Id());
    f.box = ReadMessageBox(box);
    PressButton(box, IDOK);
    f.code = ExpectEndsWithoutMessages(p, 30000);
    return f;
}

inline void MakeFolder(const std::string& path) { CreateDirectoryA(path.c_str(), nullptr); }

// Bytes that compress somewhat, different for every seed.
inline std::string SomeBytes(size_t n, unsigned seed) {
    std::string s(n, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = static_cast<char>((x >> 16) % 64 + (i % 7 == 0 ? 128 : 32));
    }
    return s;
}

// A source folder and a good SFX file built from it, which a failing rebuild must keep.
struct PreviousSfx {
    TempFolder src, out;
    std::string target, bytes;
    PreviousSfx() {
        WriteFileBytes(src / "a.txt", "first");
        WriteFileBytes(src / "b.bin", SomeBytes(200000, 2));
        target = out / "t.exe";
        EXPECT_EQ(BuildQuietly(Q(src.Path()) + " " + Q(target), out.Path()), 0u);
        bytes = ReadFileBytes(target);
        EXPECT_EQ(ReadSfx(target).error, "");
    }
    void ExpectUntouched() const {
        EXPECT_TRUE(ReadFileBytes(target) == bytes) << "the previous SFX file changed";
        EXPECT_EQ(out.List(), std::vector<std::string>{"t.exe"}) << "no temporary file is left";
    }
};
