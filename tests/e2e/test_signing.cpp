// Signed SFX files (Authenticode, osslsigncode). Run in two steps by signing.sh, in the folder
// %QUILLET_SIGNING_DIR%:
//   Prepare.*  builds plain.exe (extract only) and run.exe (run mode: icon and version from a
//              program, an elevation manifest) from one source tree;
//   Signed.*   after the script signed them as *.signed.exe and verified the signatures: each
//              still extracts exactly (tree, bytes, times, attributes), keeps its resources,
//              and the certificate table lies after the payload's terminator.
#include <gtest/gtest.h>

#include "sfxtools.h"

namespace {

std::string WorkDir() {
    char dir[MAX_PATH] = "";
    DWORD n = GetEnvironmentVariableA("QUILLET_SIGNING_DIR", dir, MAX_PATH);
    std::string d(dir, n < MAX_PATH ? n : 0);
    if (!d.empty() && d.back() != '\\') d += '\\';
    return d;
}

// The certificate table's place and size from the PE data directory 4.
bool CertificateTable(const std::string& bytes, uint32_t* offset, uint32_t* size) {
    if (bytes.size() < 0x40) return false;
    uint32_t pe = *reinterpret_cast<const uint32_t*>(bytes.data() + 0x3C);
    if (bytes.size() < pe + 24 + 2) return false;
    uint16_t magic = *reinterpret_cast<const uint16_t*>(bytes.data() + pe + 24);
    size_t dirs = pe + 24 + (magic == 0x20B ? 112 : 96);
    if (bytes.size() < dirs + 5 * 8) return false;
    *offset = *reinterpret_cast<const uint32_t*>(bytes.data() + dirs + 4 * 8);
    *size = *reinterpret_cast<const uint32_t*>(bytes.data() + dirs + 4 * 8 + 4);
    return *offset != 0 && *size != 0;
}

}  // namespace

TEST(Prepare, BuildTheFilesToSign) {
    std::string dir = WorkDir();
    ASSERT_FALSE(dir.empty()) << "QUILLET_SIGNING_DIR is not set: run signing.sh";
    ASSERT_TRUE(MakeTreeW(WideOf(dir + "src\\"), AttributeTree()));
    MakeSfx("-s -oo -dn -fm", dir + "src\\", dir + "plain.exe", Q(dir + "dest-plain"));
    MakeSfx("-s -oo -dn -fm -mf -uh", dir + "src\\", dir + "run.exe",
            Q(dir + "src\\app.exe") + " " + Q(dir + "dest-run"));
}

TEST(Signed, SignedFilesExtractExactly) {
    std::string dir = WorkDir();
    ASSERT_FALSE(dir.empty()) << "QUILLET_SIGNING_DIR is not set: run signing.sh";
    SetEnvironmentVariableA("QUILLET_PROBE_EXIT", "0");
    for (const char* name : {"plain", "run"}) {
        SCOPED_TRACE(name);
        std::string unsignedFile = dir + name + ".exe", signedFile = dir + name + ".signed.exe";
        std::string before = ReadFileBytes(unsignedFile), after = ReadFileBytes(signedFile);
        ASSERT_GT(after.size(), before.size()) << "not signed";
        // The signature is appended after the payload, whose terminator it follows.
        SfxFile f = ReadSfx(signedFile);
        ASSERT_EQ(f.error, "");
        EXPECT_GT(f.trailing, 0u);
        uint32_t offset = 0, size = 0;
        ASSERT_TRUE(CertificateTable(after, &offset, &size));
        EXPECT_GE(offset, f.terminatorOffset + 17);
        EXPECT_EQ(offset + size, after.size());
        EXPECT_EQ(ReadSfx(unsignedFile).entries.size(), f.entries.size());

        std::string dest = dir + "dest-" + name + "\\";
        RemoveTree(dest);
        SfxRun run = RunSfx(signedFile);
        EXPECT_EQ(run.code, 0u);
        EXPECT_TRUE(run.boxes.empty());
        // The same tree: items, bytes, times and attributes.
        EXPECT_EQ(TreeW(WideOf(dest)), TreeW(WideOf(dir + "src\\")));
        EXPECT_EQ(MetaW(WideOf(dest)), MetaW(WideOf(dir + "src\\")));
        // Edited resources survive the signing: version and manifest of run mode.
        DWORD handle = 0;
        bool runMode = std::string(name) == "run";
        EXPECT_EQ(GetFileVersionInfoSizeA(signedFile.c_str(), &handle) != 0, runMode);
        HMODULE m = LoadLibraryExA(signedFile.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_TRUE(m);
        HRSRC manifest = FindResourceA(m, MAKEINTRESOURCEA(1), RT_MANIFEST);
        if (runMode) {
            ASSERT_TRUE(manifest);
            const char* bytes = static_cast<const char*>(LockResource(LoadResource(m, manifest)));
            std::string text(bytes, SizeofResource(m, manifest));
            EXPECT_NE(text.find("highestAvailable"), std::string::npos);
        }
        FreeLibrary(m);
    }
}
