#include "sfxreader.h"

#include <windows.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cstring>

namespace {

uint32_t Le32(const std::string& b, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b[at + i]);
    return v;
}

uint32_t Le16(const std::string& b, size_t at) {
    return static_cast<uint8_t>(b[at]) | (static_cast<uint8_t>(b[at + 1]) << 8);
}

uint32_t Sum(const std::string& bytes, uint32_t sum = 0) {
    for (unsigned char c : bytes) sum += c;
    return sum;
}

// The file by offset, for files larger than memory.
class File {
public:
    explicit File(const std::string& path) {
        h_ = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        LARGE_INTEGER size;
        size_ = h_ != INVALID_HANDLE_VALUE && GetFileSizeEx(h_, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
    }
    ~File() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    uint64_t Size() const { return size_; }
    // n bytes at offset, or fewer at the end of the file.
    std::string Read(uint64_t offset, uint64_t n) const {
        if (offset >= size_) return std::string();
        if (n > size_ - offset) n = size_ - offset;
        std::string out(static_cast<size_t>(n), '\0');
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(offset);
        DWORD got = 0;
        if (n && (!SetFilePointerEx(h_, at, nullptr, FILE_BEGIN) ||
                  !ReadFile(h_, &out[0], static_cast<DWORD>(n), &got, nullptr)))
            got = 0;
        out.resize(got);
        return out;
    }

private:
    HANDLE h_;
    uint64_t size_;
};

// Strict UTF-16LE: whole units, no zero, surrogates in pairs. False on any fault.
bool Utf16(const std::string& bytes, std::wstring& out) {
    out.clear();
    if (bytes.size() % 2) return false;
    for (size_t i = 0; i < bytes.size(); i += 2) out += static_cast<wchar_t>(Le16(bytes, i));
    for (size_t i = 0; i < out.size(); ++i) {
        unsigned u = out[i];
        if (!u || (u >= 0xDC00 && u <= 0xDFFF)) return false;
        if (u >= 0xD800 && u <= 0xDBFF && (++i == out.size() || out[i] < 0xDC00 || out[i] > 0xDFFF)) return false;
    }
    return true;
}

std::wstring FromCodePage(const std::string& text) {
    if (text.empty()) return std::wstring();
    std::wstring out(text.size(), L'\0');
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0],
                                static_cast<int>(out.size()));
    out.resize(n > 0 ? n : 0);
    return out;
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

const char Mark[17] = {'\xFF', 0, 0, 0, '\x80', 0, 0, 0, 0, 'Q', 'u', 'i', 'l', 'l', 'e', 't', 'X'};
const char CompactMark[17] = {'\xFE', 0, 0, 0, '\x80', 0, 0, 0, 0, 'Q', 'u', 'i', 'l', 'l', 'e', 't', 'Z'};

uint64_t Le64(const std::string& b, size_t at) { return Le32(b, at) | static_cast<uint64_t>(Le32(b, at + 4)) << 32; }

// One zstd frame to exactly plain bytes; false when it does not unpack so.
bool Unzstd(const std::string& packed, size_t plain, std::string& out) {
    out.assign(plain, '\0');
    size_t n = ZSTD_decompress(&out[0], plain, packed.data(), packed.size());
    return !ZSTD_isError(n) && n == plain && ZSTD_findFrameCompressedSize(packed.data(), packed.size()) == packed.size();
}

// The compact form after the record: header, directory, frames. The entries' data is read from
// the frames in stream order, one frame in memory at a time.
void ReadCompact(const File& in, uint64_t at, SfxFile& f, bool keepData) {
    std::string h = in.Read(at, 47);
    if (h.size() < 47) return void(f.error = "compact header past the end");
    uint32_t cmd = Le16(h, 19), folder = Le16(h, 21);
    if (Le16(h, 17) != 1) return void(f.error = "compact version " + std::to_string(Le16(h, 17)));
    if (cmd > 2047 || folder > 260) return void(f.error = "compact text too long");
    f.compact = true;
    f.headerOffset = at;
    f.headerSize = 47 + 2 * (cmd + folder) + 4;
    f.frameSize = Le32(h, 23);
    f.streamSize = Le64(h, 27);
    f.directorySize = Le32(h, 35);
    f.directoryPacked = Le32(h, 39);
    f.directorySum = Le32(h, 43);
    std::string texts = in.Read(at + 47, 2 * (cmd + folder) + 4);
    if (texts.size() != 2 * (cmd + folder) + 4) return void(f.error = "compact header past the end");
    if (Sum(h, Sum(texts.substr(0, 2 * (cmd + folder)))) != Le32(texts, 2 * (cmd + folder)))
        return void(f.error = "compact header checksum differs");
    if (!Utf16(texts.substr(0, 2 * cmd), f.cmdParameters) || !Utf16(texts.substr(2 * cmd, 2 * folder), f.customFolder))
        return void(f.error = "compact text is not UTF-16");
    if (f.frameSize == 0 || f.frameSize > (32u << 20) || f.directorySize > (16u << 20))
        return void(f.error = "compact frame or directory size out of range");
    at += f.headerSize;
    f.directoryOffset = at;
    std::string packed = in.Read(at, f.directoryPacked);
    if (packed.size() != f.directoryPacked || !Unzstd(packed, f.directorySize, f.directory))
        return void(f.error = "directory does not unpack");
    if (Sum(f.directory) != f.directorySum) return void(f.error = "directory checksum differs");
    at += f.directoryPacked;
    uint64_t total = 0;
    for (size_t d = 0; d < f.directory.size();) {
        if (f.directory.size() - d < 23) return void(f.error = "directory entry cut short");
        SfxEntry e;
        e.offset = d;
        e.kind = static_cast<uint8_t>(f.directory[d]);
        uint32_t units = Le16(f.directory, d + 1);
        e.size = static_cast<int64_t>(Le64(f.directory, d + 3));
        e.time = Le32(f.directory, d + 11);
        e.attributes = Le32(f.directory, d + 15);
        e.sumOffset = d + 19;
        e.storedSum = Le32(f.directory, d + 19);
        if (units == 0 || units > 512 || d + 23 + 2 * units > f.directory.size() || e.size < 0)
            return void(f.error = "bad directory entry");
        e.storedName = f.directory.substr(d + 23, 2 * units);
        if (!Utf16(e.storedName, e.wideName)) return void(f.error = "name is not UTF-16");
        e.name = ToUtf8(e.wideName);
        e.computedSum = Sum(e.storedName);
        e.streamOffset = total;
        total += e.size;
        d += 23 + 2 * units;
        f.entries.push_back(std::move(e));
    }
    if (total != f.streamSize) return void(f.error = "directory sizes differ from the stream's");
    // The frames, and each entry's bytes from them.
    size_t entry = 0;
    uint64_t done = 0;  // of the current entry
    for (uint64_t pos = 0; pos < f.streamSize;) {
        std::string fh = in.Read(at, 8);
        if (fh.size() < 8) return void(f.error = "frame header past the end");
        SfxChunk c{static_cast<int32_t>(Le32(fh, 0)), static_cast<int32_t>(Le32(fh, 4)), static_cast<size_t>(at)};
        uint64_t want = std::min<uint64_t>(f.frameSize, f.streamSize - pos);
        if (static_cast<uint64_t>(c.plain) != want || c.packed <= 0) return void(f.error = "bad frame header");
        std::string plain;
        if (!Unzstd(in.Read(at + 8, c.packed), c.plain, plain)) return void(f.error = "frame does not unpack");
        f.frames.push_back(c);
        at += 8 + c.packed;
        for (size_t p = 0; p < plain.size();) {
            while (entry < f.entries.size() && done == static_cast<uint64_t>(f.entries[entry].size)) ++entry, done = 0;
            SfxEntry& e = f.entries[entry];
            size_t n = static_cast<size_t>(std::min<uint64_t>(plain.size() - p, e.size - done));
            std::string part = plain.substr(p, n);
            e.computedSum = Sum(part, e.computedSum);
            if (keepData) e.data += part;
            p += n;
            done += n;
        }
        pos += c.plain;
    }
    f.terminated = true;  // the stream is complete: the form has no terminator
    f.terminatorOffset = at;
    f.trailing = in.Size() - at;
}

// The extension after the record: mark, version 1, two text lengths, the texts, ByteSum.
bool ReadExtension(const File& in, uint64_t at, SfxFile& f) {
    std::string fixed = in.Read(at, 23);
    if (fixed.size() < 23) return f.error = "extension past the end", false;
    if (Le16(fixed, 17) != 1) return f.error = "extension version " + std::to_string(Le16(fixed, 17)), false;
    uint32_t cmd = Le16(fixed, 19), folder = Le16(fixed, 21);
    if (cmd > 2047 || folder > 260) return f.error = "extension text too long", false;
    std::string texts = in.Read(at + 23, 2 * (cmd + folder) + 4);
    if (texts.size() != 2 * (cmd + folder) + 4) return f.error = "extension past the end", false;
    if (Sum(fixed, Sum(texts.substr(0, 2 * (cmd + folder)))) != Le32(texts, 2 * (cmd + folder)))
        return f.error = "extension checksum differs", false;
    if (!Utf16(texts.substr(0, 2 * cmd), f.cmdParameters) || !Utf16(texts.substr(2 * cmd, 2 * folder), f.customFolder))
        return f.error = "extension text is not UTF-16", false;
    f.extended = true;
    f.extensionOffset = at;
    f.extensionSize = 23 + 2 * (cmd + folder) + 4;
    return true;
}

}  // namespace

std::string SfxFile::Text(size_t offset, size_t size) const {
    std::string field = record.substr(offset, size);
    return field.substr(0, field.find('\0'));
}

const SfxEntry* SfxFile::Find(const std::string& name) const {
    for (const SfxEntry& e : entries)
        if (e.name == name) return &e;
    return nullptr;
}

const SfxEntry* SfxFile::Find(const std::wstring& name) const {
    for (const SfxEntry& e : entries)
        if (e.wideName == name) return &e;
    return nullptr;
}

uint32_t ImageEnd(const std::string& bytes) {
    if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') return 0;
    uint32_t pe = Le32(bytes, 0x3C);
    if (pe + 24 > bytes.size() || bytes.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return 0;
    uint32_t sections = static_cast<uint8_t>(bytes[pe + 6]) | (static_cast<uint8_t>(bytes[pe + 7]) << 8);
    uint32_t optional = static_cast<uint8_t>(bytes[pe + 20]) | (static_cast<uint8_t>(bytes[pe + 21]) << 8);
    uint32_t table = pe + 24 + optional, end = 0;
    for (uint32_t i = 0; i < sections && table + 40 * (i + 1) <= bytes.size(); ++i) {
        uint32_t rawSize = Le32(bytes, table + 40 * i + 16), rawOffset = Le32(bytes, table + 40 * i + 20);
        if (rawSize > 0 && rawOffset + rawSize > end) end = rawOffset + rawSize;
    }
    return end;
}

SfxFile ReadSfx(const std::string& path, bool keepData) {
    SfxFile f;
    File in(path);
    // The program's headers and section table lie in its first 64 KiB.
    f.payloadOffset = ImageEnd(in.Read(0, 65536));
    uint64_t at = f.payloadOffset, size = in.Size();
    if (!at || size < at + 2330) {
        f.error = "no payload";
        return f;
    }
    f.record = in.Read(at, 2330);
    f.cmdParameters = FromCodePage(f.Text(2, 2048));
    f.customFolder = FromCodePage(f.Text(2050, 261));
    at += 2330;
    if (in.Read(at, 17) == std::string(CompactMark, 17)) {
        ReadCompact(in, at, f, keepData);
        return f;
    }
    if (in.Read(at, 17) == std::string(Mark, 17)) {
        if (!ReadExtension(in, at, f)) return f;
        at += f.extensionSize;
    }
    const uint32_t headerSize = f.extended ? 21 : 17;
    const bool compressed = f.Byte(2323) != 0;
    while (true) {
        std::string h = in.Read(at, headerSize);
        if (h.size() < headerSize) {
            f.error = "entry header past the end at " + std::to_string(at);
            return f;
        }
        SfxEntry e;
        e.offset = at;
        e.kind = static_cast<uint8_t>(h[0]);
        uint32_t nameLength = Le32(h, 1);
        e.size = f.extended ? static_cast<int64_t>(Le32(h, 5) | static_cast<uint64_t>(Le32(h, 9)) << 32)
                            : static_cast<int32_t>(Le32(h, 5));
        e.time = Le32(h, headerSize - 8);
        e.attributes = Le32(h, headerSize - 4);
        if (e.kind == 0 && nameLength == 0 && e.size == 0 && e.time == 0 && e.attributes == 0) {
            f.terminated = true;
            f.terminatorOffset = at;
            f.trailing = size - (at + headerSize);
            return f;
        }
        at += headerSize;
        if (nameLength > 65536 || at + nameLength > size || e.size < 0) {
            f.error = "bad name length or size";
            return f;
        }
        e.storedName = in.Read(at, nameLength);
        at += nameLength;
        if (f.extended) {
            if (!Utf16(e.storedName, e.wideName)) {
                f.error = "name is not UTF-16";
                return f;
            }
            e.name = ToUtf8(e.wideName);
        } else {
            e.name = e.storedName;
            e.wideName = FromCodePage(e.name);
        }
        e.computedSum = Sum(e.storedName);
        if (!(e.attributes & 0x10)) {
            int64_t done = 0;
            while (done < e.size) {
                if (!compressed) {
                    uint64_t n = std::min<uint64_t>(e.size - done, 1 << 20);
                    std::string plain = in.Read(at, n);
                    if (plain.size() != n) return f.error = "stored data past the end", f;
                    e.computedSum = Sum(plain, e.computedSum);
                    if (keepData) e.data += plain;
                    at += n;
                    done += n;
                    continue;
                }
                std::string ch = in.Read(at, 8);
                if (ch.size() < 8) {
                    f.error = "chunk header past the end";
                    return f;
                }
                SfxChunk c{static_cast<int32_t>(Le32(ch, 0)), static_cast<int32_t>(Le32(ch, 4)), static_cast<size_t>(at)};
                at += 8;
                if (c.plain <= 0 || c.packed <= 0 || at + c.packed > size) {
                    f.error = "bad chunk in " + e.name;
                    return f;
                }
                std::string packed = in.Read(at, c.packed);
                std::string plain(c.plain, '\0');
                uLongf length = c.plain;
                int rc = uncompress(reinterpret_cast<Bytef*>(&plain[0]), &length,
                                    reinterpret_cast<const Bytef*>(packed.data()), c.packed);
                if (rc != Z_OK || length != static_cast<uLongf>(c.plain)) {
                    f.error = "bad zlib stream in " + e.name;
                    return f;
                }
                e.computedSum = Sum(plain, e.computedSum);
                if (keepData) e.data += plain;
                e.chunks.push_back(c);
                at += c.packed;
                done += c.plain;
            }
            if (done != e.size) {
                f.error = "chunks overshoot the size of " + e.name;
                return f;
            }
        }
        std::string sum = in.Read(at, 4);
        if (sum.size() < 4) {
            f.error = "checksum past the end";
            return f;
        }
        e.sumOffset = at;
        e.storedSum = Le32(sum, 0);
        at += 4;
        f.entries.push_back(std::move(e));
    }
}
