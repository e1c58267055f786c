// The three container forms: the writer's exact bytes, the reader on each, and each form cut short
// or changed in one byte at every offset, which gives only the documented codes. Pure: builds
// natively too (with zstd).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "containerbytes.h"
#include "u_frames.h"
#include "u_payloadwrite.h"

#ifdef _WIN32
#define U16(s) L##s
#else
#define U16(s) u##s
#endif

namespace {

typedef std::basic_string<Utf16Char> Text16;

const uint32_t InflateFails = PayloadBadFrame;  // what the extractor ends with when a chunk does not inflate

// Code-page bytes taken as Latin-1, which is all these tests need of a code page.
int Latin1(const char* text, int length, Utf16Char* out, int size) {
    if (length >= size) return -1;
    for (int i = 0; i < length; ++i) out[i] = static_cast<unsigned char>(text[i]);
    out[length] = 0;
    return length;
}

uint32_t ReadString(void* context, uint64_t offset, void* buffer, uint32_t size) {
    const std::string& file = *static_cast<const std::string*>(context);
    if (offset + size > file.size()) return PayloadNoRecord;
    memcpy(buffer, file.data() + offset, size);
    return PayloadOk;
}

std::string Sum(const std::string& name, const std::string& data) {
    std::string out(4, '\0');
    PutLE32(reinterpret_cast<uint8_t*>(&out[0]), ByteSum(data.data(), static_cast<uint32_t>(data.size()),
                                                         ByteSum(name.data(), static_cast<uint32_t>(name.size()))));
    return out;
}

uint32_t Le32Sum(const std::string& name, const std::string& data) {
    return ByteSum(data.data(), static_cast<uint32_t>(data.size()), ByteSum(name.data(), static_cast<uint32_t>(name.size())));
}

// Chunk framing around data that the tests take as its own packed form.
std::string Chunk(const std::string& plain) {
    uint8_t h[ChunkHeaderSize];
    EncodeChunkHeader({static_cast<int32_t>(plain.size()), static_cast<int32_t>(plain.size())}, h);
    return std::string(reinterpret_cast<char*>(h), ChunkHeaderSize) + plain;
}

SettingsRecord Record(bool compressed) {
    SettingsRecord r;
    memset(&r, 0, sizeof(r));
    r.ExtractionMode = 1;
    r.ExtractionFolder = 5;
    strcpy(r.CmdParameters, "-q");
    strcpy(r.CustomFolder, "%TEMP%\\x\\");
    strcpy(r.InstanceName, "0123456789");
    r.Compressed = compressed;
    r.OverwriteMode = 1;
    return r;
}

// The record of the marked forms: every field but the two texts, which are zero.
std::string RecordWithoutTexts() {
    SettingsRecord r = Record(true);
    memset(r.CmdParameters, 0, sizeof(r.CmdParameters));
    memset(r.CustomFolder, 0, sizeof(r.CustomFolder));
    uint8_t record[SettingsRecordSize];
    EncodeSettings(r, record);
    return std::string(reinterpret_cast<char*>(record), SettingsRecordSize);
}

const Text16 cmd16 = U16("-n \"\u00e9\U0001F600\"");
const Text16 folder16 = U16("%TEMP%\\\u0416\\");
const Text16 folderName = U16("\u0416\u4e2d");
const Text16 fileName = U16("\u0416\u4e2d\\\U0001F600 a.txt");

// A tree of a folder and a file of two chunks, in the given form.
std::string Sample(PayloadForm form) {
    bool ext = form == PayloadForm::Extended;
    std::string folder = ext ? StoredName(folderName.data(), folderName.size()) : "dir";
    std::string file = ext ? StoredName(fileName.data(), fileName.size()) : "dir\\a.txt";
    std::string out = EncodePayloadStart(form, Record(true), cmd16.data(), cmd16.size(), folder16.data(), folder16.size());
    out += EncodeEntry(form, EntryOrdinary, folder, 0, 0x5A215C00, FolderAttribute) + Sum(folder, "");
    out += EncodeEntry(form, EntryExecutable, file, 7, 0x5A215C01, 0x20) + Chunk("abcd") + Chunk("efg") +
           Sum(file, "abcdefg");
    return out + EncodeTerminator(form);
}

// The reader's memory for the compact form, kept until the next walk.
std::vector<std::unique_ptr<uint8_t[]>> blocks;
void* Allocate(void*, uint32_t size) {
    blocks.emplace_back(new uint8_t[size]);
    return blocks.back().get();
}

void* Decoder() {
    static std::vector<uint8_t> memory(FrameDecoderSize());
    static void* decoder = MakeFrameDecoder(memory.data(), memory.size());
    return decoder;
}

struct Walk {
    uint32_t code = 0;
    bool extended = false, compact = false;
    Text16 cmd, folder;
    std::vector<Text16> names;
    std::vector<std::string> data;
    std::vector<uint64_t> sizes;
};

// The extractor's two passes: the pre-scan over headers and chunk framing, then the entry loop
// with the data and the checksums.
Walk WalkPayload(const std::string& file, bool dataPass = true) {
    static std::vector<uint8_t> buffer(MaxPackedChunk);
    static char raw[1024];
    static Utf16Char cmd[CmdParametersSize], folder[CustomFolderSize], name[600];
    Walk w;
    PayloadReader r;
    SettingsRecord record;
    PayloadSource src = {ReadString, const_cast<std::string*>(&file), 0, file.size(), Latin1, raw, sizeof(raw),
                         UnpackFrame, Decoder(), Allocate};
    blocks.clear();
    if ((w.code = r.Open(src, record, cmd, folder))) return w;
    w.extended = r.Extended();
    w.compact = r.Compact();
    w.cmd = cmd;
    w.folder = folder;
    for (int pass = 0; pass < (dataPass ? 2 : 1); ++pass) {
        r.Rewind();
        w.names.clear();
        w.data.clear();
        w.sizes.clear();
        for (;;) {
            PayloadEntry e;
            bool done;
            if ((w.code = r.NextEntry(e, name, 600, done)) || done) break;
            w.names.push_back(name);
            w.sizes.push_back(e.DataSize);
            std::string data;
            for (PayloadPiece p;;) {
                if ((w.code = r.NextPiece(pass ? buffer.data() : nullptr, p))) return w;
                if (!p.PlainLength) break;
                if (!pass) continue;
                // The compact form hands out unpacked bytes; the tests' chunks are stored as they are.
                const uint8_t* plain = p.Plain ? p.Plain : buffer.data();
                if (!p.Plain && p.StoredLength != p.PlainLength) return w.code = InflateFails, w;
                data.append(reinterpret_cast<const char*>(plain), p.PlainLength);
                r.AddPlain(plain, p.PlainLength);
            }
            w.data.push_back(data);
            if ((w.code = r.EndEntry(pass == 1))) return w;
        }
        if (w.code) return w;
    }
    return w;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) out += std::string{digits[c >> 4], digits[c & 15], ' '};
    return out;
}

}  // namespace

TEST(PayloadForm, ExtendedOnlyWhenTheTreeNeedsIt) {
    struct Case { bool text; uint64_t largest; PayloadForm form; } cases[] = {
        {false, 0, PayloadForm::Original},
        {false, 0x7FFFFFFF, PayloadForm::Original},
        {false, 0x80000000, PayloadForm::Extended},
        {false, 5ULL << 30, PayloadForm::Extended},
        {true, 0, PayloadForm::Extended},
    };
    for (const Case& c : cases) EXPECT_EQ(FormFor(c.text, c.largest), c.form) << c.largest;
}

TEST(PayloadWriter, OriginalFormIsTheRecordAndHeadersAsBefore) {
    SettingsRecord r = Record(true);
    uint8_t record[SettingsRecordSize];
    EncodeSettings(r, record);
    EXPECT_EQ(EncodePayloadStart(PayloadForm::Original, r, cmd16.data(), cmd16.size(), nullptr, 0),
              std::string(reinterpret_cast<char*>(record), SettingsRecordSize));
    EXPECT_EQ(Hex(EncodeEntry(PayloadForm::Original, 1, "ab", 0x01020304, 0xA1B2C3D4, 0x20)),
              "01 02 00 00 00 04 03 02 01 D4 C3 B2 A1 20 00 00 00 61 62 ");
    EXPECT_EQ(EncodeTerminator(PayloadForm::Original), std::string(17, '\0'));
}

TEST(PayloadWriter, ExtendedFormBytes) {
    // The record keeps every field but its two texts, which move into the extension as UTF-16.
    const Utf16Char cmd[] = {'a', 0xD83D, 0xDE00};
    const Utf16Char folder[] = {0x416};
    std::string start = EncodePayloadStart(PayloadForm::Extended, Record(true), cmd, 3, folder, 1);
    ASSERT_EQ(start.substr(0, SettingsRecordSize), RecordWithoutTexts());
    // FF, NameLength 0x80000000, DataSize 0, "QuilletX", version 1, 3 and 1 units, the texts, ByteSum.
    EXPECT_EQ(Hex(start.substr(SettingsRecordSize)),
              "FF 00 00 00 80 00 00 00 00 51 75 69 6C 6C 65 74 58 01 00 03 00 01 00 "
              "61 00 3D D8 00 DE 16 04 2A 07 00 00 ");

    // 64-bit sizes: 0x1_2345_6789 bytes, above 4 GiB.
    EXPECT_EQ(Hex(EncodeEntry(PayloadForm::Extended, 2, StoredName(folder, 1), 0x123456789ULL, 0x11223344, 0x80)),
              "02 02 00 00 00 89 67 45 23 01 00 00 00 44 33 22 11 80 00 00 00 16 04 ");
    EXPECT_EQ(EncodeTerminator(PayloadForm::Extended), std::string(21, '\0'));
}

TEST(PayloadWriter, TextsAreCutOnWholeCharactersAndCheckedForPairs) {
    Text16 longText(3000, U16('a'));
    longText[MaxCmdParametersUnits - 1] = 0xD83D;  // a pair across the cut goes out whole
    longText[MaxCmdParametersUnits] = 0xDE00;
    EXPECT_EQ(CutUtf16(longText.data(), longText.size(), MaxCmdParametersUnits), MaxCmdParametersUnits - 1);
    EXPECT_EQ(CutUtf16(longText.data(), 5, MaxCmdParametersUnits), 5u);
    std::string start =
        EncodePayloadStart(PayloadForm::Extended, Record(false), longText.data(), longText.size(), longText.data(), 270);
    EXPECT_EQ(start.size(), SettingsRecordSize + ExtensionFixedSize + 2 * (2046 + 260) + 4);

    struct Case { Text16 text; bool storable; } cases[] = {
        {U16("a\U0001F600b"), true}, {Text16(1, 0xD83D), false}, {Text16(1, 0xDE00), false},
        {Text16{0xDE00, 0xD83D}, false}, {Text16(1, 0), false}, {U16(""), true},
    };
    for (const Case& c : cases) EXPECT_EQ(IsStorableUtf16(c.text.data(), c.text.size()), c.storable) << c.text.size();
}

TEST(PayloadReader, StrictUtf16) {
    struct Case { std::string bytes; int units; } cases[] = {
        {std::string("a\0\x16\x04", 4), 2},
        {std::string("\x3D\xD8\x00\xDE", 4), 2},  // a pair
        {std::string("\x3D\xD8", 2), -1},         // a high half at the end
        {std::string("\x3D\xD8" "a\0", 4), -1},   // a high half before a plain unit
        {std::string("\x00\xDE" "a\0", 4), -1},   // a low half alone
        {std::string("\x3D\xD8\x3D\xD8\x00\xDE", 6), -1},
        {std::string("a\0\0\0", 4), -1},          // a zero unit
        {std::string("a\0b", 3), -1},             // half a unit
    };
    for (const Case& c : cases) {
        std::string b = c.bytes;
        EXPECT_EQ(DecodeUtf16InPlace(&b[0], static_cast<uint32_t>(b.size())), c.units) << Hex(c.bytes);
    }
}

TEST(PayloadReader, ReadsBothForms) {
    Walk o = WalkPayload(Sample(PayloadForm::Original));
    ASSERT_EQ(o.code, 0u);
    EXPECT_FALSE(o.extended);
    EXPECT_EQ(o.cmd, U16("-q"));  // the record's own texts, through the code page
    EXPECT_EQ(o.folder, U16("%TEMP%\\x\\"));
    EXPECT_EQ(o.names, (std::vector<Text16>{U16("dir"), U16("dir\\a.txt")}));
    EXPECT_EQ(o.data, (std::vector<std::string>{"", "abcdefg"}));

    Walk e = WalkPayload(Sample(PayloadForm::Extended));
    ASSERT_EQ(e.code, 0u);
    EXPECT_TRUE(e.extended);
    EXPECT_EQ(e.cmd, cmd16);
    EXPECT_EQ(e.folder, folder16);
    EXPECT_EQ(e.names, (std::vector<Text16>{folderName, fileName}));
    EXPECT_EQ(e.data, (std::vector<std::string>{"", "abcdefg"}));
    EXPECT_EQ(e.sizes, (std::vector<uint64_t>{0, 7}));
}

TEST(PayloadReader, SizesAbove4GiB) {
    // A stored file of 5 GiB + 3 bytes: the pre-scan steps over its data without reading it.
    const uint64_t size = (5ULL << 30) + 3;
    std::string name = StoredName(fileName.data(), fileName.size());
    std::string head = EncodePayloadStart(PayloadForm::Extended, Record(false), nullptr, 0, nullptr, 0) +
                       EncodeEntry(PayloadForm::Extended, 0, name, size, 0, 0x20);
    std::string tail = Sum(name, "") + EncodeTerminator(PayloadForm::Extended);
    struct Sparse { std::string head, tail; uint64_t tailAt; } f = {head, tail, head.size() + size};
    auto read = [](void* context, uint64_t offset, void* buffer, uint32_t n) -> uint32_t {
        const Sparse& s = *static_cast<Sparse*>(context);
        if (offset + n <= s.head.size()) memcpy(buffer, s.head.data() + offset, n);
        else if (offset >= s.tailAt && offset + n <= s.tailAt + s.tail.size()) memcpy(buffer, s.tail.data() + (offset - s.tailAt), n);
        else return PayloadInvalid;
        return PayloadOk;
    };
    char raw[16];
    Utf16Char cmd[CmdParametersSize], folder[CustomFolderSize], out[64];
    PayloadSource src = {read, &f, 0, f.tailAt + tail.size(), Latin1, raw, sizeof(raw)};
    PayloadReader r;
    SettingsRecord record;
    ASSERT_EQ(r.Open(src, record, cmd, folder), 0u);
    PayloadEntry e;
    bool done;
    ASSERT_EQ(r.NextEntry(e, out, 64, done), 0u);
    EXPECT_EQ(e.DataSize, size);
    uint64_t total = 0;
    for (PayloadPiece p; !r.NextPiece(nullptr, p) && p.PlainLength;) total += p.PlainLength;
    EXPECT_EQ(total, size);
    EXPECT_EQ(r.EndEntry(false), 0u);
    EXPECT_EQ(r.NextEntry(e, out, 64, done), 0u);
    EXPECT_TRUE(done);
}

TEST(PayloadReader, MalformedOriginalEntriesKeepTheirCodes) {
    std::string start = EncodePayloadStart(PayloadForm::Original, Record(true), nullptr, 0, nullptr, 0);
    std::string end = EncodeTerminator(PayloadForm::Original);
    auto entry = [](int32_t nameLength, int32_t size, uint32_t attributes) {
        uint8_t h[EntryHeaderSize];
        EncodeEntryHeader({0, nameLength, size, 0, attributes}, h);
        return std::string(reinterpret_cast<char*>(h), EntryHeaderSize);
    };
    auto chunk = [](int32_t plain, int32_t packed) {
        uint8_t h[ChunkHeaderSize];
        EncodeChunkHeader({plain, packed}, h);
        return std::string(reinterpret_cast<char*>(h), ChunkHeaderSize);
    };
    struct Case { const char* what; std::string bytes; uint32_t code; } cases[] = {
        {"no room for the record", start.substr(0, SettingsRecordSize), PayloadNoRecord},
        {"no terminator", start + entry(1, 0, 0) + "a" + Sum("a", ""), PayloadInvalid},
        {"negative name length", start + entry(-5, 0, 0) + end, PayloadInvalid},
        {"empty name", start + entry(0, 1, 0) + end, PayloadInvalid},
        {"zero byte in a name", start + entry(3, 0, 0x10) + std::string("a\0b", 3) + Sum("", "") + end, PayloadInvalid},
        {"name too long", start + entry(2000, 0, 0) + std::string(2000, 'a') + end, PayloadInvalid},
        {"negative size", start + entry(1, -1, 0) + "a" + end, PayloadInvalid},
        {"folder with data", start + entry(1, 1, 0x10) + "a" + end, PayloadInvalid},
        {"chunk of 0 bytes", start + entry(1, 1, 0) + "a" + chunk(0, 1) + "x" + end, PayloadInvalid},
        {"chunks overshoot", start + entry(1, 1, 0) + "a" + chunk(2, 2) + "xy" + end, PayloadInvalid},
        {"packed runs off the end", start + entry(1, 1, 0) + "a" + chunk(1, 100) + "x", PayloadInvalid},
        {"packed chunk too large", start + entry(1, 1, 0) + "a" + chunk(1, MaxPackedChunk + 1) +
                                       std::string(MaxPackedChunk + 1, 'x') + Sum("a", "") + end, PayloadNoMemory},
        {"checksum differs", start + entry(1, 1, 0) + "a" + Chunk("x") + Sum("a", "y") + end, PayloadCrc},
    };
    for (const Case& c : cases) EXPECT_EQ(WalkPayload(c.bytes).code, c.code) << c.what;
}

namespace {

// Cut at every offset, or with any byte after the record changed (two ways), a good payload gives
// only the codes the extractor ends with (unpackFault: its form's code for data that does not
// unpack), and never other names or data. A marked form read with a changed mark is refused.
void ExpectOnlyDocumentedCodes(const std::string& good, bool marked, uint32_t unpackFault) {
    const Walk want = WalkPayload(good);
    ASSERT_EQ(want.code, 0u);
    const size_t ext = SettingsRecordSize;
    for (size_t n = 0; n < good.size(); ++n) {
        uint32_t code = WalkPayload(good.substr(0, n)).code;
        EXPECT_EQ(code, n <= SettingsRecordSize ? PayloadNoRecord : PayloadInvalid) << "cut at " << n;
    }
    for (size_t at = ext; at < good.size(); ++at) {
        for (int delta : {1, 0x80}) {
            std::string bad = good;
            bad[at] = static_cast<char>(bad[at] + delta);
            Walk w = WalkPayload(bad);
            // A changed mark makes the original form, whose rules refuse that first header.
            if (marked && at < ext + ExtensionMarkSize) {
                EXPECT_EQ(w.code, PayloadInvalid) << at;
            }
            EXPECT_TRUE(w.code == PayloadOk || w.code == PayloadInvalid || w.code == PayloadCrc ||
                        w.code == PayloadNoMemory || w.code == unpackFault)
                << at << ": " << w.code;
            // Only kinds, times and attributes lie outside the checksums: names and data are intact.
            if (w.code == PayloadOk) {
                EXPECT_EQ(w.names, want.names) << at;
                EXPECT_EQ(w.data, want.data) << at;
                EXPECT_EQ(w.cmd, want.cmd) << at;
                EXPECT_EQ(w.folder, want.folder) << at;
            }
        }
    }
}

}  // namespace

TEST(PayloadReader, ExtendedCutShortOrChangedGivesOnlyDocumentedCodes) {
    ExpectOnlyDocumentedCodes(Sample(PayloadForm::Extended), true, InflateFails);
}

TEST(PayloadReader, OriginalCutShortOrChangedGivesOnlyDocumentedCodes) {
    ExpectOnlyDocumentedCodes(Sample(PayloadForm::Original), false, InflateFails);
}

TEST(PayloadReader, ExtensionFaults) {
    std::string good = Sample(PayloadForm::Extended);
    const size_t v = SettingsRecordSize + ExtensionMarkSize;
    struct Case { const char* what; size_t at; uint8_t value; uint32_t code; } cases[] = {
        {"version 2", v, 2, PayloadInvalid},
        {"CmdParameters of 2048 units", v + 2, 0x00, PayloadInvalid},  // with 0x08 below
        {"text changed", v + 6, 'x', PayloadCrc},
    };
    for (const Case& c : cases) {
        std::string bad = good;
        bad[c.at] = static_cast<char>(c.value);
        if (c.at == v + 2) bad[v + 3] = 0x08;
        EXPECT_EQ(WalkPayload(bad).code, c.code) << c.what;
    }
    // An unpaired surrogate in a name, with a checksum to match, is still refused.
    Text16 name = U16("a");
    name += static_cast<Utf16Char>(0xD83D);
    std::string stored = StoredName(name.data(), name.size());
    std::string bytes = EncodePayloadStart(PayloadForm::Extended, Record(false), nullptr, 0, nullptr, 0) +
                        EncodeEntry(PayloadForm::Extended, 0, stored, 1, 0, 0) + "x" + Sum(stored, "x") +
                        EncodeTerminator(PayloadForm::Extended);
    EXPECT_EQ(WalkPayload(bytes).code, PayloadInvalid);
}

// A compact payload: the directory and the stream as the builder makes them, packed in frames of
// frameSize bytes; change may alter the directory's plain bytes and the layout before they are
// written (the sums follow unless it changes them itself).
struct CompactItem {
    uint8_t kind;
    Text16 name;
    std::string data;
    bool folder;
};

const std::vector<CompactItem> compactTree = {
    {EntrySelfDelete, U16("xsfxdel~.exe"), "helper", false},
    {EntryOrdinary, folderName, "", true},
    {EntryOrdinary, U16("empty"), "", true},
    {EntryOrdinary, fileName, std::string(25, 'a') + "bcdefghij", false},  // ends on a 5-byte frame's end
    {EntryOrdinary, U16("zero.txt"), "", false},
    {EntryExecutable, U16("run.exe"), "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ", false},
};

std::string Compact(uint32_t frameSize, const std::vector<CompactItem>& items = compactTree,
                    const std::function<void(std::string&, CompactLayout&)>& change = nullptr) {
    static FramePacker packer({3, 0, 0, false});
    std::string directory, stream;
    for (const CompactItem& it : items) {
        std::string name = StoredName(it.name.data(), it.name.size());
        directory += EncodeDirectoryEntry(it.kind, name, it.data.size(), 0x5A215C00, it.folder ? FolderAttribute : 0x20,
                                          Le32Sum(name, it.data));
        stream += it.data;
    }
    CompactLayout layout = {frameSize, stream.size(), static_cast<uint32_t>(directory.size()), 0,
                            ByteSum(directory.data(), static_cast<uint32_t>(directory.size()))};
    if (change) change(directory, layout);
    std::string packedDirectory;
    packer.Pack(directory.data(), directory.size(), packedDirectory);
    layout.packedDirectory = layout.packedDirectory ? layout.packedDirectory : static_cast<uint32_t>(packedDirectory.size());
    std::string out = EncodeCompactStart(Record(true), cmd16.data(), cmd16.size(), folder16.data(), folder16.size(),
                                         layout) + packedDirectory;
    for (uint64_t k = 0; k < FrameCount(stream.size(), frameSize); ++k) {
        std::string plain = stream.substr(k * frameSize, frameSize), frame;
        packer.Pack(plain.data(), plain.size(), frame);
        out += EncodeFrameHeader(static_cast<uint32_t>(plain.size()), static_cast<uint32_t>(frame.size())) + frame;
    }
    return out;
}

std::vector<Text16> Names(const std::vector<CompactItem>& items) {
    std::vector<Text16> out;
    for (const CompactItem& it : items) out.push_back(it.name);
    return out;
}

std::vector<std::string> Data(const std::vector<CompactItem>& items) {
    std::vector<std::string> out;
    for (const CompactItem& it : items) out.push_back(it.data);
    return out;
}

// The compact header as the builder writes it: its checksum covers what Compact changed.
size_t HeaderEnd() { return SettingsRecordSize + CompactFixedSize + 2 * (cmd16.size() + folder16.size()); }

void FixHeaderSum(std::string& file) {
    std::string head = file.substr(SettingsRecordSize, HeaderEnd() - SettingsRecordSize);
    PutLE32(reinterpret_cast<uint8_t*>(&file[HeaderEnd()]), ByteSum(head.data(), static_cast<uint32_t>(head.size())));
}

TEST(PayloadWriter, CompactFormBytes) {
    const Utf16Char cmd[] = {'a', 0xD83D, 0xDE00};
    const Utf16Char folder[] = {0x416};
    CompactLayout layout = {0x2000000, 0x123456789ULL, 0x30, 0x21, 0xA1B2C3D4};
    std::string start = EncodeCompactStart(Record(true), cmd, 3, folder, 1, layout);
    ASSERT_EQ(start.substr(0, SettingsRecordSize), RecordWithoutTexts());
    // FE, NameLength 0x80000000, DataSize 0, "QuilletZ", version 1, 3 and 1 units, FrameSize,
    // StreamSize, DirectorySize, DirectoryPacked, DirectorySum, the texts, ByteSum.
    EXPECT_EQ(Hex(start.substr(SettingsRecordSize)),
              "FE 00 00 00 80 00 00 00 00 51 75 69 6C 6C 65 74 5A 01 00 03 00 01 00 "
              "00 00 00 02 89 67 45 23 01 00 00 00 30 00 00 00 21 00 00 00 D4 C3 B2 A1 "
              "61 00 3D D8 00 DE 16 04 C1 0B 00 00 ");
    EXPECT_EQ(Hex(EncodeDirectoryEntry(2, StoredName(folder, 1), 0x123456789ULL, 0x11223344, 0x80, 0xCAFEF00D)),
              "02 01 00 89 67 45 23 01 00 00 00 44 33 22 11 80 00 00 00 0D F0 FE CA 16 04 ");
    EXPECT_EQ(Hex(EncodeFrameHeader(0x2000000, 0x1234)), "00 00 00 02 34 12 00 00 ");
    struct Case { uint64_t size; uint32_t frame; uint64_t frames; } cases[] = {
        {0, 5, 0}, {1, 5, 1}, {5, 5, 1}, {6, 5, 2}, {(5ULL << 30) + 1, 0x2000000, 161},
    };
    for (const Case& c : cases) EXPECT_EQ(FrameCount(c.size, c.frame), c.frames) << c.size;
}

TEST(PayloadReader, ReadsTheCompactForm) {
    // Frames of 1 byte, of 5 (a file ends on a frame's end, another spans seven), and one frame.
    for (uint32_t frameSize : {1u, 5u, 7u, MaxFrameSize}) {
        Walk w = WalkPayload(Compact(frameSize));
        ASSERT_EQ(w.code, 0u) << frameSize;
        EXPECT_TRUE(w.compact && !w.extended);
        EXPECT_EQ(w.cmd, cmd16);
        EXPECT_EQ(w.folder, folder16);
        EXPECT_EQ(w.names, Names(compactTree)) << frameSize;
        EXPECT_EQ(w.data, Data(compactTree)) << frameSize;
    }
    // Only folders: no frame at all.
    Walk w = WalkPayload(Compact(5, {{EntryOrdinary, U16("a"), "", true}}));
    EXPECT_EQ(w.code, 0u);
    EXPECT_EQ(w.names, (std::vector<Text16>{U16("a")}));
    // The classic extractor's reader (no decoder) refuses it as the extractors before it do.
    std::string file = Compact(5);
    char raw[16];
    Utf16Char cmd[CmdParametersSize], folder[CustomFolderSize];
    PayloadSource classic = {ReadString, &file, 0, file.size(), Latin1, raw, sizeof(raw)};
    PayloadReader r;
    SettingsRecord record;
    EXPECT_EQ(r.Open(classic, record, cmd, folder), PayloadInvalid);
}

TEST(PayloadReader, CompactFaults) {
    const std::string good = Compact(5);
    const size_t header = SettingsRecordSize, end = HeaderEnd() + 4;
    size_t packedDirectory = GetLE32(reinterpret_cast<const uint8_t*>(good.data()) + header + 39);
    const size_t frame0 = end + packedDirectory;  // the first data frame's header
    auto at = [&](size_t offset, uint32_t value, bool fixSum) {
        std::string bad = good;
        PutLE32(reinterpret_cast<uint8_t*>(&bad[offset]), value);
        if (fixSum) FixHeaderSum(bad);
        return bad;
    };
    auto entry0 = [](std::string& d, CompactLayout& l) {  // a name of 0 units, the sum to match
        l.directorySum -= static_cast<uint8_t>(d[1]);
        d[1] = 0;
    };
    struct Case { const char* what; std::string bytes; uint32_t code; } cases[] = {
        {"version 2", at(header + 17, 2 | (3 << 16), true), PayloadInvalid},
        {"FrameSize 0", at(header + 23, 0, true), PayloadInvalid},
        {"FrameSize above 32 MiB", at(header + 23, MaxFrameSize + 1, true), PayloadInvalid},
        {"DirectorySize 0", at(header + 35, 0, true), PayloadInvalid},
        {"DirectorySize above 16 MiB", at(header + 35, MaxDirectorySize + 1, true), PayloadInvalid},
        {"header checksum", at(header + 43, 1, false), PayloadCrc},
        {"DirectorySum", at(header + 43, 1, true), PayloadCrc},
        {"DirectoryPacked beyond the end", at(header + 39, 0x7FFFFFFF, true), PayloadInvalid},
        {"DirectoryPacked one short", at(header + 39, static_cast<uint32_t>(packedDirectory - 1), true), PayloadInvalid},
        {"directory frame not zstd", at(end, 0, false), PayloadBadFrame},
        {"StreamSize one more", at(header + 27, 77, true), PayloadInvalid},
        {"StreamSize one less", at(header + 27, 75, true), PayloadInvalid},
        {"frame plain length", at(frame0, 4, false), PayloadInvalid},
        {"frame packed length 0", at(frame0 + 4, 0, false), PayloadInvalid},
        {"frame packed length beyond the end", at(frame0 + 4, 0x7FFFFFFF, false), PayloadInvalid},
        {"frame packed length one more", at(frame0 + 4, GetLE32(reinterpret_cast<const uint8_t*>(good.data()) + frame0 + 4) + 1, false), PayloadInvalid},
        {"cut inside the last frame", good.substr(0, good.size() - 1), PayloadInvalid},
        {"a name of 0 units", Compact(5, compactTree, entry0), PayloadInvalid},
        {"a folder with data", Compact(5, {{0, U16("a"), "x", true}}), PayloadInvalid},
        {"an unpaired surrogate", Compact(5, {{0, Text16(1, 0xD83D), "x", false}}), PayloadInvalid},
        {"entries short of the directory", Compact(5, compactTree, [](std::string& d, CompactLayout& l) {
             d += "x";
             l.directorySize += 1;
             l.directorySum += 'x';
         }), PayloadInvalid},
        {"a file checksum", Compact(5, compactTree, [](std::string& d, CompactLayout& l) {
             d[19] = static_cast<char>(d[19] + 1);
             l.directorySum += 1;
         }), PayloadCrc},
    };
    for (const Case& c : cases) EXPECT_EQ(WalkPayload(c.bytes).code, c.code) << c.what;

    // A packed length above the limit that the file holds: 8 (the frame is sound, only too large).
    std::string large = Compact(5, {{0, U16("a"), "x", false}});
    size_t packed = GetLE32(reinterpret_cast<const uint8_t*>(large.data()) + header + 39);
    large.insert(end + packed, std::string(MaxPackedFrame + 1 - packed, '\0'));
    PutLE32(reinterpret_cast<uint8_t*>(&large[header + 39]), MaxPackedFrame + 1);
    FixHeaderSum(large);
    EXPECT_EQ(WalkPayload(large).code, PayloadNoMemory);
    // A frame's own checksum: the last four bytes of a zstd frame with a checksum.
    std::string bad = good;
    bad[frame0 + 8 + GetLE32(reinterpret_cast<const uint8_t*>(good.data()) + frame0 + 4) - 1] ^= 1;
    EXPECT_EQ(WalkPayload(bad).code, PayloadCrc);
}

TEST(PayloadReader, CompactCutShortOrChangedGivesOnlyDocumentedCodes) {
    ExpectOnlyDocumentedCodes(Compact(5), true, PayloadBadFrame);
}

#ifdef _WIN32
#include <windows.h>
#include <zlib.h>

#include "sfxreader.h"

// The tests' own reader, which shares nothing with the unit, agrees with the writer's bytes.
// The tests' own reader over bytes written to a temporary file.
static SfxFile ReadSfxBytes(const std::string& file) {
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    std::string target = std::string(path) + "unit_format.exe";
    FILE* out = fopen(target.c_str(), "wb");
    if (out) {
        fwrite(file.data(), 1, file.size(), out);
        fclose(out);
    }
    SfxFile f = ReadSfx(target);
    DeleteFileA(target.c_str());
    return f;
}

TEST(TestsReader, ReadsWhatTheWriterWrites) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string image;
    {
        FILE* in = fopen(self, "rb");
        ASSERT_TRUE(in);
        char buffer[65536];
        for (size_t n; (n = fread(buffer, 1, sizeof(buffer), in)) > 0;) image.append(buffer, n);
        fclose(in);
    }
    image.resize(ImageEnd(image));
    auto zchunk = [](const std::string& plain) {
        std::string packed(compressBound(static_cast<uLong>(plain.size())), '\0');
        uLongf n = static_cast<uLongf>(packed.size());
        compress2(reinterpret_cast<Bytef*>(&packed[0]), &n, reinterpret_cast<const Bytef*>(plain.data()),
                  static_cast<uLong>(plain.size()), 9);
        packed.resize(n);
        uint8_t h[ChunkHeaderSize];
        EncodeChunkHeader({static_cast<int32_t>(plain.size()), static_cast<int32_t>(n)}, h);
        return std::string(reinterpret_cast<char*>(h), ChunkHeaderSize) + packed;
    };
    for (PayloadForm form : {PayloadForm::Original, PayloadForm::Extended}) {
        bool ext = form == PayloadForm::Extended;
        std::string name = ext ? StoredName(fileName.data(), fileName.size()) : "a.txt";
        std::string file = image +
                           EncodePayloadStart(form, Record(true), cmd16.data(), cmd16.size(), folder16.data(),
                                              folder16.size()) +
                           EncodeEntry(form, EntryExecutable, name, 6, 0x5A215C01, 0x20) + zchunk("abc") +
                           zchunk("def") + Sum(name, "abcdef") + EncodeTerminator(form);
        SfxFile f = ReadSfxBytes(file);
        EXPECT_EQ(f.error, "");
        EXPECT_EQ(f.extended, ext);
        EXPECT_TRUE(f.terminated);
        EXPECT_EQ(f.cmdParameters, ext ? cmd16 : std::wstring(L"-q"));
        EXPECT_EQ(f.customFolder, ext ? folder16 : std::wstring(L"%TEMP%\\x\\"));
        EXPECT_EQ(f.Text(2, 2048), ext ? "" : "-q");  // the extended form's record holds no code-page text
        ASSERT_EQ(f.entries.size(), 1u);
        EXPECT_EQ(f.entries[0].wideName, ext ? fileName : std::wstring(L"a.txt"));
        EXPECT_EQ(f.entries[0].data, "abcdef");
        EXPECT_EQ(f.entries[0].storedSum, f.entries[0].computedSum);
    }
    // The compact form, through zstd's own library: entries, data spanning frames, checksums.
    SfxFile f = ReadSfxBytes(image + Compact(5));
    EXPECT_EQ(f.error, "");
    EXPECT_TRUE(f.compact && f.terminated);
    EXPECT_EQ(f.cmdParameters, cmd16);
    EXPECT_EQ(f.frameSize, 5u);
    EXPECT_EQ(f.frames.size(), 16u);  // 76 bytes in frames of 5
    ASSERT_EQ(f.entries.size(), compactTree.size());
    for (size_t i = 0; i < compactTree.size(); ++i) {
        EXPECT_EQ(f.entries[i].wideName, compactTree[i].name);
        EXPECT_EQ(f.entries[i].data, compactTree[i].data);
        EXPECT_EQ(f.entries[i].storedSum, f.entries[i].computedSum);
    }
}
#endif
