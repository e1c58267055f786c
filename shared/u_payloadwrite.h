// The builder's side of the three container forms: which form a tree needs, and the bytes of
// the record, the extension, entry headers and the terminator, and of the compact header, its
// directory entries and frame headers (docs/format.md). Pure, so the exact bytes are unit-tested
// on any system; the frames themselves are packed by shared/u_frames.h.
#pragma once
#include <string>

#include "u_payload.h"

// Compact: chosen by the user; the other two by the tree.
enum class PayloadForm { Original, Extended, Compact };

// Windows starts no program file of this size or more, so no SFX file may reach it.
const uint64_t SfxSizeLimit = 1ULL << 32;
// The original form's sizes are signed 32-bit.
const uint64_t OriginalSizeLimit = 1ULL << 31;

// The extended form only when the tree needs it: a name or text with no exact code-page form,
// or a file of 2 GiB or more. Every other tree keeps the original form byte for byte.
PayloadForm FormFor(bool textWithoutCodePageForm, uint64_t largestFile);

// A text the extended form can hold: no zero unit, no unpaired surrogate.
bool IsStorableUtf16(const Utf16Char* text, size_t length);

// A text cut to at most units UTF-16 units, never inside a surrogate pair.
size_t CutUtf16(const Utf16Char* text, size_t length, size_t units);

// A name as the extended form stores it: UTF-16LE bytes.
std::string StoredName(const Utf16Char* name, size_t length);

// The bytes that follow the program in the original and extended forms (the compact form's are
// EncodeCompactStart's): the record, and in the extended form the extension with
// CmdParameters and CustomFolder (cut to 2047 and 260 units) while the record's own text
// fields are zero. In the original form the record is written as given (its texts are the
// code-page ones) and the UTF-16 texts are not used.
std::string EncodePayloadStart(PayloadForm form, const SettingsRecord& record, const Utf16Char* cmdParameters,
                               size_t cmdLength, const Utf16Char* customFolder, size_t folderLength);

// Header and name of an entry. storedName: code-page bytes (original) or StoredName (extended);
// its ByteSum starts the entry's checksum. The original form takes sizes below 2 GiB only.
std::string EncodeEntry(PayloadForm form, uint8_t kind, const std::string& storedName, uint64_t size,
                        uint32_t time, uint32_t attributes);

// The terminator: a header of zeros, 17 or 21 bytes.
std::string EncodeTerminator(PayloadForm form);

// The compact form's plain bytes per data frame: chosen by bench/compact_bench.sh.
const uint32_t CompactFrameSize = MaxFrameSize;

// What the compact header records besides the texts.
struct CompactLayout {
    uint32_t frameSize;        // plain bytes of every data frame but the last, 1 .. MaxFrameSize
    uint64_t dataSize;         // plain bytes of all files: the sum of the directory's sizes
    uint32_t directorySize;    // the directory's plain bytes, 1 .. MaxDirectorySize
    uint32_t packedDirectory;  // its frame's bytes, which follow the header
    uint32_t directorySum;     // ByteSum of the directory's plain bytes
};

// The record (its two texts zero), then the compact header with CmdParameters and CustomFolder
// (cut to 2047 and 260 units) and its checksum. The directory's frame follows.
std::string EncodeCompactStart(const SettingsRecord& record, const Utf16Char* cmdParameters, size_t cmdLength,
                               const Utf16Char* customFolder, size_t folderLength, const CompactLayout& layout);

// One entry of the directory: storedName is StoredName (1 .. 512 units); checksum is ByteSum of
// the stored name continued over the file's plain bytes, as in the other forms.
std::string EncodeDirectoryEntry(uint8_t kind, const std::string& storedName, uint64_t size, uint32_t time,
                                 uint32_t attributes, uint32_t checksum);

// The frames that hold dataSize bytes, and the header before each.
inline uint64_t FrameCount(uint64_t dataSize, uint32_t frameSize) {
    return dataSize / frameSize + (dataSize % frameSize != 0);
}
std::string EncodeFrameHeader(uint32_t plainLength, uint32_t packedLength);
