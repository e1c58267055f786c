// Writes the seed payloads of fuzz_payload (the bytes after the program) into a folder, with the
// builder's writer of the three forms (shared/u_payloadwrite.cpp), libdeflate's zlib streams and
// the builder's zstd frames (shared/u_framepack.cpp):
//   make_seeds fuzz/corpus/fuzz_payload
// Each is a valid payload that the extractor unpacks; small chunks and frames, so that one seed
// holds several and files span them.
#include <libdeflate.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "u_frames.h"
#include "u_payloadwrite.h"

namespace {

struct Item {
    uint8_t kind;
    std::u16string name;
    std::string data;
    bool folder;
    std::vector<size_t> chunks;  // plain lengths of the chunks, packed only; the rest is one chunk
};

std::string Le32(uint32_t v) {
    std::string out(4, '\0');
    PutLE32(reinterpret_cast<uint8_t*>(&out[0]), v);
    return out;
}

std::string Pack(const std::string& plain) {
    static libdeflate_compressor* deflater = libdeflate_alloc_compressor(8);
    std::string out(libdeflate_zlib_compress_bound(deflater, plain.size()), '\0');
    out.resize(libdeflate_zlib_compress(deflater, plain.data(), plain.size(), &out[0], out.size()));
    return out;
}

// The stored form of a name: UTF-16LE (extended), or one byte a unit (every name below is
// Windows-1252 in the original form and only uses units below 0x100, which are the same there).
std::string Stored(PayloadForm form, const std::u16string& name) {
    if (form == PayloadForm::Extended) return StoredName(name.data(), name.size());
    std::string out;
    for (char16_t c : name) out += static_cast<char>(c);
    return out;
}

std::string Payload(PayloadForm form, bool compressed, const std::string& cmd8, const std::string& folder8,
                    const std::u16string& cmd, const std::u16string& folder, const std::vector<Item>& items) {
    SettingsRecord r;
    memset(&r, 0, sizeof(r));
    r.ExtractionMode = 1;
    r.ExtractionFolder = 5;
    memcpy(r.CmdParameters, cmd8.data(), cmd8.size());
    memcpy(r.CustomFolder, folder8.data(), folder8.size());
    memcpy(r.InstanceName, "00C0FFEE42", 10);
    r.Compressed = compressed;
    r.OverwriteMode = 1;
    std::string out = EncodePayloadStart(form, r, cmd.data(), cmd.size(), folder.data(), folder.size());
    for (const Item& item : items) {
        std::string stored = Stored(form, item.name);
        out += EncodeEntry(form, item.kind, stored, item.data.size(), 0x5A2B6C3D, item.folder ? 0x10 : 0x20);
        uint32_t sum = ByteSum(stored.data(), static_cast<uint32_t>(stored.size()));
        if (!compressed) {
            out += item.data;
        } else {
            size_t at = 0;
            std::vector<size_t> lengths = item.chunks;
            size_t listed = 0;
            for (size_t n : lengths) listed += n;
            if (listed < item.data.size()) lengths.push_back(item.data.size() - listed);
            for (size_t n : lengths) {
                std::string chunk = item.data.substr(at, n), z = Pack(chunk);
                out += Le32(static_cast<uint32_t>(n)) + Le32(static_cast<uint32_t>(z.size())) + z;
                at += n;
            }
        }
        out += Le32(ByteSum(item.data.data(), static_cast<uint32_t>(item.data.size()), sum));
    }
    return out + EncodeTerminator(form);
}

// The compact form: the directory, then the stream of all files in frames of frameSize bytes.
std::string Compact(uint32_t frameSize, const std::u16string& cmd, const std::u16string& folder,
                    const std::vector<Item>& items) {
    static FramePacker packer({3, 0, 0, false});  // small and quick: the seeds need no more
    SettingsRecord r;
    memset(&r, 0, sizeof(r));
    r.ExtractionMode = 1;
    r.ExtractionFolder = 5;
    memcpy(r.InstanceName, "00C0FFEE42", 10);
    r.Compressed = 1;
    std::string directory, stream;
    for (const Item& item : items) {
        std::string stored = StoredName(item.name.data(), item.name.size());
        uint32_t sum = ByteSum(item.data.data(), static_cast<uint32_t>(item.data.size()),
                               ByteSum(stored.data(), static_cast<uint32_t>(stored.size())));
        directory += EncodeDirectoryEntry(item.kind, stored, item.data.size(), 0x5A2B6C3D, item.folder ? 0x10 : 0x20, sum);
        stream += item.data;
    }
    std::string packed;
    packer.Pack(directory.data(), directory.size(), packed);
    CompactLayout layout = {frameSize, stream.size(), static_cast<uint32_t>(directory.size()),
                            static_cast<uint32_t>(packed.size()),
                            ByteSum(directory.data(), static_cast<uint32_t>(directory.size()))};
    std::string out = EncodeCompactStart(r, cmd.data(), cmd.size(), folder.data(), folder.size(), layout) + packed;
    for (uint64_t k = 0; k < FrameCount(stream.size(), frameSize); ++k) {
        std::string plain = stream.substr(k * frameSize, frameSize), frame;
        packer.Pack(plain.data(), plain.size(), frame);
        out += EncodeFrameHeader(static_cast<uint32_t>(plain.size()), static_cast<uint32_t>(frame.size())) + frame;
    }
    return out;
}

std::string Text(size_t n, uint32_t seed) {
    static const char* words[] = {"the ", "folder ", "unpacks ", "into ", "setup ", "quillet ", "\r\n", "42 "};
    std::string out;
    while (out.size() < n) {
        seed = seed * 1103515245 + 12345;
        out += words[(seed >> 16) % 8];
    }
    out.resize(n);
    return out;
}

bool Write(const std::string& folder, const char* name, const std::string& bytes) {
    std::string path = folder + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    bool ok = f && fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f && fclose(f)) ok = false;
    if (!ok) fprintf(stderr, "make_seeds: cannot write %s\n", path.c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: make_seeds FOLDER\n");
        return 2;
    }
    std::string dir = argv[1];
    const PayloadForm O = PayloadForm::Original, X = PayloadForm::Extended;
    std::vector<Item> tree = {
        {EntryOrdinary, u"docs", "", true, {}},
        {EntryOrdinary, u"docs\\caf\u00E9.txt", Text(300, 1), false, {120, 100}},
        {EntryOrdinary, u"empty.dat", "", false, {}},
        {EntryExecutable, u"setup.exe", Text(90, 2), false, {}},
    };
    std::vector<Item> wide = {
        {EntrySelfDelete, u"xsfxdel~.exe", Text(40, 3), false, {}},
        {EntryOrdinary, u"\uD55C\uAE00", "", true, {}},
        {EntryOrdinary, u"\uD55C\uAE00\\\U0001F600 \u5F20\u4F1F.txt", Text(260, 4), false, {200}},
        {EntryExecutable, u"run.exe", Text(30, 5), false, {}},
    };
    bool ok = Write(dir, "original-stored", Payload(O, false, "/quiet \"a b\"", "%TEMP%\\Quillet\\", u"", u"", tree)) &&
              Write(dir, "original-packed", Payload(O, true, "-x", "C:\\Data\\", u"", u"", tree)) &&
              Write(dir, "extended-packed",
                    Payload(X, true, "", "", u"\"\U0001F600 \uD55C\" /s", u"%APPDATA%\\\u5F20\u4F1F\\", wide)) &&
              Write(dir, "extended-stored", Payload(X, false, "", "", u"", u"", wide)) &&
              Write(dir, "original-one",
                    Payload(O, false, "", "", u"", u"", {{EntryOrdinary, u"a", "x", false, {}}})) &&
              // Frames of 128 bytes: the 300-byte file spans three, and a frame holds several files.
              Write(dir, "compact-tree", Compact(128, u"-x", u"C:\\Data\\", tree)) &&
              Write(dir, "compact-wide", Compact(100, u"\"\U0001F600 \uD55C\" /s", u"%APPDATA%\\\u5F20\u4F1F\\", wide)) &&
              Write(dir, "compact-one", Compact(MaxFrameSize, u"", u"", {{EntryOrdinary, u"a", "x", false, {}}}));
    return ok ? 0 : 1;
}
