// The payload of an SFX file in one container form: the settings record and what the form puts
// after it, the entries in the plan's order, the end. The classic stream writes the original and
// the extended form; another form comes in as another PayloadStream.
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
