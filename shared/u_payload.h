// The extended and compact containers and the reader of all three forms (docs/format.md has the
// bytes).
//
// Original form: record | entries (17-byte headers, code-page names) | 17-byte terminator.
// Extended form: record | extension (mark, texts in UTF-16) | entries (21-byte headers with
// 64-bit sizes, UTF-16 names) | 21-byte terminator.
// Compact form:  record | compact header (mark, texts in UTF-16, sizes) | directory (one zstd
// frame: every entry with its UTF-16 name, 64-bit size and checksum) | the data of all files as
// one stream, in zstd frames of a fixed plain size, each behind its plain and packed length.
// Each mark is a first header that the original form refuses (negative NameLength), so an
// extractor of that form stops with "invalid data" before it creates anything.
//
// The reader is pure and keeps no heap: bytes come through a callback, names and texts go out
// in UTF-16, and every failure is the Win32 code the extractor ends with. zstd itself stays
// outside: the compact form's frames are unpacked through a callback (shared/u_frames.h), so a
// program without it never links it.
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

// The compact form. Its mark differs from the extended one in two bytes (kind and magic), so no
// single changed byte turns one form into the other.
const uint8_t CompactKind = 0xFE;
const char CompactMagic[8] = {'Q', 'u', 'i', 'l', 'l', 'e', 't', 'Z'};
const uint16_t CompactVersion = 1;
const uint32_t CompactFixedSize = 47;     // mark, version, text lengths, frame size, sizes, sum
const uint32_t DirectoryEntrySize = 23;   // kind, name units, 64-bit size, time, attributes, checksum
const uint32_t FrameHeaderSize = 8;       // plain length, packed length
const uint32_t MaxFrameSize = 0x2000000;  // 32 MiB: the plain bytes of a data frame at most
// zstd's bound for the largest frame is 32 MiB + 128 KiB; a longer packed frame is refused.
const uint32_t MaxPackedFrame = MaxFrameSize + MaxFrameSize / 128;
const uint32_t MaxDirectorySize = 0x1000000;  // 16 MiB of entries: some 100,000 files

// The codes a reader returns: those the extractor ends its run with.
enum PayloadCode : uint32_t {
    PayloadOk = 0,
    PayloadNoMemory = 8,   // ERROR_NOT_ENOUGH_MEMORY: a packed chunk above MaxPackedChunk
    PayloadInvalid = 13,   // ERROR_INVALID_DATA: malformed, or runs off the end of the file
    PayloadCrc = 23,       // ERROR_CRC: an entry's or the extension's checksum differs
    PayloadNoRecord = 38,  // ERROR_HANDLE_EOF: no room for the record
    PayloadBadFrame = 160, // ERROR_BAD_ARGUMENTS: a chunk or frame that does not unpack
};

// An entry header of either form, sizes widened.
struct PayloadEntry {
    uint8_t Kind;
    uint32_t NameLength;  // stored name bytes
    uint64_t DataSize;
    uint32_t FileTime;
    uint32_t Attributes;
};

// One piece of a file's data: a chunk (Compressed) or a run of stored bytes; in the compact form
// a run of the file's plain bytes within one unpacked frame.
struct PayloadPiece {
    uint32_t PlainLength;   // 0: the file's data is complete
    uint32_t StoredLength;  // bytes in the buffer: the packed chunk, or the stored bytes; 0 (compact)
    const uint8_t* Plain;   // compact form, data pass: the plain bytes, in the reader's frame
};

// Reads exactly size bytes at offset; 0, or the code to end with.
typedef uint32_t (*PayloadRead)(void* context, uint64_t offset, void* buffer, uint32_t size);
// Code-page bytes to UTF-16 with a zero, at most size units in all; the length, or -1.
typedef int (*PayloadDecode)(const char* text, int length, Utf16Char* out, int size);
// Compact form: one frame's packed bytes to exactly plainLength bytes; PayloadOk, PayloadCrc (its
// own checksum differs) or PayloadBadFrame.
typedef uint32_t (*PayloadUnpack)(void* decoder, const uint8_t* packed, uint32_t packedLength, uint8_t* plain,
                                  uint32_t plainLength);
// Compact form: size bytes that stay the reader's while it is used, or null.
typedef void* (*PayloadAllocate)(void* context, uint32_t size);

struct PayloadSource {
    PayloadRead read;
    void* context;
    uint64_t payloadOffset;  // where the record starts
    uint64_t end;            // the file's size
    PayloadDecode decode;    // for the original form's names and texts
    char* nameBytes;         // room for one stored name of the original form
    uint32_t nameBytesSize;  // and the longest such name taken
    // The compact form; without unpack a program reads the other two forms only.
    PayloadUnpack unpack;
    void* decoder;
    PayloadAllocate allocate;  // called with context
};

// A frame header's plain and packed lengths as read: PayloadOk, PayloadInvalid (a plain length
// other than expected, a packed length of 0, with the top bit set or beyond room, the bytes left
// in the file) or PayloadNoMemory (a packed length above MaxPackedFrame); 13 wins over 8.
uint32_t CheckFrameHeader(const uint8_t header[FrameHeaderSize], uint32_t expectedPlain, uint64_t room,
                          uint32_t& packed);

class PayloadReader {
public:
    // Reads the record and, in the extended form, the extension. The texts come out in UTF-16
    // either way (buffers of CmdParametersSize and CustomFolderSize units); in the extended and
    // compact forms the record's own text fields are ignored. Then positioned at the first entry.
    // In the compact form it also walks every frame header, takes its buffers through allocate
    // and unpacks and checks the directory, so every structural fault shows here.
    uint32_t Open(const PayloadSource& source, SettingsRecord& record, Utf16Char* cmdParameters,
                  Utf16Char* customFolder);
    bool Extended() const { return extended_; }
    bool Compact() const { return compact_; }
    // Back to the first entry, for the loop after the pre-scan.
    void Rewind();

    // The next header and its name, zero-terminated, in a buffer of nameSize units. At the
    // terminator: PayloadOk and done. The name is decoded but not judged: the caller checks
    // it before it creates anything.
    uint32_t NextEntry(PayloadEntry& entry, Utf16Char* name, uint32_t nameSize, bool& done);
    // The next piece of the entry's data into buffer (MaxPackedChunk bytes), or over it when
    // buffer is null (the pre-scan). The caller adds the plain bytes with AddPlain. In the compact
    // form buffer only tells the data pass, which unpacks each frame when the stream reaches it
    // and hands out the plain bytes in piece.Plain, from the pre-scan, which reads nothing.
    uint32_t NextPiece(uint8_t* buffer, PayloadPiece& piece);
    void AddPlain(const void* data, uint32_t size) { sum_ = ByteSum(data, size, sum_); }
    // After the data: reads the entry's checksum and, when verify, compares it.
    uint32_t EndEntry(bool verify);

private:
    // Reads at the position and moves on; a null buffer skips.
    uint32_t ReadAt(void* buffer, uint32_t size);
    // After the mark: the compact header, the frame headers, the buffers and the directory.
    uint32_t OpenCompact(const uint8_t* mark, Utf16Char* cmdParameters, Utf16Char* customFolder);
    uint32_t NextCompactEntry(PayloadEntry& entry, Utf16Char* name, uint32_t nameSize, bool& done);
    uint32_t NextCompactPiece(bool read, PayloadPiece& piece);
    // The next frame's header at the position: its packed length, checked against the plain one
    // the stream expects there.
    uint32_t ReadFrameHeader(uint64_t frame, uint32_t& packed);
    uint32_t FramePlain(uint64_t frame) const;

    PayloadSource src_;
    uint64_t pos_, first_, remaining_;
    uint32_t sum_;
    bool extended_, compressed_, compact_;
    // The compact form: the directory in memory, the stream's position, the frame unpacked last.
    uint8_t *directory_, *packed_, *frame_;
    uint32_t directorySize_, directoryPos_, frameSize_, storedSum_;
    uint64_t dataSize_, frames_, streamPos_, loaded_;
};

// Strict UTF-16LE bytes to units, in place (the bytes are read before their unit is written):
// no zero unit and no unpaired surrogate. Returns the units, or -1.
int DecodeUtf16InPlace(void* buffer, uint32_t bytes);
