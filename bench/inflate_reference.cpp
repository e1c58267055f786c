// The reference of the extraction benchmark: reads an SFX file's entries and, for each file,
// inflates its chunks with zlib's uncompress or with libdeflate and writes them, nothing else
// (no checks, times or attributes).
//   inflate_reference <sfx file> <output folder> [libdeflate]
#include <windows.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstdio>
#include <memory>
#include <string>

#include "containerbytes.h"

int main(int argc, char** argv) {
    if (argc != 3 && !(argc == 4 && std::string(argv[3]) == "libdeflate")) return 2;
    libdeflate_decompressor* inflater = argc == 4 ? libdeflate_alloc_decompressor() : nullptr;
    HANDLE in = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                            nullptr);
    if (in == INVALID_HANDLE_VALUE) return 1;
    auto read = [&](void* p, DWORD n) {
        DWORD got = 0;
        return ReadFile(in, p, n, &got, nullptr) && got == n;
    };
    // The payload starts after the last section's raw data.
    IMAGE_DOS_HEADER dos;
    IMAGE_NT_HEADERS nt;  // only its file header is read: PE32 and PE32+ alike
    read(&dos, sizeof(dos));
    SetFilePointer(in, dos.e_lfanew, nullptr, FILE_BEGIN);
    read(&nt, sizeof(nt));
    SetFilePointer(in, dos.e_lfanew + 24 + nt.FileHeader.SizeOfOptionalHeader, nullptr, FILE_BEGIN);
    DWORD end = 0;
    for (int i = 0; i < nt.FileHeader.NumberOfSections; ++i) {
        IMAGE_SECTION_HEADER s;
        read(&s, sizeof(s));
        if (s.SizeOfRawData && s.PointerToRawData + s.SizeOfRawData > end) end = s.PointerToRawData + s.SizeOfRawData;
    }
    SetFilePointer(in, end + SettingsRecordSize, nullptr, FILE_BEGIN);
    std::string root = argv[2];
    if (root.back() != '\\') root += '\\';
    CreateDirectoryA(root.c_str(), nullptr);
    std::unique_ptr<uint8_t[]> packed(new uint8_t[MaxPackedChunk]), plain(new uint8_t[ChunkSize]);
    long long bytes = 0;
    for (;;) {
        uint8_t h[EntryHeaderSize];
        if (!read(h, EntryHeaderSize)) break;
        EntryHeader e = DecodeEntryHeader(h);
        if (IsTerminator(e)) break;
        char name[1024];
        read(name, e.NameLength);
        name[e.NameLength] = 0;
        std::string path = root + name;
        if (e.Attributes & FolderAttribute) {
            CreateDirectoryA(path.c_str(), nullptr);
        } else {
            HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            for (int32_t done = 0; done < e.DataSize;) {
                uint8_t c[ChunkHeaderSize];
                read(c, ChunkHeaderSize);
                ChunkHeader ch = DecodeChunkHeader(c);
                read(packed.get(), ch.PackedLength);
                uLongf length = ch.PlainLength;
                if (inflater) {
                    size_t produced = 0;
                    libdeflate_zlib_decompress(inflater, packed.get(), ch.PackedLength, plain.get(), ch.PlainLength,
                                               &produced);
                    length = produced;
                } else {
                    uncompress(plain.get(), &length, packed.get(), ch.PackedLength);
                }
                DWORD written;
                WriteFile(out, plain.get(), length, &written, nullptr);
                done += ch.PlainLength;
                bytes += length;
            }
            CloseHandle(out);
        }
        uint8_t sum[4];
        read(sum, 4);
    }
    CloseHandle(in);
    std::printf("%lld\n", bytes);
    return 0;
}
