// The reader of all three container forms. It goes into every SFX file: small, no heap, no library.
#include "u_payload.h"

// The classic extractor is built without the compact form (QUILLET_CLASSIC_READER): its code would
// be dead weight in every SFX file of the other two forms. It refuses a compact file with 13, as
// the extractors before the compact form do.
#ifdef QUILLET_CLASSIC_READER
const bool CompactForm = false;
#else
const bool CompactForm = true;
#endif

namespace {

uint64_t GetLE64(const uint8_t* in) { return GetLE32(in) | static_cast<uint64_t>(GetLE32(in + 4)) << 32; }

// The mark as stored: what ExtensionKind, ExtensionMarkName, a size of 0 and ExtensionMagic encode to.
const uint8_t Mark[ExtensionMarkSize] = {0xFF, 0, 0, 0, 0x80, 0, 0, 0, 0, 'Q', 'u', 'i', 'l', 'l', 'e', 't', 'X'};

bool IsMark(const uint8_t* b) {
    for (uint32_t i = 0; i < ExtensionMarkSize; ++i)
        if (b[i] != Mark[i]) return false;
    return true;
}

// The compact form's mark: the same pseudo-entry with its own kind and magic.
bool IsCompactMark(const uint8_t* b) {
    if (b[0] != CompactKind) return false;
    for (uint32_t i = 1; i < ExtensionMarkSize - 1; ++i)
        if (b[i] != Mark[i]) return false;
    return b[ExtensionMarkSize - 1] == static_cast<uint8_t>(CompactMagic[7]);
}

uint32_t GetLE16(const uint8_t* in) { return in[0] | (in[1] << 8); }

// The two UTF-16 texts as both marked forms store them: read, summed into sum, decoded.
uint32_t DecodeTexts(Utf16Char* cmdParameters, uint32_t cmdBytes, Utf16Char* customFolder, uint32_t folderBytes) {
    int cmd = DecodeUtf16InPlace(cmdParameters, cmdBytes), folder = DecodeUtf16InPlace(customFolder, folderBytes);
    if (cmd < 0 || folder < 0) return PayloadInvalid;
    cmdParameters[cmd] = 0;
    customFolder[folder] = 0;
    return PayloadOk;
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
    extended_ = compact_ = false;
    remaining_ = frames_ = dataSize_ = 0;
    directorySize_ = 0;
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
    bool room = src_.end - pos_ >= ExtensionMarkSize;
    if (room && (code = ReadAt(b, ExtensionMarkSize))) return code;
    if (room && IsCompactMark(b)) {
        // A program without the decoder takes no compact file, as an extractor before it did not.
        if (!CompactForm || !src_.unpack) return PayloadInvalid;
        return OpenCompact(b, cmdParameters, customFolder);
    }
    if (room && IsMark(b)) {
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
        if ((code = DecodeTexts(cmdParameters, cmdBytes, customFolder, folderBytes))) return code;
        extended_ = true;
        first_ = pos_;
        return PayloadOk;
    }
    pos_ = first_;
    if ((code = DecodeField(src_.decode, record.CmdParameters, CmdParametersSize, cmdParameters))) return code;
    return DecodeField(src_.decode, record.CustomFolder, CustomFolderSize, customFolder);
}

uint32_t PayloadReader::NextEntry(PayloadEntry& entry, Utf16Char* name, uint32_t nameSize, bool& done) {
    if (CompactForm && compact_) return NextCompactEntry(entry, name, nameSize, done);
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
    piece.Plain = nullptr;
    if (!remaining_) return PayloadOk;
    if (CompactForm && compact_) return NextCompactPiece(buffer != nullptr, piece);
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
    if (CompactForm && compact_) return verify && storedSum_ != sum_ ? PayloadCrc : PayloadOk;
    uint32_t code = ReadAt(b, 4);
    if (code) return code;
    return verify && GetLE32(b) != sum_ ? PayloadCrc : PayloadOk;
}

void PayloadReader::Rewind() {
    pos_ = first_;
    directoryPos_ = 0;
    streamPos_ = 0;
    loaded_ = frames_;  // none
}

uint32_t CheckFrameHeader(const uint8_t header[FrameHeaderSize], uint32_t expectedPlain, uint64_t room,
                          uint32_t& packed) {
    packed = GetLE32(header + 4);
    if (GetLE32(header) != expectedPlain || !packed || (packed >> 31) || packed > room) return PayloadInvalid;
    return packed > MaxPackedFrame ? PayloadNoMemory : PayloadOk;
}

// Every frame holds frameSize_ plain bytes, the last one the rest of the stream.
uint32_t PayloadReader::FramePlain(uint64_t frame) const {
    uint64_t start = frame * frameSize_;
    return dataSize_ - start < frameSize_ ? static_cast<uint32_t>(dataSize_ - start) : frameSize_;
}

uint32_t PayloadReader::ReadFrameHeader(uint64_t frame, uint32_t& packed) {
    uint8_t b[FrameHeaderSize];
    uint32_t code = ReadAt(b, FrameHeaderSize);
    return code ? code : CheckFrameHeader(b, FramePlain(frame), src_.end - pos_, packed);
}

uint32_t PayloadReader::OpenCompact(const uint8_t* mark, Utf16Char* cmdParameters, Utf16Char* customFolder) {
    uint8_t b[CompactFixedSize];
    for (uint32_t i = 0; i < ExtensionMarkSize; ++i) b[i] = mark[i];
    uint32_t code = ReadAt(b + ExtensionMarkSize, CompactFixedSize - ExtensionMarkSize);
    if (code) return code;
    uint32_t version = GetLE16(b + 17), cmdBytes = 2 * GetLE16(b + 19), folderBytes = 2 * GetLE16(b + 21);
    frameSize_ = GetLE32(b + 23);
    dataSize_ = GetLE64(b + 27);
    directorySize_ = GetLE32(b + 35);
    uint32_t packedDirectory = GetLE32(b + 39), directorySum = GetLE32(b + 43);
    if (version != CompactVersion || cmdBytes > 2 * MaxCmdParametersUnits || folderBytes > 2 * MaxCustomFolderUnits ||
        !frameSize_ || frameSize_ > MaxFrameSize || (dataSize_ >> 63) || !directorySize_ ||
        directorySize_ > MaxDirectorySize)
        return PayloadInvalid;
    uint8_t stored[4];
    if ((code = ReadAt(cmdParameters, cmdBytes)) || (code = ReadAt(customFolder, folderBytes)) ||
        (code = ReadAt(stored, 4)))
        return code;
    if (GetLE32(stored) !=
        ByteSum(customFolder, folderBytes, ByteSum(cmdParameters, cmdBytes, ByteSum(b, CompactFixedSize))))
        return PayloadCrc;
    if ((code = DecodeTexts(cmdParameters, cmdBytes, customFolder, folderBytes))) return code;
    // The directory's frame, as any frame.
    uint8_t h[FrameHeaderSize];
    PutLE32(h, directorySize_);
    PutLE32(h + 4, packedDirectory);
    uint64_t directoryAt = pos_;
    if ((code = CheckFrameHeader(h, directorySize_, src_.end - pos_, packedDirectory))) return code;
    pos_ += packedDirectory;

    // Every frame header, before anything is unpacked. Each frame takes at least a header and a
    // byte, so a stream longer than the file could hold is refused before the walk.
    uint32_t largest = packedDirectory;
    frames_ = dataSize_ / frameSize_ + (dataSize_ % frameSize_ != 0);
    if (frames_ > (src_.end - pos_) / (FrameHeaderSize + 1)) return PayloadInvalid;
    first_ = pos_;
    for (uint64_t k = 0; k < frames_; ++k) {
        uint32_t packed;
        if ((code = ReadFrameHeader(k, packed))) return code;
        if (packed > largest) largest = packed;
        pos_ += packed;
    }

    // The buffers: packed bytes (the directory's or a frame's), the directory, one unpacked frame.
    packed_ = static_cast<uint8_t*>(src_.allocate(src_.context, largest));
    directory_ = static_cast<uint8_t*>(src_.allocate(src_.context, directorySize_));
    frame_ = frames_ ? static_cast<uint8_t*>(src_.allocate(src_.context, FramePlain(0))) : nullptr;
    if (!packed_ || !directory_ || (frames_ && !frame_)) return PayloadNoMemory;
    pos_ = directoryAt;
    if ((code = ReadAt(packed_, packedDirectory)) ||
        (code = src_.unpack(src_.decoder, packed_, packedDirectory, directory_, directorySize_)))
        return code;
    if (ByteSum(directory_, directorySize_) != directorySum) return PayloadCrc;

    // The entries fill the directory exactly, and their sizes add up to the stream's.
    uint64_t total = 0;
    for (uint32_t at = 0; at < directorySize_;) {
        if (directorySize_ - at < DirectoryEntrySize) return PayloadInvalid;
        uint32_t units = GetLE16(directory_ + at + 1);
        uint64_t size = GetLE64(directory_ + at + 3);
        at += DirectoryEntrySize;
        if (!units || units > MaxNameUnits || 2 * units > directorySize_ - at || (size >> 63) ||
            size > dataSize_ - total)
            return PayloadInvalid;
        at += 2 * units;
        total += size;
    }
    if (total != dataSize_) return PayloadInvalid;
    compact_ = true;
    Rewind();
    return PayloadOk;
}

uint32_t PayloadReader::NextCompactEntry(PayloadEntry& entry, Utf16Char* name, uint32_t nameSize, bool& done) {
    done = directoryPos_ == directorySize_;
    remaining_ = 0;
    if (done) return PayloadOk;
    // Open has walked the directory: every entry lies within it.
    const uint8_t* e = directory_ + directoryPos_;
    uint32_t units = GetLE16(e + 1);
    entry.Kind = e[0];
    entry.NameLength = 2 * units;
    entry.DataSize = GetLE64(e + 3);
    entry.FileTime = GetLE32(e + 11);
    entry.Attributes = GetLE32(e + 15);
    storedSum_ = GetLE32(e + 19);
    directoryPos_ += DirectoryEntrySize + 2 * units;
    if (units >= nameSize || ((entry.Attributes & FolderAttribute) && entry.DataSize)) return PayloadInvalid;
    uint8_t* bytes = reinterpret_cast<uint8_t*>(name);
    for (uint32_t i = 0; i < 2 * units; ++i) bytes[i] = e[DirectoryEntrySize + i];
    sum_ = ByteSum(bytes, 2 * units);
    if (DecodeUtf16InPlace(name, 2 * units) < 0) return PayloadInvalid;
    name[units] = 0;
    remaining_ = entry.DataSize;
    return PayloadOk;
}

// The entry's bytes up to the end of the frame the stream is in. The data pass reads and unpacks
// the frames in order, each once: the entries take the stream in the order it was written.
uint32_t PayloadReader::NextCompactPiece(bool read, PayloadPiece& piece) {
    uint64_t frame = streamPos_ / frameSize_;
    uint32_t offset = static_cast<uint32_t>(streamPos_ % frameSize_), plain = FramePlain(frame), code, packed;
    if (read && loaded_ != frame) {
        if ((code = ReadFrameHeader(frame, packed)) || (code = ReadAt(packed_, packed)) ||
            (code = src_.unpack(src_.decoder, packed_, packed, frame_, plain)))
            return code;
        loaded_ = frame;
    }
    uint32_t n = plain - offset < remaining_ ? plain - offset : static_cast<uint32_t>(remaining_);
    piece.PlainLength = n;
    if (read) piece.Plain = frame_ + offset;
    streamPos_ += n;
    remaining_ -= n;
    return PayloadOk;
}
