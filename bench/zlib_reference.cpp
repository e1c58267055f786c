// The references of the build benchmark: the same folder walk, the same 9 MiB chunks, each
// compressed on one thread with zlib's compress2 at level 9 or with libdeflate at a level,
// every packed chunk written to one output file. Nothing else.
//   zlib_reference <source folder> <output file> [libdeflate:LEVEL]
#include <windows.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

HANDLE out;
libdeflate_compressor* deflater;  // null: zlib
std::unique_ptr<unsigned char[]> plain(new unsigned char[0x900000]);
long long plainBytes = 0, packedBytes = 0;

void Pack(const std::string& path, DWORD size) {
    HANDLE in = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (in == INVALID_HANDLE_VALUE) return;
    for (DWORD done = 0; done < size;) {
        DWORD n = size - done < 0x900000 ? size - done : 0x900000, got = 0, written = 0;
        ReadFile(in, plain.get(), n, &got, nullptr);
        uLongf length = deflater ? libdeflate_zlib_compress_bound(deflater, n) : compressBound(n);
        std::unique_ptr<unsigned char[]> packed(new unsigned char[length]);
        if (deflater)
            length = libdeflate_zlib_compress(deflater, plain.get(), n, packed.get(), length);
        else
            compress2(packed.get(), &length, plain.get(), n, 9);
        WriteFile(out, packed.get(), length, &written, nullptr);
        plainBytes += n;
        packedBytes += length;
        done += n;
    }
    CloseHandle(in);
}

void Walk(const std::string& dir) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "*.*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            Walk(dir + name + "\\");
        else
            Pack(dir + name, fd.nFileSizeLow);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) return 2;
    if (argc == 4) {
        if (std::strncmp(argv[3], "libdeflate:", 11) != 0) return 2;
        deflater = libdeflate_alloc_compressor(std::atoi(argv[3] + 11));
        if (!deflater) return 2;
    }
    out = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    std::string source = argv[1];
    if (source.back() != '\\') source += '\\';
    Walk(source);
    CloseHandle(out);
    std::printf("%lld %lld\n", plainBytes, packedBytes);
    return 0;
}
