// The extended container and the reader of both forms (docs/format.md has the bytes).
//
// Original form: record | entries (17-byte headers, code-page names) | 17-byte terminator.
// Extended form: record | extension (mark, texts in UTF-16) | entries (21-byte headers with
// 64-bit sizes, UTF-16 names) | 21-byte terminator. The mark is a first header that the
// original form refuses (negative NameLength), so an extractor of that form stops with
// "invalid data" before it creates anything.
//
// The reader is pure and keeps no heap: bytes come through a callback, names and texts go out
// in UTF-16, and every failure is the Win32 code the extractor ends with.
#pragma once
#include "u_shared.h"

// UTF-16 code units: WCHAR on Windows, so the W functions take the names as they come out.
#ifdef _WIN32
typedef wchar_t Utf16Char;
#else
typedef char16_t Utf16Char;
#endif
static_assert(sizeof(Utf16Char) == 2, "UTF-16 code units");

const uint8_t ExtensionKind = 0xFF;
const uint32_t ExtensionMarkName = 0x80000000;  // NameLength -2147483648
const char ExtensionMagic[8] = {'Q', 'u', 'i', 'l', 'l', 'e', 't', 'X'};
const uint32_t ExtensionMarkSize = 17;   // a pseudo-entry header: kind, name length, size, magic
const uint32_t ExtensionFixedSize = 23;  // mark, version and the two text lengths
const uint16_t ExtensionVersion = 1;
const uint32_t ExtendedHeaderSize = 21;  // kind, name length, 64-bit size, time, attributes
// The longest name an extractor takes: bytes in the original form, UTF-16 units in the extended.
const uint32_t MaxNameUnits = 512;
const uint32_t MaxCmdParametersUnits = CmdParametersSize - 1;
const uint32_t MaxCustomFolderUnits = CustomFolderSize - 1;

// The codes a reader returns: those the extractor ends its run with.
enum PayloadCode : uint32_t {
    PayloadOk = 0,
    PayloadNoMemory = 8,   // ERROR_NOT_ENOUGH_MEMORY: a packed chunk above MaxPackedChunk
    PayloadInvalid = 13,   // ERROR_INVALID_DATA: malformed, or runs off the end of the file
    PayloadCrc = 23,       // ERROR_CRC: an entry's or the extension's checksum differs
    PayloadNoRecord = 38,  // ERROR_HANDLE_EOF: no room for the record
};

// An entry header of either form, sizes widened.
struct PayloadEntry {
    uint8_t Kind;
    uint32_t NameLength;  // stored name bytes
    uint64_t DataSize;
    uint32_t FileTime;
    uint32_t Attributes;
};

// One piece of a file's data: a chunk (Compressed) or a run of stored bytes.
struct PayloadPiece {
    uint32_t PlainLength;   // 0: the file's data is complete
    uint32_t StoredLength;  // bytes in the buffer: the packed chunk, or the stored bytes
};

// Reads exactly size bytes at offset; 0, or the code to end with.
typedef uint32_t (*PayloadRead)(void* context, uint64_t offset, void* buffer, uint32_t size);
// Code-page bytes to UTF-16 with a zero, at most size units in all; the length, or -1.
typedef int (*PayloadDecode)(const char* text, int length, Utf16Char* out, int size);

struct PayloadSource {
    PayloadRead read;
    void* context;
    uint64_t payloadOffset;  // where the record starts
    uint64_t end;            // the file's size
    PayloadDecode decode;    // for the original form's names and texts
    char* nameBytes;         // room for one stored name of the original form
    uint32_t nameBytesSize;  // and the longest such name taken
};

class PayloadReader {
public:
    // Reads the record and, in the extended form, the extension. The texts come out in UTF-16
    // either way (buffers of CmdParametersSize and CustomFolderSize units); in the extended form
    // the record's own text fields are ignored. Then positioned at the first entry.
    uint32_t Open(const PayloadSource& source, SettingsRecord& record, Utf16Char* cmdParameters,
                  Utf16Char* customFolder);
    bool Extended() const { return extended_; }
    // Back to the first entry, for the loop after the pre-scan.
    void Rewind() { pos_ = first_; }

    // The next header and its name, zero-terminated, in a buffer of nameSize units. At the
    // terminator: PayloadOk and done. The name is decoded but not judged: the caller checks
    // it before it creates anything.
    uint32_t NextEntry(PayloadEntry& entry, Utf16Char* name, uint32_t nameSize, bool& done);
    // The next piece of the entry's data into buffer (MaxPackedChunk bytes), or over it when
    // buffer is null (the pre-scan). The caller adds the plain bytes with AddPlain.
    uint32_t NextPiece(uint8_t* buffer, PayloadPiece& piece);
    void AddPlain(const void* data, uint32_t size) { sum_ = ByteSum(data, size, sum_); }
    // After the data: reads the entry's checksum and, when verify, compares it.
    uint32_t EndEntry(bool verify);

private:
    // Reads at the position and moves on; a null buffer skips.
    uint32_t ReadAt(void* buffer, uint32_t size);

    PayloadSource src_;
    uint64_t pos_, first_, remaining_;
    uint32_t sum_;
    bool extended_, compressed_;
};

// Strict UTF-16LE bytes to units, in place (the bytes are read before their unit is written):
// no zero unit and no unpaired surrogate. Returns the units, or -1.
int DecodeUtf16InPlace(void* buffer, uint32_t bytes);
