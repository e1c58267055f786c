#include "sfxreader.h"

#include <windows.h>
#include <zlib.h>

#include <cstring>

#include "winprocess.h"

namespace {

uint32_t Le32(const std::string& b, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b[at + i]);
    return v;
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

SfxFile ReadSfx(const std::string& path) {
    SfxFile f;
    std::string b = ReadFileBytes(path);
    f.payloadOffset = ImageEnd(b);
    size_t at = f.payloadOffset;
    if (!at || b.size() < at + 2330) {
        f.error = "no payload";
        return f;
    }
    f.record = b.substr(at, 2330);
    at += 2330;
    while (true) {
        if (at + 17 > b.size()) {
            f.error = "entry header past the end at " + std::to_string(at);
            return f;
        }
        SfxEntry e;
        e.offset = at;
        e.kind = static_cast<uint8_t>(b[at]);
        uint32_t nameLength = Le32(b, at + 1);
        e.size = static_cast<int32_t>(Le32(b, at + 5));
        e.time = Le32(b, at + 9);
        e.attributes = Le32(b, at + 13);
        if (e.kind == 0 && nameLength == 0 && e.size == 0 && e.time == 0 && e.attributes == 0) {
            f.terminated = true;
            f.terminatorOffset = at;
            f.trailing = b.size() - (at + 17);
            return f;
        }
        at += 17;
        if (nameLength > 4096 || at + nameLength > b.size()) {
            f.error = "bad name length";
            return f;
        }
        e.name = b.substr(at, nameLength);
        at += nameLength;
        e.computedSum = 0;
        for (unsigned char c : e.name) e.computedSum += c;
        if (!(e.attributes & 0x10)) {
            int64_t done = 0;
            while (done < e.size) {
                if (at + 8 > b.size()) {
                    f.error = "chunk header past the end";
                    return f;
                }
                SfxChunk c{static_cast<int32_t>(Le32(b, at)), static_cast<int32_t>(Le32(b, at + 4)), at};
                at += 8;
                if (c.plain <= 0 || c.packed <= 0 || at + c.packed > b.size()) {
                    f.error = "bad chunk in " + e.name;
                    return f;
                }
                std::string plain(c.plain, '\0');
                uLongf length = c.plain;
                int rc = uncompress(reinterpret_cast<Bytef*>(&plain[0]), &length,
                                    reinterpret_cast<const Bytef*>(b.data() + at), c.packed);
                if (rc != Z_OK || length != static_cast<uLongf>(c.plain)) {
                    f.error = "bad zlib stream in " + e.name;
                    return f;
                }
                for (unsigned char ch : plain) e.computedSum += ch;
                e.data += plain;
                e.chunks.push_back(c);
                at += c.packed;
                done += c.plain;
            }
            if (done != e.size) {
                f.error = "chunks overshoot the size of " + e.name;
                return f;
            }
        }
        if (at + 4 > b.size()) {
            f.error = "checksum past the end";
            return f;
        }
        e.sumOffset = at;
        e.storedSum = Le32(b, at);
        at += 4;
        f.entries.push_back(std::move(e));
    }
}
