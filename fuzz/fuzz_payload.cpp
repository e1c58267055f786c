// The reader of the three container forms, driven as the extractor drives it, on the bytes that
// follow the program (record, extension or compact header, entries or directory and frames): Open,
// the pre-scan over every header, name and chunk header, Rewind, then the entry loop that inflates
// each chunk (or takes the compact form's unpacked frames) and verifies each checksum; every name
// is judged in both passes. A property that does not hold aborts, so libFuzzer keeps the input.
// zstd's decoder is the compact extractor's small build, instrumented like the rest.
//
// Properties: the reader never reads past the end and returns only the codes the extractor ends
// with (0, 8, 13, 23, 38, 160); what it decodes is exactly what is stored (the record as
// the tests decode it, headers, names, the texts; the compact directory as zstd unpacks it here
// on its own); a name the extractor goes on with passes the safety rules, restated here on their
// own; after a clean pre-scan the entry loop meets no structural fault; a file is reported
// verified exactly when the checksum summed here matches the stored one; the compact form's memory
// stays within its documented bounds; and nothing is allocated while an input is read (the reader
// keeps no heap).
#include <libdeflate.h>
#include <zstd.h>
#include <sanitizer/allocator_interface.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "containerbytes.h"
#include "linux_codepage.h"
#include "u_frames.h"
#include "u_names.h"
#include "u_payload.h"

namespace {

const uint32_t MaxNameLength = 512;  // the extractor's: bytes of a stored name, as many units

// The extractor's buffers, made once: packed chunks and stored pieces, one inflated chunk.
uint8_t packed[MaxPackedChunk];
uint8_t plain[ChunkSize];
char nameBytes[MaxNameLength];
Utf16Char name[MaxNameLength + 1];
Utf16Char cmdParameters[CmdParametersSize];
Utf16Char customFolder[CustomFolderSize];
libdeflate_decompressor* inflater;
void* decoder;
void* ownDecoder;  // for unpacking the directory here, apart from the reader's

// The compact form's memory, handed out in order: at most a packed frame, the directory and a frame.
const size_t ArenaSize = MaxPackedFrame + MaxDirectorySize + MaxFrameSize;
uint8_t arena[ArenaSize];
size_t arenaUsed;
uint8_t directory[MaxDirectorySize];  // the directory as unpacked here

bool counting = false;
size_t allocations = 0;
void OnMalloc(const volatile void*, size_t) {
    if (counting) ++allocations;
}
void OnFree(const volatile void*) {}

[[noreturn]] void Fail(const char* what, int line) {
    fprintf(stderr, "fuzz_payload.cpp:%d: property does not hold: %s\n", line, what);
    abort();
}
#define CHECK(c)                          \
    do {                                  \
        if (!(c)) Fail(#c, __LINE__);     \
    } while (0)

struct Span {
    uint64_t offset;
    uint32_t size;
};

// The bytes after the program, and the reader's last two reads (a header and its name).
struct Input {
    const uint8_t* data;
    size_t size;
    Span previous, last;
};

uint32_t Read(void* context, uint64_t offset, void* buffer, uint32_t size) {
    Input& in = *static_cast<Input*>(context);
    CHECK(offset <= in.size && size <= in.size - offset);
    memcpy(buffer, in.data + offset, size);
    in.previous = in.last;
    in.last = {offset, size};
    return 0;
}

uint32_t Documented(uint32_t code) {
    CHECK(code == PayloadOk || code == PayloadNoMemory || code == PayloadInvalid || code == PayloadCrc ||
          code == PayloadNoRecord || code == PayloadBadFrame);
    return code;
}

void* Allocate(void*, uint32_t size) {
    CHECK(size <= ArenaSize - arenaUsed);
    arenaUsed += size;
    return arena + arenaUsed - size;
}

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

// The checksum as the format states it, one byte at a time.
uint32_t Sum(const uint8_t* p, size_t n, uint32_t sum = 0) {
    for (size_t i = 0; i < n; ++i) sum += p[i];
    return sum;
}

size_t Length(const Utf16Char* text, size_t size) {
    size_t n = 0;
    while (n < size && text[n]) ++n;
    CHECK(n < size);  // zero-terminated within its buffer
    return n;
}

bool StrictUtf16(const Utf16Char* text, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        uint32_t u = text[i];
        if (u >= 0xDC00 && u <= 0xDFFF) return false;
        if (u >= 0xD800 && u <= 0xDBFF && (++i == n || text[i] < 0xDC00 || text[i] > 0xDFFF)) return false;
    }
    return true;
}

// A text equals the code-page bytes up to their first zero (at most size - 1 of them).
bool SameAsCodePage(const Utf16Char* text, const char* bytes, size_t size) {
    size_t n = 0;
    while (n < size - 1 && bytes[n]) ++n;
    if (Length(text, size) != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (text[i] != Cp1252Unit(static_cast<uint8_t>(bytes[i]))) return false;
    return true;
}

// The name rules of docs/format.md, stated on their own: not empty, no root; every part between
// separators (backslash or slash) not empty, not ending in a dot or a blank (so no "." or ".."),
// no device name; no control character and none of : < > " | ? * (so no drive).
bool IsDevicePart(const Utf16Char* part, size_t n) {
    size_t base = 0;
    while (base < n && part[base] != '.') ++base;
    while (base > 0 && part[base - 1] == ' ') --base;
    auto is = [&](const char* word) {
        for (size_t i = 0; i < 3; ++i) {
            uint32_t c = part[i];
            if (c != static_cast<uint32_t>(word[i]) && c != static_cast<uint32_t>(word[i] + 32)) return false;
        }
        return true;
    };
    if (base == 3) return is("CON") || is("PRN") || is("AUX") || is("NUL");
    if (base != 4 || !(is("COM") || is("LPT"))) return false;
    uint32_t d = part[3];
    return (d >= '0' && d <= '9') || d == 0xB9 || d == 0xB2 || d == 0xB3;
}

bool SafeByTheRules(const Utf16Char* text) {
    size_t n = Length(text, MaxNameLength + 1);
    if (!n || text[0] == '\\' || text[0] == '/') return false;
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = text[i];
        if (c < 32 || c == ':' || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') return false;
    }
    for (size_t start = 0; start <= n;) {
        size_t end = start;
        while (end < n && text[end] != '\\' && text[end] != '/') ++end;
        if (end == start || text[end - 1] == '.' || text[end - 1] == ' ' || IsDevicePart(text + start, end - start))
            return false;
        start = end + 1;
    }
    return true;
}

// The entry as the reader gave it equals the stored header at the read before the name.
void CheckHeader(const Input& in, const Span& header, const PayloadEntry& e, bool extended) {
    const uint8_t* h = in.data + header.offset;
    CHECK(header.size == (extended ? ExtendedHeaderSize : EntryHeaderSize));
    CHECK(e.Kind == h[0] && e.NameLength == Le32(h + 1));
    if (extended) {
        CHECK(e.DataSize == (Le32(h + 5) | static_cast<uint64_t>(Le32(h + 9)) << 32));
        CHECK(e.FileTime == Le32(h + 13) && e.Attributes == Le32(h + 17));
    } else {
        EntryHeader d = DecodeEntryHeader(h);
        CHECK(static_cast<int64_t>(e.DataSize) == d.DataSize && e.FileTime == d.FileTime &&
              e.Attributes == d.Attributes);
        CHECK(!IsTerminator(d));
    }
}

// The decoded name is exactly the stored bytes: UTF-16LE read strictly, or the code page.
void CheckName(const Input& in, const PayloadEntry& e, bool extended) {
    CHECK(in.last.size == e.NameLength);
    const uint8_t* raw = in.data + in.last.offset;
    size_t n = Length(name, MaxNameLength + 1);
    if (extended) {
        CHECK(2 * n == e.NameLength && StrictUtf16(name, n));
        for (size_t i = 0; i < n; ++i) CHECK(name[i] == (raw[2 * i] | raw[2 * i + 1] << 8));
    } else {
        CHECK(n == e.NameLength && e.NameLength <= MaxNameLength);
        for (size_t i = 0; i < n; ++i) CHECK(raw[i] && name[i] == Cp1252Unit(raw[i]));
    }
}

// The compact directory as zstd unpacks it here, from the header's own fields: what the reader's
// entries must be.
size_t UnpackDirectory(const uint8_t* data) {
    const uint8_t* h = data + SettingsRecordSize;
    size_t texts = 2 * ((h[19] | h[20] << 8) + (h[21] | h[22] << 8));
    size_t size = Le32(h + 35), packedSize = Le32(h + 39);
    CHECK(size <= MaxDirectorySize);
    size_t n = ZSTD_decompressDCtx(static_cast<ZSTD_DCtx*>(ownDecoder), directory, size,
                                   h + CompactFixedSize + texts + 4, packedSize);
    CHECK(n == size);
    return size;
}

// The entry equals the directory's next one, at at, which moves on.
void CheckCompactEntry(size_t directorySize, size_t& at, const PayloadEntry& e) {
    CHECK(at + DirectoryEntrySize <= directorySize);
    const uint8_t* d = directory + at;
    uint32_t units = d[1] | d[2] << 8;
    CHECK(e.Kind == d[0] && e.NameLength == 2 * units && units >= 1 && units <= MaxNameLength);
    CHECK(e.DataSize == (Le32(d + 3) | static_cast<uint64_t>(Le32(d + 7)) << 32));
    CHECK(e.FileTime == Le32(d + 11) && e.Attributes == Le32(d + 15));
    CHECK(at + DirectoryEntrySize + 2 * units <= directorySize);
    size_t n = Length(name, MaxNameLength + 1);
    CHECK(n == units && StrictUtf16(name, n));
    for (size_t i = 0; i < n; ++i) CHECK(name[i] == (d[23 + 2 * i] | d[24 + 2 * i] << 8));
    at += DirectoryEntrySize + 2 * units;
}

void Extract(const uint8_t* data, size_t size) {
    Input in{data, size, {}, {}};
    PayloadSource source{Read, &in, 0, size, Cp1252ToUtf16, nameBytes, MaxNameLength, UnpackFrame, decoder, Allocate};
    SettingsRecord record;
    PayloadReader reader;
    arenaUsed = 0;
    if (Documented(reader.Open(source, record, cmdParameters, customFolder))) return;

    SettingsRecord decoded;
    DecodeSettings(data, decoded);
    CHECK(memcmp(&record, &decoded, sizeof(record)) == 0);
    bool extended = reader.Extended(), compact = reader.Compact();
    CHECK(!(extended && compact));
    size_t directorySize = compact ? UnpackDirectory(data) : 0;
    if (extended || compact) {
        CHECK(Length(cmdParameters, CmdParametersSize) <= MaxCmdParametersUnits);
        CHECK(StrictUtf16(cmdParameters, Length(cmdParameters, CmdParametersSize)));
        CHECK(StrictUtf16(customFolder, Length(customFolder, CustomFolderSize)));
    } else {
        CHECK(SameAsCodePage(cmdParameters, record.CmdParameters, CmdParametersSize));
        CHECK(SameAsCodePage(customFolder, record.CustomFolder, CustomFolderSize));
    }

    // The pre-scan: every structural fault shows here, before anything would be created.
    PayloadEntry e;
    PayloadPiece piece;
    bool done = false;
    uint64_t total = 0;
    for (size_t at = 0;;) {
        if (Documented(reader.NextEntry(e, name, MaxNameLength + 1, done))) return;
        if (done) break;
        if (compact) {
            CheckCompactEntry(directorySize, at, e);
        } else {
            CheckHeader(in, in.previous, e, extended);
            CheckName(in, e, extended);
        }
        // Each name is judged as it comes, in both passes: an unsafe one ends the run with 13.
        bool safe = names::IsSafeName(name);
        CHECK(safe == SafeByTheRules(name));
        if (!safe) return;
        uint64_t plainBytes = 0;
        do {
            if (Documented(reader.NextPiece(nullptr, piece))) return;
            CHECK(compact ? piece.PlainLength <= MaxFrameSize && !piece.StoredLength && !piece.Plain
                          : piece.PlainLength <= ChunkSize && piece.StoredLength <= MaxPackedChunk);
            plainBytes += piece.PlainLength;
        } while (piece.PlainLength);
        CHECK(plainBytes == e.DataSize);
        uint32_t code = Documented(reader.EndEntry(false));
        CHECK(code != PayloadCrc);
        if (code) return;
        total += e.DataSize;
    }
    if (!total) return;  // nothing to extract: the extractor ends with 13

    reader.Rewind();
    for (size_t at = 0;;) {
        CHECK(reader.NextEntry(e, name, MaxNameLength + 1, done) == PayloadOk);
        if (done) break;
        uint32_t sum, stored;
        if (compact) {
            CheckCompactEntry(directorySize, at, e);
            sum = Sum(directory + at - e.NameLength, e.NameLength);
            stored = Le32(directory + at - e.NameLength - 4);
        } else {
            CheckName(in, e, extended);
            sum = Sum(in.data + in.last.offset, in.last.size);
        }
        CHECK(names::IsSafeName(name));
        // A folder holds no data: the extractor makes it and goes on to the checksum.
        while (!(e.Attributes & FolderAttribute)) {
            uint32_t code = reader.NextPiece(packed, piece);
            // A frame is unpacked only now: it may not (160) or its own checksum differ (23).
            CHECK(code == PayloadOk || (compact && (code == PayloadBadFrame || code == PayloadCrc)));
            if (code) return;
            if (!piece.PlainLength) break;
            const uint8_t* bytes = packed;
            if (compact) {
                // The unpacked frame, in the reader's memory.
                CHECK(piece.Plain && piece.Plain >= arena && piece.Plain + piece.PlainLength <= arena + arenaUsed);
                bytes = piece.Plain;
            } else if (record.Compressed) {
                size_t produced = 0;
                if (libdeflate_zlib_decompress(inflater, packed, piece.StoredLength, plain, piece.PlainLength,
                                               &produced) != LIBDEFLATE_SUCCESS ||
                    produced != piece.PlainLength)
                    return;  // the extractor ends with 160
                bytes = plain;
            } else {
                CHECK(piece.StoredLength == piece.PlainLength);
            }
            reader.AddPlain(bytes, piece.PlainLength);
            sum = Sum(bytes, piece.PlainLength, sum);
        }
        uint32_t code = reader.EndEntry(true);
        CHECK(code == PayloadOk || code == PayloadCrc);
        if (!compact) {
            CHECK(in.last.size == 4);
            stored = Le32(in.data + in.last.offset);
        }
        CHECK((code == PayloadOk) == (stored == sum));
        if (code) return;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    inflater = libdeflate_alloc_decompressor();
    static uint8_t memory[2][1 << 20];
    if (FrameDecoderSize() > sizeof(memory[0])) abort();
    decoder = MakeFrameDecoder(memory[0], sizeof(memory[0]));
    ownDecoder = MakeFrameDecoder(memory[1], sizeof(memory[1]));
    if (!inflater || !decoder || !ownDecoder) abort();
    __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    allocations = 0;
    counting = true;
    Extract(data, size);
    counting = false;
    CHECK(allocations == 0);
    return 0;
}
