// What a build shows while it runs, and how it learns of a cancel. The progress window implements
// it; a windowless build has none (null): it shows nothing and is never cancelled.
#pragma once
#include <cstdint>
#include <string>

class BuildProgress {
public:
    // The build begins with the target it writes; the source folder is walked next.
    virtual void Begin(const std::wstring& target) = 0;
    // The packing of a source file (its full path) begins.
    virtual void FileStarted(const std::wstring& path) = 0;
    // doneInFile of the fileSize bytes of the current file are written, done of the total bytes
    // of all files.
    virtual void Report(int64_t doneInFile, int64_t fileSize, int64_t done, int64_t total) = 0;
    // Lets pending window messages through while the build waits; the three calls above do so too.
    // The cancel button acts here.
    virtual void Pump() = 0;
    virtual bool CancelRequested() const = 0;

protected:
    ~BuildProgress() = default;
};
