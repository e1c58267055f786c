// The payload of an SFX file in one container form: the settings record and what the form puts
// after it, the entries in the plan's order, the end. The classic stream writes the original and
// the extended form, the compact stream (u_compactstream.cpp) the compact form.
#pragma once
#include <memory>

#include "u_plan.h"
#include "u_resources.h"

class BuildProgress;
class ChunkPipeline;
class SfxTarget;

class PayloadStream {
public:
    virtual ~PayloadStream() = default;
    // The settings record with this InstanceName (ten characters), and what follows it.
    virtual void Start(const char* instanceName) = 0;
    // The self-delete helper's entry, from memory.
    virtual void SelfDeleteEntry(const ResourceData& helper) = 0;
    // False once no further item is wanted: a cancel was seen, or a failure waits in the queue.
    virtual bool WantsMore() const = 0;
    virtual void Entry(const tfile& item) = 0;
    // Writes everything still queued, then the end. The first failure in the file's order
    // escapes from here (or from the calls above, when it is due).
    virtual void Finish() = 0;
};

// The stream of the plan's form: it writes to out, packs on pipeline, shows progress and reads the
// cancel request through progress (null: none).
std::unique_ptr<PayloadStream> OpenPayloadStream(const BuildPlan& plan, SfxTarget& out, ChunkPipeline& pipeline,
                                                 BuildProgress* progress);

// What the streams share.
// The settings record with this InstanceName; its texts in the code page, or empty where they
// have no exact form there (the other forms carry them in UTF-16).
SettingsRecord MakeRecord(const BuildSettings& settings, const char* instanceName);
// A text for the extended and compact forms: as it is, or empty when it can't be stored (then it
// is not in use).
std::wstring StorableText(const std::wstring& text);
// A source file (its full path) opened for reading, closed when the holder goes; null with the
// last error set when it cannot be opened.
typedef std::unique_ptr<void, decltype(&CloseHandle)> SourceFile;
SourceFile OpenSourceFile(const std::wstring& full);
// Reads exactly n bytes; a file that ends early fails with ERROR_HANDLE_EOF.
bool ReadExactly(HANDLE file, uint8_t* buffer, uint32_t n);
// A source file's entry kind: the program run mode starts, or an ordinary file.
uint8_t FileEntryKind(const BuildSettings& settings, const std::wstring& full);
// The self-delete helper's name as the form stores it: code-page bytes in the original form,
// UTF-16LE in the others.
std::string HelperStoredName(PayloadForm form);
std::unique_ptr<PayloadStream> OpenCompactStream(const BuildPlan& plan, SfxTarget& out, ChunkPipeline& pipeline,
                                                 BuildProgress* progress);
