#include "u_sfxtarget.h"

#include "u_errors.h"
#include "u_paths.h"
#include "u_payloadwrite.h"

namespace {

const uint32_t BufferSize = 65536;

// FNV-1a, 64 bits: a name for the file's bytes, not a protection of them.
const uint64_t DigestStart = 0xCBF29CE484222325ull, DigestPrime = 0x100000001B3ull;

uint64_t Digest(uint64_t h, const void* data, uint32_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    for (uint32_t i = 0; i < n; ++i) h = (h ^ p[i]) * DigestPrime;
    return h;
}

void ForceDirectories(const std::wstring& dir) {
    if (dir.empty()) throw BuildError("DirectoryError", L"Unable to create directory");
    if (DirectoryExists(dir)) return;
    std::wstring parent = ExtractFileDir(dir);
    if (!parent.empty() && parent != dir) ForceDirectories(parent);
    if (!CreateDirectoryW(ApiPath(dir).c_str(), nullptr) && !DirectoryExists(dir))
        ThrowFileError("DirectoryError", L"Unable to create directory", dir);
}

// A file of a fresh name in the target's folder, created by us (so never a source file, and never
// in the item list, which is collected before). The name is made here, not by GetTempFileName,
// which takes only short folders.
HANDLE CreateFresh(const std::wstring& target, std::wstring& path, DWORD access = GENERIC_WRITE,
                   DWORD flags = FILE_ATTRIBUTE_NORMAL) {
    std::wstring dir = AddTrailingDelimiter(ExtractFileDir(target));
    DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
    for (DWORD attempt = 0; attempt < 0x10000; ++attempt) {
        wchar_t name[16];
        wsprintfW(name, L"~qt%04X.tmp", (seed + attempt) & 0xFFFF);
        std::wstring api = ApiPath(dir + name);
        HANDLE h = CreateFileW(api.c_str(), access, 0, nullptr, CREATE_NEW, flags, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            path = api;
            return h;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    ThrowFileError("CreateError", L"Cannot create file", target);
}

}  // namespace

SfxTarget::SfxTarget(const std::wstring& target, const std::wstring& targetApi, const ResourceData& extractor)
    : target_(target), targetApi_(targetApi) {
    ForceDirectories(ExtractFileDir(target));
    HANDLE file = CreateFresh(target, path_);
    DWORD written = 0;
    BOOL ok = WriteFile(file, extractor.bytes, extractor.size, &written, nullptr);
    CloseHandle(file);
    if (!ok || written != extractor.size) ThrowFileError("WriteError", L"Cannot write file", target_);
}

SfxTarget::~SfxTarget() {
    Close();
    if (!path_.empty()) ForceDeleteFile(path_);
}

void SfxTarget::OpenForAppend(bool digest) {
    handle_ = CreateFileW(path_.c_str(), GENERIC_WRITE | (digest ? GENERIC_READ : 0), FILE_SHARE_READ, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) ThrowFileError("OpenError", L"Cannot open file", target_);
    buffer_.resize(BufferSize);
    digesting_ = digest;
    digest_ = DigestStart;
    size_ = 0;
    // The program as the resource edits left it.
    for (DWORD got = 0; digest; size_ += got) {
        if (!ReadFile(handle_, buffer_.data(), BufferSize, &got, nullptr))
            ThrowFileError("ReadError", L"Cannot read file", target_);
        if (!got) break;
        digest_ = ::Digest(digest_, buffer_.data(), got);
    }
    LARGE_INTEGER zero = {}, end;
    if (!SetFilePointerEx(handle_, zero, &end, FILE_END)) ThrowFileError("WriteError", L"Cannot write file", target_);
    size_ = static_cast<uint64_t>(end.QuadPart);
}

void SfxTarget::Write(const void* data, uint32_t n) {
    // Small writes are gathered, large ones (a chunk) go straight through.
    if (used_ + n > BufferSize || n >= BufferSize / 2) Flush();
    if (n >= BufferSize / 2) {
        Put(data, n);
    } else {
        memcpy(buffer_.data() + used_, data, n);
        used_ += n;
    }
}

void SfxTarget::Write32(uint32_t v) {
    uint8_t b[4];
    PutLE32(b, v);
    Write(b, 4);
}

void SfxTarget::Flush() {
    uint32_t n = used_;
    used_ = 0;
    if (n) Put(buffer_.data(), n);
}

void SfxTarget::CheckRoom(uint64_t more) const {
    if (Size() + more >= SfxSizeLimit)
        throw BuildError("SfxTooLarge", L"Cannot write file \"" + target_ +
                                            L"\". An SFX file of 4 GB (4,294,967,296 bytes) or more cannot "
                                            L"run: Windows starts no program file that large.");
}

void SfxTarget::Put(const void* data, uint32_t n) {
    CheckRoom(n);
    size_ += n;
    if (digesting_) digest_ = ::Digest(digest_, data, n);
    DWORD written = 0;
    if (!WriteFile(handle_, data, n, &written, nullptr) || written != n)
        ThrowFileError("WriteError", L"Cannot write file", target_);
}

void SfxTarget::Overwrite(uint64_t offset, const void* data, uint32_t n) {
    LARGE_INTEGER at, end = {};
    at.QuadPart = static_cast<LONGLONG>(offset);
    DWORD written = 0;
    if (!SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN) || !WriteFile(handle_, data, n, &written, nullptr) ||
        written != n || !SetFilePointerEx(handle_, end, nullptr, FILE_END))
        ThrowFileError("WriteError", L"Cannot write file", target_);
}

void SfxTarget::Close() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}

void SfxTarget::Commit() {
    Flush();
    Close();
    if (!MoveFileExW(path_.c_str(), targetApi_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        ThrowFileError("WriteError", L"Cannot write file", target_);
    path_.clear();
}

void SfxTarget::Discard() {
    Close();
    ForceDeleteFile(path_);
    path_.clear();
}

SfxSpool::SfxSpool(const SfxTarget& target) : target_(target.Target()) {
    std::wstring path;
    handle_ = CreateFresh(target_, path, GENERIC_READ | GENERIC_WRITE,
                          FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE);
}

SfxSpool::~SfxSpool() { CloseHandle(handle_); }

void SfxSpool::Write(const void* data, uint32_t n) {
    DWORD written = 0;
    if (!WriteFile(handle_, data, n, &written, nullptr) || written != n)
        ThrowFileError("WriteError", L"Cannot write file", target_);
    size_ += n;
}

void SfxSpool::CopyTo(SfxTarget& out) {
    out.CheckRoom(size_);
    LARGE_INTEGER zero = {};
    if (!SetFilePointerEx(handle_, zero, nullptr, FILE_BEGIN)) ThrowFileError("ReadError", L"Cannot read file", target_);
    std::vector<uint8_t> block(1 << 20);
    for (uint64_t left = size_; left;) {
        DWORD want = static_cast<DWORD>(std::min<uint64_t>(left, block.size())), got = 0;
        if (!ReadFile(handle_, block.data(), want, &got, nullptr) || got != want)
            ThrowFileError("ReadError", L"Cannot read file", target_);
        out.Write(block.data(), got);
        left -= got;
    }
}
