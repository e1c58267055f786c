// Sweeps over a real SFX file of a small tree, one cut short and one with one byte changed for
// each container form: at every field the reader checks (of the record, the extension, the compact
// header and each kind of entry) and a few offsets spread over the payload. The compact directory
// is one zstd frame, where a changed byte fails zstd's checksum before it reaches a field: each of
// its fields is changed in the plain directory, which is packed again. Each run is silent, in a
// fresh sandbox of its own (its temporary folder and extraction folder inside it), bounded in time,
// and checked: a documented exit code, no crash, no message box, nothing outside the sandbox, no
// temporary file left and no file with wrong content under a real name. The counts by exit code
// are printed. Every other offset is cut and changed without Wine, where it costs nothing: the
// reader's unit test (unit_format, every form at every offset) and fuzz_payload.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include <zstd.h>

#include "sfxtools.h"
#include "widetools.h"

namespace {

const DWORD RunBound = 30000;  // ms per run
const int Parallel = 3;
const std::string WideName = "docs\\\xE5\xBC\xA0 \xF0\x9F\x93\xA6.txt";  // UTF-8

// One zstd frame as the builder packs it: level 18, the content size and zstd's own checksum.
std::string PackFrame(const std::string& plain) {
    std::string out(ZSTD_compressBound(plain.size()), '\0');
    ZSTD_CCtx* c = ZSTD_createCCtx();
    ZSTD_CCtx_setParameter(c, ZSTD_c_compressionLevel, 18);
    ZSTD_CCtx_setParameter(c, ZSTD_c_checksumFlag, 1);
    ZSTD_CCtx_setParameter(c, ZSTD_c_contentSizeFlag, 1);
    size_t n = ZSTD_compress2(c, &out[0], out.size(), plain.data(), plain.size());
    ZSTD_freeCCtx(c);
    EXPECT_FALSE(ZSTD_isError(n));
    out.resize(ZSTD_isError(n) ? 0 : n);
    return out;
}

enum class Form { Original, Extended, Compact };

// The tree: folders, several files, one of two chunks (ChunkSize is 9 MiB), an empty one, and the
// self-delete helper. The extended tree has a name outside every code page as well, so its SFX
// file is of the extended form; the compact tree has it too, built with -z.
struct Tree {
    TempFolder src, out;
    std::map<std::string, std::string> files;  // relative name -> content
    std::string sfx, bytes, helper;
    size_t payload = 0;
    std::vector<std::pair<size_t, size_t>> bigData;  // packed data of the big file's chunks, or of every frame
    SfxFile layout;                                  // as read, without the data
    explicit Tree(Form form = Form::Original) {
        MakeFolder(src / "docs");
        MakeFolder(src / "docs\\deep");
        std::string big;
        for (int i = 0; big.size() < 9 * 1048576 + 3000; ++i) big += "row " + std::to_string(i) + " of the two-chunk file\n";
        files = {{"readme.txt", "read me first"},
                 {"docs\\a.txt", "alpha"},
                 {"docs\\deep\\b.bin", SomeBytes(3000, 7)},
                 {"docs\\empty.txt", ""},
                 {"big.bin", big}};
        if (form != Form::Original) files[WideName] = "wide";
        for (const auto& [name, content] : files) WriteFileW(U16(src / name), content);
        sfx = out / "tree.exe";
        // The extraction folder comes from the environment, so each run gets its own.
        const std::string switches = form == Form::Compact ? "-z -s -oo -d -fm" : "-s -oo -d -fm";
        MakeSfx(switches, src.Path(), sfx, Q("%QUILLET_SWEEP%\\dest"));
        bytes = ReadFileBytes(sfx);
        payload = PayloadOffset(sfx);
        helper = ReadFileBytes(BinPath("selfdelete.exe"));
        layout = ReadSfx(sfx, false);
        const SfxEntry* bigEntry = layout.Find("big.bin");
        EXPECT_TRUE(bigEntry) << layout.error;
        for (const SfxChunk& c : layout.compact ? layout.frames : bigEntry ? bigEntry->chunks : std::vector<SfxChunk>{})
            bigData.push_back({c.offset + 8, c.offset + 8 + c.packed});
    }
    // count offsets spread evenly over the payload, and as many again over the payload outside the
    // big file's packed data and outside CmdParameters (2048 bytes that extract-only never reads):
    // there lie the record's fields, the headers, names, chunk headers and the small files.
    std::vector<size_t> Offsets(int count) const {
        std::vector<size_t> all;
        for (int i = 0; i < count; ++i) all.push_back(payload + (bytes.size() - payload) * i / count);
        std::vector<size_t> outside;
        for (size_t at = payload; at < bytes.size(); ++at) {
            if (at == payload + 2) at = payload + 2050;
            bool inBig = false;
            for (auto [from, to] : bigData)
                if (at >= from && at < to) {
                    inBig = true;
                    at = to - 1;
                }
            if (!inBig) outside.push_back(at);
        }
        for (int i = 0; i < count; ++i) all.push_back(outside[outside.size() * i / count]);
        return all;
    }
    // The record's first fields and last byte, every field of the extension; of the first entry
    // named, every field of its header, of the others its name length and size (low bytes); of
    // each, the first and last byte of its name, its first chunk header and its checksum; the
    // terminator's first and last byte. Of the attributes, the second byte: kind, time and
    // attributes are outside the checksum in both forms, and a changed folder bit makes a folder
    // of an empty file by design.
    std::vector<size_t> FieldOffsets(const std::vector<std::string>& names) const {
        const SfxFile& f = layout;
        std::vector<size_t> at = {payload, payload + 1, payload + 2050, payload + 2329};
        if (f.extended) {
            for (size_t d : {0, 1, 4, 5, 9, 16, 17, 19, 21, 23}) at.push_back(f.extensionOffset + d);
            at.push_back(f.extensionOffset + f.extensionSize - 4);
        }
        const size_t h = f.extended ? 21 : 17;  // the header: its DataSize ends at h - 9
        for (const std::string& name : names) {
            const SfxEntry* e = f.Find(name);
            EXPECT_TRUE(e) << name;
            if (!e) continue;
            std::vector<size_t> fields = {1, 5, h, h + e->storedName.size() - 1};
            if (name == names[0]) fields.insert(fields.end(), {0, 4, h - 9, h - 8, h - 3});
            for (size_t d : fields) at.push_back(e->offset + d);
            if (!e->chunks.empty()) at.insert(at.end(), {e->chunks[0].offset, e->chunks[0].offset + 4});
            at.push_back(e->sumOffset);
        }
        at.insert(at.end(), {f.terminatorOffset, f.terminatorOffset + h - 1});
        return at;
    }
    // The compact header's fields (the mark's kind, NameLength, DataSize and magic, then each field
    // of its own) and its checksum; the directory's frame: its first, a middle and its last byte
    // (zstd's own checksum ends it); each data frame's plain and packed length, first and last byte.
    std::vector<size_t> CompactOffsets() const {
        const SfxFile& f = layout;
        std::vector<size_t> at;
        for (size_t d : {0, 4, 5, 16, 17, 19, 21, 26, 27, 35, 39, 43}) at.push_back(f.headerOffset + d);
        at.push_back(f.headerOffset + 47 + 2 * f.cmdParameters.size());  // CustomFolder's first byte
        at.push_back(f.headerOffset + f.headerSize - 4);
        for (size_t d : {size_t(0), size_t(f.directoryPacked / 2), size_t(f.directoryPacked - 1)})
            at.push_back(f.directoryOffset + d);
        for (const SfxChunk& c : f.frames)
            at.insert(at.end(), {c.offset, c.offset + 4, c.offset + 8, c.offset + 7 + c.packed});
        return at;
    }
    // The compact file with one byte of its directory changed: the directory packed again as the
    // builder packs it, the header's DirectoryPacked, DirectorySum and checksum written anew, so
    // that the changed field itself is what the extractor judges; then the data frames as they were.
    std::string WithDirectoryByte(size_t at) const {
        const SfxFile& f = layout;
        std::string directory = f.directory;
        directory[at] = static_cast<char>(directory[at] ^ 0xFF);
        std::string packed = PackFrame(directory);
        std::string head = bytes.substr(0, f.directoryOffset);
        const size_t h = f.headerOffset, sum = h + f.headerSize - 4;
        head.replace(h + 39, 4, Le32Bytes(static_cast<uint32_t>(packed.size())));
        head.replace(h + 43, 4, Le32Bytes(Sum(directory)));
        head.replace(sum, 4, Le32Bytes(Sum(head.substr(h, sum - h))));
        return head + packed + bytes.substr(f.directoryOffset + f.directoryPacked);
    }
    // Each kind of entry: a small file (in the extended form the one named outside every code
    // page) first, the helper, a folder, an empty file and the file of two chunks.
    std::vector<std::string> EveryKind() const {
        return {files.count(WideName) ? WideName : "readme.txt", "xsfxdel~.exe", "docs", "docs\\empty.txt", "big.bin"};
    }
};

struct Sandbox {
    std::string folder, sfx;
    Process* process = nullptr;
    DWORD start = 0;
    std::string what;
    bool boxSeen = false;
};

// Every file under folder, as UTF-8 paths relative to it.
std::vector<std::string> ListFiles(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& [name, bytes] : TreeW(U16(folder)))
        if (name.back() != L'\\') out.push_back(U8(name));
    return out;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

class Sweep {
public:
    explicit Sweep(const Tree& tree) : tree_(tree) {}

    // Runs every variant (the SFX bytes and a label), Parallel at a time; checks each as it ends.
    void Run(const std::vector<std::pair<std::string, std::string>>& variants) {
        std::vector<Sandbox> running;
        size_t next = 0;
        while (next < variants.size() || !running.empty()) {
            while (next < variants.size() && running.size() < Parallel) running.push_back(Start(variants[next++]));
            Sleep(20);
            for (size_t i = 0; i < running.size();) {
                Sandbox& s = running[i];
                for (HWND box : WindowsOf(s.process->Id(), kDialogClass)) {
                    s.boxSeen = true;
                    MessageBoxView v = ReadMessageBox(box);
                    PressButton(box, v.defaultButton ? v.defaultButton : IDOK);
                }
                DWORD code = 0;
                bool ended = s.process->Wait(0, &code);
                if (!ended && GetTickCount() - s.start > RunBound) {
                    s.process->Kill();
                    code = 0xDEAD0000;
                    ended = true;
                }
                if (ended) {
                    Check(s, code);
                    delete s.process;
                    running.erase(running.begin() + i);
                } else {
                    ++i;
                }
            }
        }
    }

    std::map<DWORD, int> counts;

private:
    Sandbox Start(const std::pair<std::string, std::string>& variant) {
        Sandbox s;
        s.what = variant.second;
        s.folder = root_ / (std::to_string(serial_++) + "\\");
        MakeFolder(s.folder);
        MakeFolder(s.folder + "tmp");
        s.sfx = s.folder + "t.exe";
        WriteFileBytes(s.sfx, variant.first);
        // The run's temporary folder and the base of its extraction folder, through the
        // environment it inherits: set around its start, then restored.
        std::string base = s.folder.substr(0, s.folder.size() - 1);
        std::pair<const char*, std::string> vars[] = {{"TEMP", s.folder + "tmp"}, {"TMP", s.folder + "tmp"}, {"QUILLET_SWEEP", base}};
        std::vector<std::pair<std::string, std::string>> previous;
        for (auto& [name, value] : vars) {
            char old[MAX_PATH] = "";
            DWORD n = GetEnvironmentVariableA(name, old, MAX_PATH);
            previous.push_back({name, n && n < MAX_PATH ? old : std::string("\x01")});
            SetEnvironmentVariableA(name, value.c_str());
        }
        s.process = StartSfx(s.sfx, "", s.folder.c_str()).release();
        for (const auto& [name, value] : previous)
            SetEnvironmentVariableA(name.c_str(), value == "\x01" ? nullptr : value.c_str());
        s.start = GetTickCount();
        EXPECT_TRUE(s.process->Started()) << s.what;
        return s;
    }

    void Check(Sandbox& s, DWORD code) {
        ++counts[code];
        SCOPED_TRACE(s.what + ", exit code " + std::to_string(code));
        EXPECT_NE(code, 0xDEAD0000u) << "did not end within its bound";
        EXPECT_LT(code, 0xC0000000u) << "crashed";
        static const std::set<DWORD> documented = {0, 2, 3, 5, 8, 13, 23, 38, 87, 112, 123, 160, 206, 1152, 1920};
        EXPECT_TRUE(documented.count(code)) << "not a documented exit code";
        // Only a file too short to hold its settings record can't know that it is silent.
        if (code != 38) {
            EXPECT_FALSE(s.boxSeen) << "a message box in a silent run";
        }

        std::vector<std::string> files = ListFiles(s.folder);
        std::set<std::string> matched;
        for (const std::string& f : files) {
            if (f == "t.exe") continue;
            std::string content = ReadFileW(U16(s.folder + f));
            if (EndsWith(f, "\\xsfxdel~.exe")) {
                EXPECT_TRUE(content == tree_.helper) << f << ": the helper with wrong content";
                continue;
            }
            bool known = false;
            for (const auto& [name, expected] : tree_.files)
                if (EndsWith(f, "\\" + name)) {
                    known = true;
                    matched.insert(name);
                    EXPECT_TRUE(content == expected) << f << ": wrong content under a real name";
                }
            EXPECT_TRUE(known) << f << ": a file that is no entry of the archive";
        }
        if (code == 13 || code == 38) {
            EXPECT_EQ(files, std::vector<std::string>{"t.exe"}) << "the pre-scan refused, yet something was created";
        }
        if (code == 0) {
            EXPECT_EQ(matched.size(), tree_.files.size()) << "a successful run without the whole tree";
        }
        // The self-delete helper of a successful run may still be deleting t.exe: give it time.
        for (int i = 0; i < 50 && ExistsW(U16(s.folder)); ++i) {
            RemoveTreeW(U16(s.folder));
            if (ExistsW(U16(s.folder))) Sleep(100);
        }
    }

    const Tree& tree_;
    TempFolder root_;
    int serial_ = 0;
};

std::string Counts(const std::map<DWORD, int>& counts) {
    std::ostringstream s;
    for (const auto& [code, n] : counts) s << " exit " << code << ": " << n << ";";
    return s.str();
}

// Top-level names in the test's own temporary folder: a run must add nothing there.
std::set<std::string> TempNames() {
    std::set<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((TempPath() + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        std::string n = fd.cFileName;
        if (n.compare(0, 13, "quillet-test-") != 0) names.insert(n);  // the test's own folders
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return names;
}

}  // namespace

namespace {

void CutShort(const Tree& tree, const std::vector<size_t>& offsets) {
    std::set<std::string> before = TempNames();
    std::vector<std::pair<std::string, std::string>> variants;
    for (size_t at : offsets) variants.push_back({tree.bytes.substr(0, at), "cut at " + std::to_string(at)});
    Sweep sweep(tree);
    sweep.Run(variants);
    std::cout << "[ sweep    ] cut short at " << variants.size() << " offsets:" << Counts(sweep.counts) << "\n";
    for (const auto& [code, n] : sweep.counts) EXPECT_TRUE(code == 13 || code == 38) << code << " x" << n;
    EXPECT_EQ(TempNames(), before);
}

// One byte changed at each offset; more: variants made otherwise, run with them.
void OneByteChanged(const Tree& tree, const std::vector<size_t>& offsets,
                    std::vector<std::pair<std::string, std::string>> more = {}) {
    std::set<std::string> before = TempNames();
    std::vector<std::pair<std::string, std::string>> variants = std::move(more);
    const size_t made = variants.size();
    for (size_t at : offsets) {
        // OpenFolder opens an explorer window by design, outliving the run: the one byte left out.
        if (at == tree.payload + 2322) continue;
        std::string b = tree.bytes;
        b[at] = static_cast<char>(b[at] ^ 0xFF);
        variants.push_back({b, "byte " + std::to_string(at) + " changed"});
    }
    Sweep sweep(tree);
    sweep.Run(variants);
    std::cout << "[ sweep    ] one byte changed at " << variants.size() << " offsets:" << Counts(sweep.counts) << "\n";
    EXPECT_GE(variants.size(), made + offsets.size() - 1);
    EXPECT_EQ(TempNames(), before);
}

// The fields of a compact directory entry that one changed byte reaches, at its offset in the
// entry (the name's last byte from its end): each is judged on its own.
const struct {
    const char* field;
    size_t at;
    bool fromNameEnd;
} DirectoryFields[] = {
    {"kind", 0, false},     {"NameUnits", 1, false}, {"DataSize", 3, false}, {"FileTime", 11, false},
    {"Attributes", 16, false}, {"checksum", 19, false}, {"name's first byte", 23, false}, {"name's last byte", 1, true},
};

// Every field of each kind of entry in the compact directory, changed and packed again.
std::vector<std::pair<std::string, std::string>> DirectoryVariants(const Tree& tree) {
    std::vector<std::pair<std::string, std::string>> variants;
    for (const std::string& name : tree.EveryKind()) {
        const SfxEntry* e = tree.layout.Find(name);
        EXPECT_TRUE(e) << name;
        if (!e) continue;
        for (const auto& field : DirectoryFields) {
            size_t at = e->offset + (field.fromNameEnd ? 23 + e->storedName.size() - field.at : field.at);
            variants.push_back({tree.WithDirectoryByte(at), name + ": " + field.field + " changed in the directory"});
        }
    }
    return variants;
}

// The offsets of both, each once.
std::vector<size_t> Join(std::vector<size_t> a, const std::vector<size_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    std::sort(a.begin(), a.end());
    a.erase(std::unique(a.begin(), a.end()), a.end());
    return a;
}

}  // namespace

// A cut anywhere is refused by the pre-scan: a cut in each part of the file and of one file's entry.
TEST(Sweep, CutShort) {
    Tree tree;
    CutShort(tree, Join(tree.Offsets(3), tree.FieldOffsets({"readme.txt"})));
}

TEST(Sweep, OneByteChanged) {
    Tree tree;
    OneByteChanged(tree, Join(tree.Offsets(4), tree.FieldOffsets(tree.EveryKind())));
}

// The extended form: its extension, its 21-byte headers and UTF-16 names, field by field.
TEST(Sweep, ExtendedCutShort) {
    Tree tree(Form::Extended);
    ASSERT_TRUE(ReadSfx(tree.sfx, false).extended);
    CutShort(tree, Join(tree.Offsets(3), tree.FieldOffsets({WideName})));
}

TEST(Sweep, ExtendedOneByteChanged) {
    Tree tree(Form::Extended);
    ASSERT_TRUE(ReadSfx(tree.sfx, false).extended);
    OneByteChanged(tree, Join(tree.Offsets(4), tree.FieldOffsets(tree.EveryKind())));
}

// The compact form: its header field by field, the directory's frame, each data frame's header and
// packed bytes; in the directory, every field of each kind of entry, packed again.
TEST(Sweep, CompactCutShort) {
    Tree tree(Form::Compact);
    ASSERT_TRUE(tree.layout.compact);
    CutShort(tree, Join(tree.Offsets(3), tree.CompactOffsets()));
}

TEST(Sweep, CompactOneByteChanged) {
    Tree tree(Form::Compact);
    ASSERT_TRUE(tree.layout.compact);
    OneByteChanged(tree, Join(tree.Offsets(2), tree.CompactOffsets()), DirectoryVariants(tree));
}
