// Helpers of the build tests: quoting, source trees and windowless builds.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "sfxreader.h"
#include "widetools.h"
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

// "quillet.exe -c <args>" through the W functions, windowless unless window; the exit code,
// failing the test for any message box.
inline DWORD BuildW(const std::wstring& args, const std::wstring& workDir, bool window = false) {
    Process p(QW(WBinDir() + L"quillet.exe") + (window ? L" -c " : L" -h -c ") + args, workDir.c_str());
    return ExpectEndsWithoutMessages(p, 300000);
}

// A build that ends with one message box: the box (answered with OK) and the exit code.
struct Refusal {
    MessageBoxView box;
    DWORD code = 0;
};

// Waits for the build's box; whileShown (when given) runs before the box is answered.
inline Refusal EndsWithOneBox(Process& p, DWORD ms, const std::function<void()>& whileShown = nullptr) {
    Refusal r;
    r.box = WaitForMessageBox(p.Id(), ms);
    EXPECT_TRUE(r.box.window) << "no message box";
    if (!r.box.window) return r;
    if (whileShown) whileShown();
    PressButton(r.box.window, IDOK);
    r.code = ExpectEndsWithoutMessages(p, 60000);
    return r;
}

// "quillet.exe -h -c <args>" expected to end with one error box.
inline Refusal BuildRefused(const std::string& args, const std::string& workDir,
                            const std::function<void()>& whileShown = nullptr) {
    Process p(Q(Quillet()) + " -h -c " + args, workDir.c_str());
    return EndsWithOneBox(p, 120000, whileShown);
}

// The same through the W functions.
inline Refusal BuildRefusedW(const std::wstring& args, const std::wstring& workDir, DWORD ms = 120000) {
    Process p(QW(WBinDir() + L"quillet.exe") + L" -h -c " + args, workDir.c_str());
    return EndsWithOneBox(p, ms);
}

// A build that ends with one error box, and the builder's threads while the box is shown: once
// that many threads are left at most (the threads told to end have gone), or after 5 s.
struct FailedBuild : Refusal {
    int threadsAtBox = -1;
};

// Runs "quillet.exe -h -c <args>" expecting one error box, which it reads and answers.
inline FailedBuild BuildFailing(const std::string& args, const std::string& workDir, int settlesAt = -1) {
    FailedBuild f;
    Process p(Q(Quillet()) + " -h -c " + args, workDir.c_str());
    static_cast<Refusal&>(f) = EndsWithOneBox(p, 120000, [&] {
        f.threadsAtBox = ThreadCount(p.Id());
        DWORD start = GetTickCount();
        while (settlesAt >= 0 && f.threadsAtBox > settlesAt && GetTickCount() - start < 5000) {
            Sleep(20);
            f.threadsAtBox = ThreadCount(p.Id());
        }
    });
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

// Bytes that do not pack at all (xorshift), different for every seed: zstd and deflate store them
// as they are, fast at any level.
inline std::string Noise(size_t n, uint64_t seed) {
    std::string s(n, '\0');
    uint64_t x = 0x9E3779B97F4A7C15ull * (seed + 1);
    for (size_t i = 0; i < n; i += 8) {
        x ^= x << 13, x ^= x >> 7, x ^= x << 17;
        memcpy(&s[i], &x, std::min<size_t>(8, n - i));
    }
    return s;
}

// The container's checksum (ByteSum) of the bytes.
inline uint32_t Sum(const std::string& bytes) {
    uint32_t sum = 0;
    for (unsigned char c : bytes) sum += c;
    return sum;
}

// The file with the InstanceName (the only field that differs between two builds) blanked.
inline std::string WithoutInstanceName(std::string bytes) {
    uint32_t record = ImageEnd(bytes);
    if (record && bytes.size() >= record + 2330u) bytes.replace(record + 2311, 10, 10, '#');
    return bytes;
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
