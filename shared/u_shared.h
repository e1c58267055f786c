// The SFX container, once for builder and extractor: the settings record, chunk framing, the
// checksum and size formatting. Pure: bytes in, values out. docs/format.md describes the file;
// u_payload.h reads both forms, u_payloadwrite.h writes them.
//
// SFX file = extractor program | SettingsRecord (2330 bytes) [| extension] | entries | terminator.
// Entry    = header (17 bytes; 21 in the extended form) | name | data | 4-byte checksum.
// Data     = chunks: plain length (4) | packed length (4) | one zlib stream.
// All integers are little-endian. Names and the record's texts are code-page bytes in the
// original form; the extended form stores them in UTF-16LE (names in the entries, the texts in
// the extension) and leaves the record's text fields empty.
#pragma once
#include <stddef.h>
#include <stdint.h>

const uint32_t ChunkSize = 0x900000;       // 9,437,184 plain bytes per chunk at most
const uint32_t MaxPackedChunk = 0xA00000;  // 10,485,760 packed bytes per chunk at most
const uint32_t SettingsRecordSize = 2330;
const uint32_t EntryHeaderSize = 17;
const uint32_t ChunkHeaderSize = 8;
const uint32_t CmdParametersSize = 2048;  // 2047 characters and a zero byte
const uint32_t CustomFolderSize = 261;    // 260 characters and a zero byte
const uint32_t InstanceNameSize = 11;     // 10 hexadecimal digits and a zero byte
const uint32_t FolderAttribute = 0x10;
const char SelfDeleteName[] = "xsfxdel~.exe";

enum EntryKind : uint8_t {
    EntryOrdinary = 0,    // a file or folder
    EntryExecutable = 1,  // the program to run after extraction
    EntrySelfDelete = 2,  // the self-delete helper
};

// Offsets of the record's fields.
enum SettingsOffset : uint32_t {
    OffExtractionMode = 0,
    OffExtractionFolder = 1,
    OffCmdParameters = 2,
    OffCustomFolder = 2050,
    OffInstanceName = 2311,
    OffOpenFolder = 2322,
    OffCompressed = 2323,
    OffOneInstance = 2324,
    OffSilentMode = 2325,
    OffSelfDeleteMode = 2326,
    OffDeleteMode = 2327,
    OffWorkingDirectory = 2328,
    OffOverwriteMode = 2329,
};

// Every field is a byte or a byte array, so the record is its own byte layout.
struct SettingsRecord {
    uint8_t ExtractionMode;
    uint8_t ExtractionFolder;
    char CmdParameters[CmdParametersSize];
    char CustomFolder[CustomFolderSize];
    char InstanceName[InstanceNameSize];
    uint8_t OpenFolder;
    uint8_t Compressed;
    uint8_t OneInstance;
    uint8_t SilentMode;
    uint8_t SelfDeleteMode;
    uint8_t DeleteMode;
    uint8_t WorkingDirectory;
    uint8_t OverwriteMode;
};
static_assert(sizeof(SettingsRecord) == SettingsRecordSize, "the record is 2330 bytes");
static_assert(offsetof(SettingsRecord, CustomFolder) == OffCustomFolder, "record layout");
static_assert(offsetof(SettingsRecord, InstanceName) == OffInstanceName, "record layout");
static_assert(offsetof(SettingsRecord, OverwriteMode) == OffOverwriteMode, "record layout");

struct ChunkHeader {
    int32_t PlainLength;   // 1 .. ChunkSize
    int32_t PackedLength;  // 1 .. MaxPackedChunk
};

// Sum of the bytes, each 0..255, wrapping at 32 bits, continued from start.
inline uint32_t ByteSum(const void* data, uint32_t length, uint32_t start = 0) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint32_t sum = start;
    // Four bytes at a time in two 16-bit lanes: a word adds at most 2 x 255 to a lane, so 128
    // words fit before the lanes are folded into the sum. Three times the speed of a byte loop,
    // which counts when every byte of an SFX file passes through here.
    while (length >= 4) {
        uint32_t words = length / 4 < 128 ? length / 4 : 128, lanes = 0;
        length -= words * 4;
        for (; words; --words, p += 4) {
            uint32_t w = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
            lanes += (w & 0x00FF00FF) + ((w >> 8) & 0x00FF00FF);
        }
        sum += (lanes & 0xFFFF) + (lanes >> 16);
    }
    while (length--) sum += *p++;
    return sum;
}

inline void PutLE32(uint8_t* out, uint32_t v) {
    out[0] = static_cast<uint8_t>(v);
    out[1] = static_cast<uint8_t>(v >> 8);
    out[2] = static_cast<uint8_t>(v >> 16);
    out[3] = static_cast<uint8_t>(v >> 24);
}

inline uint32_t GetLE32(const uint8_t* in) {
    return in[0] | (in[1] << 8) | (in[2] << 16) | (static_cast<uint32_t>(in[3]) << 24);
}

inline void EncodeSettings(const SettingsRecord& record, uint8_t out[SettingsRecordSize]) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&record);
    for (uint32_t i = 0; i < SettingsRecordSize; ++i) out[i] = p[i];
}

inline void EncodeChunkHeader(const ChunkHeader& c, uint8_t out[ChunkHeaderSize]) {
    PutLE32(out, static_cast<uint32_t>(c.PlainLength));
    PutLE32(out + 4, static_cast<uint32_t>(c.PackedLength));
}

// A byte count as "1023 B", "1.5 kB", "1.00 MB", "1.000 GB" or "1.0000 TB" (powers of 1024),
// the unit chosen by the absolute value, the sign kept, halves rounded away from zero.
// Writes at most size bytes including the zero; returns the length.
inline int FormatSize(int64_t value, char decimalSeparator, char* out, int size) {
    static const char* const units[] = {"B", "kB", "MB", "GB", "TB"};
    uint64_t a = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    int level = a >= (1ULL << 40) ? 4 : a >= (1ULL << 30) ? 3 : a >= (1ULL << 20) ? 2 : a >= 1024 ? 1 : 0;
    int shift = 10 * level, decimals = level;
    uint64_t whole = a >> shift, rest = a & ((1ULL << shift) - 1), scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    // rest < 2^40 and scale <= 10^4: the product fits in 64 bits.
    uint64_t fraction = shift ? (rest * scale * 2 + (1ULL << shift)) >> (shift + 1) : 0;
    if (fraction == scale && scale > 1) {
        ++whole;
        fraction = 0;
    }
    // whole < 2^24 (at most 2^63 >> 40) and fraction < 10^4: the digits need 32-bit division
    // only, which keeps 64-bit division routines out of the extractor.
    uint32_t w = static_cast<uint32_t>(whole), f = static_cast<uint32_t>(fraction);
    char text[48];
    int n = 0;
    if (value < 0) text[n++] = '-';
    char digits[24];
    int d = 0;
    do {
        digits[d++] = static_cast<char>('0' + w % 10);
        w /= 10;
    } while (w);
    while (d) text[n++] = digits[--d];
    if (decimals) {
        text[n++] = decimalSeparator;
        for (int i = decimals - 1; i >= 0; --i) {
            uint32_t p = 1;
            for (int k = 0; k < i; ++k) p *= 10;
            text[n++] = static_cast<char>('0' + (f / p) % 10);
        }
    }
    text[n++] = ' ';
    for (const char* u = units[level]; *u;) text[n++] = *u++;
    int i = 0;
    for (; i < n && i < size - 1; ++i) out[i] = text[i];
    if (size > 0) out[i] = 0;
    return i;
}
