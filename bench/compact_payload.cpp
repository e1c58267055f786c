// Writes the compact payload of a folder natively, with the project's writer and frame packer, and
// reads it back with the project's reader: the measuring tool of bench/compact_bench.sh.
//   compact_payload TREE OUT [--frame BYTES] [--level L] [--window LOG] [--chain LOG] [--long]
//                   [--threads N] [--verify]
// Prints one line: files, plain bytes, payload bytes, seconds (wall) and processor seconds of the
// packing, and with --verify the seconds of reading it all back. The entries go in the builder's
// order (each folder before its contents; siblings by name here).
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "u_frames.h"
#include "u_payloadwrite.h"

namespace {

struct Item {
    std::string path;  // relative, with slashes
    std::u16string name;
    bool folder;
    uint64_t offset, size;  // in the stream
    uint32_t time;
};

std::u16string Utf16(const std::string& s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        uint32_t c = static_cast<uint8_t>(s[i]), n = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        if (n) c &= 0x3F >> n;
        for (++i; n && i < s.size(); --n, ++i) c = (c << 6) | (static_cast<uint8_t>(s[i]) & 0x3F);
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c == '/' ? '\\' : c);
        }
    }
    return out;
}

uint32_t DosTime(time_t t) {
    struct tm l;
    localtime_r(&t, &l);
    return static_cast<uint32_t>((l.tm_year - 80) << 25 | (l.tm_mon + 1) << 21 | l.tm_mday << 16 | l.tm_hour << 11 |
                                 l.tm_min << 5 | l.tm_sec / 2);
}

void Walk(const std::string& root, const std::string& rel, std::vector<Item>& items, std::string& stream) {
    std::vector<std::string> names;
    DIR* d = opendir((root + "/" + rel).c_str());
    if (!d) return;
    for (dirent* e; (e = readdir(d));)
        if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        std::string r = rel.empty() ? n : rel + "/" + n, full = root + "/" + r;
        struct stat st;
        if (lstat(full.c_str(), &st) || !(S_ISDIR(st.st_mode) || S_ISREG(st.st_mode))) continue;
        Item it{r, Utf16(r), S_ISDIR(st.st_mode), stream.size(), 0, DosTime(st.st_mtime)};
        if (!it.folder) {
            FILE* f = fopen(full.c_str(), "rb");
            if (!f) continue;
            char buffer[1 << 16];
            for (size_t got; (got = fread(buffer, 1, sizeof(buffer), f)) > 0;) stream.append(buffer, got);
            fclose(f);
            it.size = stream.size() - it.offset;
        }
        items.push_back(it);
        if (it.folder) Walk(root, r, items, stream);
    }
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double ProcessorSeconds() {
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

uint32_t ReadString(void* context, uint64_t offset, void* buffer, uint32_t size) {
    const std::string& s = *static_cast<const std::string*>(context);
    if (offset > s.size() || size > s.size() - offset) return PayloadInvalid;
    memcpy(buffer, s.data() + offset, size);
    return PayloadOk;
}

void* Allocate(void*, uint32_t size) { return malloc(size ? size : 1); }

// Every entry read back through the reader and compared with the tree.
bool Verify(const std::string& payload, const std::vector<Item>& items, const std::string& stream) {
    static std::vector<uint8_t> decoder(FrameDecoderSize());
    PayloadSource src = {ReadString, const_cast<std::string*>(&payload), 0, payload.size(), nullptr, nullptr, 0,
                         UnpackFrame, MakeFrameDecoder(decoder.data(), decoder.size()), Allocate};
    PayloadReader r;
    SettingsRecord record;
    static Utf16Char cmd[CmdParametersSize], folder[CustomFolderSize], name[MaxNameUnits + 1];
    uint32_t code = r.Open(src, record, cmd, folder);
    if (code || !r.Compact()) return fprintf(stderr, "compact_payload: open: %u\n", code), false;
    uint8_t dummy;
    for (size_t i = 0;; ++i) {
        PayloadEntry e;
        bool done;
        if ((code = r.NextEntry(e, name, MaxNameUnits + 1, done))) return fprintf(stderr, "entry: %u\n", code), false;
        if (done) return i == items.size();
        if (i >= items.size() || name != items[i].name || e.DataSize != items[i].size) return false;
        uint64_t at = items[i].offset;
        for (PayloadPiece p;;) {
            if ((code = r.NextPiece(&dummy, p))) return fprintf(stderr, "piece: %u\n", code), false;
            if (!p.PlainLength) break;
            if (memcmp(p.Plain, stream.data() + at, p.PlainLength)) return false;
            r.AddPlain(p.Plain, p.PlainLength);
            at += p.PlainLength;
        }
        if ((code = r.EndEntry(true))) return fprintf(stderr, "end: %u\n", code), false;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: compact_payload TREE OUT [--frame BYTES] [--level L] [--window LOG] [--chain LOG] "
                        "[--long] [--threads N] [--verify]\n");
        return 2;
    }
    FrameSettings settings = CompactSettings;
    uint32_t frameSize = CompactFrameSize;
    int threads = 2;
    bool verify = false;
    for (int i = 3; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() { return i + 1 < argc ? atol(argv[++i]) : 0; };
        if (a == "--frame") frameSize = static_cast<uint32_t>(next());
        else if (a == "--level") settings.level = static_cast<int>(next());
        else if (a == "--window") settings.windowLog = static_cast<int>(next());
        else if (a == "--chain") settings.chainLog = static_cast<int>(next());
        else if (a == "--long") settings.longMatches = true;
        else if (a == "--threads") threads = static_cast<int>(next());
        else if (a == "--verify") verify = true;
        else return fprintf(stderr, "compact_payload: unknown option %s\n", a.c_str()), 2;
    }
    if (!frameSize || frameSize > MaxFrameSize || threads < 1) return fprintf(stderr, "compact_payload: bad option\n"), 2;

    std::vector<Item> items;
    std::string stream;
    Walk(argv[1], "", items, stream);

    auto start = std::chrono::steady_clock::now();
    double cpuStart = ProcessorSeconds();
    // The frames on the threads, each taking the next one free; the bytes do not depend on which.
    uint64_t frames = FrameCount(stream.size(), frameSize);
    std::vector<std::string> packed(frames);
    std::atomic<uint64_t> nextFrame(0);
    std::atomic<bool> failed(false);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&]() {
            FramePacker packer(settings);
            for (uint64_t k; (k = nextFrame++) < frames;) {
                uint64_t at = k * frameSize, n = std::min<uint64_t>(frameSize, stream.size() - at);
                if (!packer.Pack(stream.data() + at, n, packed[k])) failed = true;
            }
        });
    for (std::thread& w : workers) w.join();

    std::string directory;
    for (const Item& it : items) {
        std::string stored = StoredName(it.name.data(), it.name.size());
        uint32_t sum = ByteSum(stored.data(), static_cast<uint32_t>(stored.size()));
        for (uint64_t at = it.offset, end = it.offset + it.size; at < end;) {
            uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(end - at, 1u << 30));
            sum = ByteSum(stream.data() + at, n, sum);
            at += n;
        }
        directory += EncodeDirectoryEntry(EntryOrdinary, stored, it.size, it.time, it.folder ? 0x10 : 0x20, sum);
    }
    std::string packedDirectory;
    if (failed || !FramePacker(settings).Pack(directory.data(), directory.size(), packedDirectory))
        return fprintf(stderr, "compact_payload: zstd failed\n"), 1;
    SettingsRecord record;
    memset(&record, 0, sizeof(record));
    memcpy(record.InstanceName, "00C0FFEE42", 10);
    record.Compressed = 1;
    CompactLayout layout = {frameSize, stream.size(), static_cast<uint32_t>(directory.size()),
                            static_cast<uint32_t>(packedDirectory.size()),
                            ByteSum(directory.data(), static_cast<uint32_t>(directory.size()))};
    std::string payload = EncodeCompactStart(record, nullptr, 0, nullptr, 0, layout) + packedDirectory;
    for (uint64_t k = 0; k < frames; ++k)
        payload += EncodeFrameHeader(static_cast<uint32_t>(std::min<uint64_t>(frameSize, stream.size() - k * frameSize)),
                                     static_cast<uint32_t>(packed[k].size())) +
                   packed[k];
    double wall = Seconds(start), cpu = ProcessorSeconds() - cpuStart;

    FILE* out = fopen(argv[2], "wb");
    if (!out || fwrite(payload.data(), 1, payload.size(), out) != payload.size() || fclose(out))
        return fprintf(stderr, "compact_payload: cannot write %s\n", argv[2]), 1;
    printf("files %zu plain %zu payload %zu directory %zu/%zu wall %.2f cpu %.2f", items.size(), stream.size(),
           payload.size(), directory.size(), packedDirectory.size(), wall, cpu);
    if (verify) {
        auto v = std::chrono::steady_clock::now();
        bool ok = Verify(payload, items, stream);
        printf(" read %.2f %s", Seconds(v), ok ? "verified" : "DIFFERS");
        if (!ok) return printf("\n"), 1;
    }
    printf("\n");
    return 0;
}
