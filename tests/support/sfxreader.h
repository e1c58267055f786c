// An independent reader of SFX files for the tests: its own walk of the PE section table,
// its own parsing of record, extension, entries and chunks in the original and extended forms
// (zlib to unpack), and of the compact header, directory and frames (zstd's own library, built
// apart from the extractor's). It shares no code with the programs under test. The file is read
// by offset, so a file of several GiB needs no more memory than its largest chunk or frame
// (without keepData).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct SfxChunk {
    int32_t plain = 0;
    int32_t packed = 0;
    size_t offset = 0;  // of the chunk or frame header in the file (an SFX file stays below 4 GiB)
};

struct SfxEntry {
    uint8_t kind = 0;
    std::string name;         // original form: the stored code-page bytes; extended: UTF-8
    std::wstring wideName;    // UTF-16, in both forms (code-page names through the system's code page)
    std::string storedName;   // the name bytes as stored
    int64_t size = 0;
    uint32_t time = 0;
    uint32_t attributes = 0;
    std::vector<SfxChunk> chunks;  // original and extended forms
    std::string data;           // the unpacked bytes (unless the reader was told not to keep them)
    uint32_t storedSum = 0;     // as written after the entry
    uint32_t computedSum = 0;   // name bytes plus data bytes
    size_t offset = 0;          // of the entry header in the file; compact: in the directory
    size_t sumOffset = 0;       // of the stored checksum (compact: in the directory)
    uint64_t streamOffset = 0;  // compact: where its data begins in the stream
};

struct SfxFile {
    std::string error;  // empty when the whole file parsed
    uint32_t payloadOffset = 0;
    std::string record;  // the 2330 bytes
    bool extended = false;
    size_t extensionOffset = 0;  // extended form: where the extension begins (after the record)
    uint32_t extensionSize = 0;
    std::wstring cmdParameters, customFolder;  // UTF-16, from the record or the extension
    bool compact = false;         // the compact form: the fields below
    size_t headerOffset = 0;      // of the compact header (after the record)
    uint32_t headerSize = 0;
    uint32_t frameSize = 0;
    uint64_t streamSize = 0;
    size_t directoryOffset = 0;   // of the directory's frame
    uint32_t directorySize = 0, directoryPacked = 0, directorySum = 0;
    std::string directory;        // unpacked
    std::vector<SfxChunk> frames;  // the data frames
    std::vector<SfxEntry> entries;
    bool terminated = false;
    uint64_t trailing = 0;  // bytes after the terminator
    size_t terminatorOffset = 0;

    uint8_t Byte(size_t offset) const { return static_cast<uint8_t>(record[offset]); }
    // A zero-terminated text field.
    std::string Text(size_t offset, size_t size) const;
    const SfxEntry* Find(const std::string& name) const;
    const SfxEntry* Find(const std::wstring& name) const;
};

SfxFile ReadSfx(const std::string& path, bool keepData = true);
// The end of the program image: the largest raw data end over sections with raw data.
uint32_t ImageEnd(const std::string& bytes);
