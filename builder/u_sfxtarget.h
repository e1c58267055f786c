// The writer of an SFX file. The file is made beside the target under a fresh name and holds the
// extractor's bytes; its resources are edited there, then the payload is appended through a
// buffer. Only once complete does it replace the target, in one step: until then the target stays
// as it was, and the fresh file is deleted when the writer goes (a failure, a cancel). No SFX file
// reaches 4 GiB, because Windows starts no program file that large.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

#include "u_resources.h"

class SfxTarget {
public:
    // Creates the target's folder and the fresh file with the extractor's bytes. target names the
    // file in messages; targetApi is its API form (ApiPath).
    SfxTarget(const std::wstring& target, const std::wstring& targetApi, const ResourceData& extractor);
    ~SfxTarget();
    SfxTarget(const SfxTarget&) = delete;
    SfxTarget& operator=(const SfxTarget&) = delete;

    // The fresh file, in API form: the resource edits work on it before OpenForAppend.
    const std::wstring& Path() const { return path_; }

    // Opens the fresh file for appending. With digest, every byte of the file from the first on
    // enters a digest: the program as edited and all that is appended.
    void OpenForAppend(bool digest);
    uint64_t Size() const { return size_ + used_; }
    void Write(const void* data, uint32_t n);
    void Write(const std::string& bytes) { Write(bytes.data(), static_cast<uint32_t>(bytes.size())); }
    void Write32(uint32_t v);
    // Writes what is buffered; the digest then covers every byte written.
    void Flush();
    uint64_t Digest() const { return digest_; }
    // Replaces n bytes written before (after Flush) at offset; they do not change the digest.
    void Overwrite(uint64_t offset, const void* data, uint32_t n);

    // The file named in messages.
    const std::wstring& Target() const { return target_; }
    // Refuses (SfxTooLarge) when more bytes would bring the file to 4 GiB.
    void CheckRoom(uint64_t more) const;

    // Closes the file and replaces the target with it; a target that cannot be replaced is a
    // write failure.
    void Commit();
    // Closes the file and deletes it.
    void Discard();

private:
    void Put(const void* data, uint32_t n);
    void Close();

    std::wstring target_, targetApi_, path_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    uint64_t size_ = 0;  // bytes in the file
    bool digesting_ = false;
    uint64_t digest_ = 0;
    std::vector<uint8_t> buffer_;
    uint32_t used_ = 0;
};

// Bytes kept aside until they can be appended to the SFX file: the compact form's frames, which
// come after the directory that only the last file completes. A file of a fresh name beside the
// target, which the system deletes when it is closed, whatever ends the build.
class SfxSpool {
public:
    explicit SfxSpool(const SfxTarget& target);
    ~SfxSpool();
    SfxSpool(const SfxSpool&) = delete;
    SfxSpool& operator=(const SfxSpool&) = delete;

    uint64_t Size() const { return size_; }
    void Write(const void* data, uint32_t n);
    // Appends every byte written to out.
    void CopyTo(SfxTarget& out);

private:
    std::wstring target_;
    HANDLE handle_;
    uint64_t size_ = 0;
};
