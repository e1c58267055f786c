// The original form's entry header and the decoders of the record and the chunk header, for the
// tests, the fuzz target and the benchmarks (the programs read through u_payload.h). Pure.
#pragma once
#include "u_shared.h"

struct EntryHeader {
    uint8_t Kind;         // EntryKind
    int32_t NameLength;   // bytes, no terminating zero
    int32_t DataSize;     // plain bytes of a file, 0 for a folder
    uint32_t FileTime;    // local time, MS-DOS date (high word) and time (low word)
    uint32_t Attributes;  // Windows attribute bits; FolderAttribute marks a folder
};

// Takes the record as stored; the texts are cut at their last byte so they always end.
inline void DecodeSettings(const uint8_t in[SettingsRecordSize], SettingsRecord& record) {
    uint8_t* p = reinterpret_cast<uint8_t*>(&record);
    for (uint32_t i = 0; i < SettingsRecordSize; ++i) p[i] = in[i];
    record.CmdParameters[CmdParametersSize - 1] = 0;
    record.CustomFolder[CustomFolderSize - 1] = 0;
    record.InstanceName[InstanceNameSize - 1] = 0;
}

inline void EncodeEntryHeader(const EntryHeader& h, uint8_t out[EntryHeaderSize]) {
    out[0] = h.Kind;
    PutLE32(out + 1, static_cast<uint32_t>(h.NameLength));
    PutLE32(out + 5, static_cast<uint32_t>(h.DataSize));
    PutLE32(out + 9, h.FileTime);
    PutLE32(out + 13, h.Attributes);
}

inline EntryHeader DecodeEntryHeader(const uint8_t in[EntryHeaderSize]) {
    EntryHeader h;
    h.Kind = in[0];
    h.NameLength = static_cast<int32_t>(GetLE32(in + 1));
    h.DataSize = static_cast<int32_t>(GetLE32(in + 5));
    h.FileTime = GetLE32(in + 9);
    h.Attributes = GetLE32(in + 13);
    return h;
}

// The terminator is a header whose four 4-byte fields are 0.
inline bool IsTerminator(const EntryHeader& h) {
    return h.NameLength == 0 && h.DataSize == 0 && h.FileTime == 0 && h.Attributes == 0;
}

inline ChunkHeader DecodeChunkHeader(const uint8_t in[ChunkHeaderSize]) {
    ChunkHeader c;
    c.PlainLength = static_cast<int32_t>(GetLE32(in));
    c.PackedLength = static_cast<int32_t>(GetLE32(in + 4));
    return c;
}
