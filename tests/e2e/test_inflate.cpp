// Chunks are complete zlib streams: whoever made them, the extractor unpacks them exactly, and
// a stream that is damaged or does not match its stored plain length ends the run with 160.
#include <gtest/gtest.h>
#include <zlib.h>

#include "sfxtools.h"

namespace {

// A tree with a text file, a file of two chunks (9 MiB + 1000 bytes), an empty file and a folder.
struct Tree : SfxFolders {
    TempFolder work;
    std::string dest;
    Tree() {
        WriteFileBytes(src / "readme.txt", "chunks are zlib streams\r\n");
        MakeFolder(src / "data");
        WriteFileBytes(src / "data\\two-chunks.bin", SomeBytes(9 * 1024 * 1024 + 1000, 11));
        WriteFileBytes(src / "data\\empty.txt", "");
        dest = work / "dest\\";
        switches = "-fm";
        folder = Q(dest);
    }
    void ExpectExtractedExactly() const {
        EXPECT_EQ(ReadFileBytes(dest + "readme.txt"), ReadFileBytes(src / "readme.txt"));
        EXPECT_TRUE(ReadFileBytes(dest + "data\\two-chunks.bin") == ReadFileBytes(src / "data\\two-chunks.bin"));
        EXPECT_TRUE(Exists(dest + "data\\empty.txt"));
        EXPECT_EQ(ReadFileBytes(dest + "data\\empty.txt"), "");
    }
};

std::string Pack(const std::string& plain) {
    uLongf n = compressBound(static_cast<uLong>(plain.size()));
    std::string packed(n, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(&packed[0]), &n, reinterpret_cast<const Bytef*>(plain.data()),
                        static_cast<uLong>(plain.size()), 9),
              Z_OK);
    return packed.substr(0, n);
}

// The same SFX file with every chunk packed again by zlib's compress2 at level 9, the way
// earlier builds wrote them.
std::string RepackWithZlib(const std::string& sfx) {
    std::string bytes = ReadFileBytes(sfx);
    SfxFile f = ReadSfx(sfx);
    EXPECT_EQ(f.error, "");
    std::string out = bytes.substr(0, f.payloadOffset + 2330);
    for (const SfxEntry& e : f.entries) {
        out += bytes.substr(e.offset, 17 + e.name.size());
        size_t at = 0;
        for (const SfxChunk& c : e.chunks) {
            std::string packed = Pack(e.data.substr(at, c.plain));
            out += Le32Bytes(c.plain) + Le32Bytes(static_cast<uint32_t>(packed.size())) + packed;
            at += c.plain;
        }
        out += Le32Bytes(e.storedSum);
    }
    return out + bytes.substr(f.terminatorOffset);
}

// Replaces the first chunk of readme.txt by a stream of other plain bytes, with the plain
// length (and the entry's size) the test chooses.
std::string WithReadmeChunk(const std::string& sfx, const std::string& plain, int32_t storedPlain) {
    std::string bytes = ReadFileBytes(sfx);
    SfxFile f = ReadSfx(sfx);
    const SfxEntry* e = f.Find("readme.txt");
    const SfxChunk& c = e->chunks[0];
    std::string header = bytes.substr(e->offset, 17);
    header.replace(5, 4, Le32Bytes(storedPlain));
    std::string packed = Pack(plain);
    return bytes.substr(0, e->offset) + header + e->name + Le32Bytes(storedPlain) +
           Le32Bytes(static_cast<uint32_t>(packed.size())) + packed + bytes.substr(c.offset + 8 + c.packed);
}

}  // namespace

TEST(Chunks, TodaysBuildsAreZlibStreamsAndExtractExactly) {
    Tree t;
    std::string sfx = t.Build("today.exe", "-s");
    SfxFile f = ReadSfx(sfx);  // the reader unpacks every chunk with zlib
    ASSERT_EQ(f.error, "");
    const SfxEntry* big = f.Find("data\\two-chunks.bin");
    ASSERT_TRUE(big);
    ASSERT_EQ(big->chunks.size(), 2u);
    EXPECT_EQ(big->chunks[0].plain, 9 * 1024 * 1024);
    EXPECT_EQ(big->chunks[1].plain, 1000);
    for (const SfxEntry& e : f.entries) EXPECT_EQ(e.storedSum, e.computedSum) << e.name;
    EXPECT_EQ(RunSfx(sfx).code, 0u);
    t.ExpectExtractedExactly();
}

TEST(Chunks, StreamsMadeByZlibExtractExactly) {
    Tree t;
    std::string sfx = t.Build("zlib.exe", "-s");
    WriteFileBytes(sfx, RepackWithZlib(sfx));
    ASSERT_EQ(ReadSfx(sfx).error, "");
    EXPECT_EQ(RunSfx(sfx).code, 0u);
    t.ExpectExtractedExactly();
}

TEST(Chunks, DamagedOrMismatchedStreamsEndWith160) {
    Tree t;
    std::string sfx = t.Build("good.exe", "-s");
    std::string good = ReadFileBytes(sfx);
    SfxFile f = ReadSfx(sfx);
    const SfxChunk& c = f.Find("readme.txt")->chunks[0];
    const std::string plain = "chunks are zlib streams\r\n";
    struct Case {
        const char* what;
        std::string bytes;
    };
    std::string deflateByte = good, adlerByte = good;
    deflateByte[c.offset + 8 + 2 + (c.packed - 6) / 2] ^= 0x40;  // inside the DEFLATE data
    adlerByte[c.offset + 8 + c.packed - 1] ^= 0x01;               // the Adler-32 trailer
    std::vector<Case> cases = {
        {"changed byte in the DEFLATE data", deflateByte},
        {"changed byte in the Adler-32", adlerByte},
        {"inflates to more than the stored plain length", WithReadmeChunk(sfx, plain + "x", static_cast<int32_t>(plain.size()))},
        {"inflates to fewer than the stored plain length", WithReadmeChunk(sfx, plain.substr(1), static_cast<int32_t>(plain.size()))},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        RemoveTree(t.dest);
        WriteFileBytes(sfx, k.bytes);
        EXPECT_EQ(RunSfx(sfx).code, 160u);
    }

    // With messages, the box names the file whose stream failed.
    std::string loud = t.Build("loud.exe", "");
    std::string bytes = ReadFileBytes(loud);
    SfxFile g = ReadSfx(loud);
    const SfxChunk& d = g.Find("data\\two-chunks.bin")->chunks[1];
    bytes[d.offset + 8 + d.packed - 2] ^= 0x10;
    WriteFileBytes(loud, bytes);
    RemoveTree(t.dest);
    SfxRun run = RunSfx(loud);
    EXPECT_EQ(run.code, 160u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, RunEndMessage(t.dest + "data\\two-chunks.bin", 160));
}
