// The reader of both container forms. It goes into every SFX file: small, no heap, no library.
#include "u_payload.h"

namespace {

uint64_t GetLE64(const uint8_t* in) { return GetLE32(in) | static_cast<uint64_t>(GetLE32(in + 4)) << 32; }

// The mark as stored: what ExtensionKind, ExtensionMarkName, a size of 0 and ExtensionMagic encode to.
const uint8_t Mark[ExtensionMarkSize] = {0xFF, 0, 0, 0, 0x80, 0, 0, 0, 0, 'Q', 'u', 'i', 'l', 'l', 'e', 't', 'X'};

bool IsMark(const uint8_t* b) {
    for (uint32_t i = 0; i < ExtensionMarkSize; ++i)
        if (b[i] != Mark[i]) return false;
    return true;
}

// A code-page text field up to its first zero, to UTF-16.
uint32_t DecodeField(PayloadDecode decode, const char* field, uint32_t size, Utf16Char* out) {
    int n = 0;
    while (n < static_cast<int>(size) - 1 && field[n]) ++n;
    return decode(field, n, out, static_cast<int>(size)) < 0 ? PayloadInvalid : PayloadOk;
}

}  // namespace

int DecodeUtf16InPlace(void* buffer, uint32_t bytes) {
    const uint8_t* in = static_cast<const uint8_t*>(buffer);
    Utf16Char* out = static_cast<Utf16Char*>(buffer);
    if (bytes & 1) return -1;
    uint32_t units = bytes / 2;
    bool wantLow = false;
    for (uint32_t i = 0; i < units; ++i) {
        uint32_t u = in[2 * i] | (in[2 * i + 1] << 8);
        bool low = (u & 0xFC00) == 0xDC00;
        if (!u || low != wantLow) return -1;
        wantLow = (u & 0xFC00) == 0xD800;
        out[i] = static_cast<Utf16Char>(u);
    }
    return wantLow ? -1 : static_cast<int>(units);
}

uint32_t PayloadReader::ReadAt(void* buffer, uint32_t size) {
    // pos_ never passes end, so the room left cannot wrap.
    if (size > src_.end - pos_) return PayloadInvalid;
    uint32_t code = !buffer || !size ? PayloadOk : src_.read(src_.context, pos_, buffer, size);
    pos_ += size;
    return code;
}

uint32_t PayloadReader::Open(const PayloadSource& source, SettingsRecord& record, Utf16Char* cmdParameters,
                             Utf16Char* customFolder) {
    src_ = source;
    extended_ = false;
    remaining_ = 0;
    pos_ = src_.payloadOffset;
    if (pos_ >= src_.end || src_.end - pos_ <= SettingsRecordSize) return PayloadNoRecord;
    // The record is its own byte layout; its texts are cut at their last byte, so they end.
    uint32_t code = ReadAt(&record, SettingsRecordSize);
    if (code) return code;
    record.CmdParameters[CmdParametersSize - 1] = 0;
    record.CustomFolder[CustomFolderSize - 1] = 0;
    record.InstanceName[InstanceNameSize - 1] = 0;
    uint8_t b[ExtensionFixedSize];
    compressed_ = record.Compressed != 0;
    first_ = pos_;
    // Fewer bytes than a mark: the entry loop finds the list cut short.
    if (src_.end - pos_ >= ExtensionMarkSize && !(code = ReadAt(b, ExtensionMarkSize)) && IsMark(b)) {
        if ((code = ReadAt(b + ExtensionMarkSize, ExtensionFixedSize - ExtensionMarkSize))) return code;
        uint32_t version = b[17] | (b[18] << 8), cmdBytes = 2 * (b[19] | (b[20] << 8));
        uint32_t folderBytes = 2 * (b[21] | (b[22] << 8));
        if (version != ExtensionVersion || cmdBytes > 2 * MaxCmdParametersUnits ||
            folderBytes > 2 * MaxCustomFolderUnits)
            return PayloadInvalid;
        uint8_t stored[4];
        if ((code = ReadAt(cmdParameters, cmdBytes)) || (code = ReadAt(customFolder, folderBytes)) ||
            (code = ReadAt(stored, 4)))
            return code;
        if (GetLE32(stored) != ByteSum(customFolder, folderBytes, ByteSum(cmdParameters, cmdBytes, ByteSum(b, 23))))
            return PayloadCrc;
        int cmd = DecodeUtf16InPlace(cmdParameters, cmdBytes), folder = DecodeUtf16InPlace(customFolder, folderBytes);
        if (cmd < 0 || folder < 0) return PayloadInvalid;
        cmdParameters[cmd] = 0;
        customFolder[folder] = 0;
        extended_ = true;
        first_ = pos_;
        return PayloadOk;
    }
    if (code) return code;
    pos_ = first_;
    if ((code = DecodeField(src_.decode, record.CmdParameters, CmdParametersSize, cmdParameters))) return code;
    return DecodeField(src_.decode, record.CustomFolder, CustomFolderSize, customFolder);
}

uint32_t PayloadReader::NextEntry(PayloadEntry& entry, Utf16Char* name, uint32_t nameSize, bool& done) {
    uint8_t b[ExtendedHeaderSize];
    uint32_t headerSize = extended_ ? ExtendedHeaderSize : EntryHeaderSize;
    done = false;
    remaining_ = 0;
    uint32_t code = ReadAt(b, headerSize);
    if (code) return code;  // no terminator before the end of the file
    entry.Kind = b[0];
    entry.NameLength = GetLE32(b + 1);
    entry.DataSize = extended_ ? GetLE64(b + 5) : static_cast<uint64_t>(static_cast<int32_t>(GetLE32(b + 5)));
    entry.FileTime = GetLE32(b + headerSize - 8);
    entry.Attributes = GetLE32(b + headerSize - 4);
    if (!entry.NameLength && !entry.DataSize && !entry.FileTime && !entry.Attributes) {
        done = true;
        return PayloadOk;
    }
    // Negative lengths and sizes have the top bit set; a name is never empty; a folder holds no
    // data; a UTF-16 name has whole units, one fewer than the buffer (the zero).
    uint32_t n = entry.NameLength;
    if ((n >> 31) || !n || (entry.DataSize >> 63) || ((entry.Attributes & FolderAttribute) && entry.DataSize))
        return PayloadInvalid;
    if (extended_ ? (n & 1) || n / 2 >= nameSize : n > src_.nameBytesSize) return PayloadInvalid;
    char* bytes = extended_ ? reinterpret_cast<char*>(name) : src_.nameBytes;
    if ((code = ReadAt(bytes, n))) return code;
    sum_ = ByteSum(bytes, n);
    int units;
    if (extended_) {
        units = DecodeUtf16InPlace(name, n);
    } else {
        // A zero byte would cut the name where the system reads it, unlike where it was checked.
        for (uint32_t i = 0; i < n; ++i)
            if (!bytes[i]) return PayloadInvalid;
        units = src_.decode(bytes, static_cast<int>(n), name, static_cast<int>(nameSize));
    }
    if (units <= 0) return PayloadInvalid;
    name[units] = 0;
    remaining_ = entry.DataSize;
    return PayloadOk;
}

uint32_t PayloadReader::NextPiece(uint8_t* buffer, PayloadPiece& piece) {
    piece.PlainLength = piece.StoredLength = 0;
    if (!remaining_) return PayloadOk;
    uint32_t plain, stored, code;
    if (compressed_) {
        uint8_t b[ChunkHeaderSize];
        if ((code = ReadAt(b, ChunkHeaderSize))) return code;
        plain = GetLE32(b);
        stored = GetLE32(b + 4);
        // Every chunk holds 1 .. ChunkSize bytes, and the chunks add up to the size exactly.
        if (!plain || plain > ChunkSize || plain > remaining_ || !stored || (stored >> 31) || stored > src_.end - pos_)
            return PayloadInvalid;
        if (stored > MaxPackedChunk) return PayloadNoMemory;
    } else {
        plain = stored = remaining_ < MaxPackedChunk ? static_cast<uint32_t>(remaining_) : MaxPackedChunk;
    }
    if ((code = ReadAt(buffer, stored))) return code;
    remaining_ -= plain;
    piece.PlainLength = plain;
    piece.StoredLength = stored;
    return PayloadOk;
}

uint32_t PayloadReader::EndEntry(bool verify) {
    uint8_t b[4];
    if (remaining_) return PayloadInvalid;
    uint32_t code = ReadAt(b, 4);
    if (code) return code;
    return verify && GetLE32(b) != sum_ ? PayloadCrc : PayloadOk;
}
