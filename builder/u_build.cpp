#include "u_build.h"

#include "u_dialogs.h"
#include "u_entries.h"
#include "u_errors.h"
#include "u_messages.h"
#include "u_pack.h"
#include "u_paths.h"
#include "u_random.h"
#include "u_resedit.h"
#include "u_resources.h"
#include "u_sfxtarget.h"

namespace {

// Ten upper-case hexadecimal digits of a number below 0x7FFFFFFF.
void FormatInstanceName(uint32_t number, char (&name)[InstanceNameSize]) { wsprintfA(name, "%010X", number); }

// The record with this InstanceName, the self-delete helper, the items while the stream wants
// them, the end.
void WritePayload(const BuildPlan& plan, SfxTarget& out, BuildProgress* progress, const char* instanceName) {
    // After the writer: an escaping error stops the workers before the file closes.
    ChunkPipeline pipeline(BuildThreadCount(plan.form == PayloadForm::Compact));
    std::unique_ptr<PayloadStream> payload = OpenPayloadStream(plan, out, pipeline, progress);
    payload->Start(instanceName);
    if (plan.settings.SelfDeleteMode) payload->SelfDeleteEntry(EmbeddedResources.selfdelete);
    for (const tfile& item : plan.items) {
        if (!payload->WantsMore()) break;
        payload->Entry(item);
    }
    payload->Finish();
    pipeline.Stop();
}

}  // namespace

bool BuildSfx(const BuildSettings& settings, const StartupFlags& flags, BuildProgress* progress) {
    BuildPlan plan = PlanPaths(settings);
    if (progress) progress->Begin(plan.settings.Target);
    WalkSource(plan);
    // Validation refused these already; a tree that changed since is refused here, never stored
    // under another name, nor with what lies outside the source folder.
    if (plan.refusal.reason != LinkRefusal::None) throw BuildError("LinkError", LinkRefusalText(plan));
    if (const tfile* item = FirstUnstorableItem(plan)) {
        SetLastError(item->Unencodable ? ERROR_NO_UNICODE_TRANSLATION : ERROR_FILENAME_EXCED_RANGE);
        ThrowFileError("NameError", L"Cannot store file", plan.settings.Source + item->Name);
    }

    const ResourceData& extractor =
        plan.form == PayloadForm::Compact ? EmbeddedResources.sfxheadCompact : EmbeddedResources.sfxhead;
    SfxTarget out(plan.settings.Target, plan.targetApi, extractor);
    EditTargetResources(plan, flags.IconVersionInfo, out.Path());
    // A reproducible build writes the InstanceName as zeros and derives it from the finished file.
    out.OpenForAppend(flags.Reproducible);
    uint64_t record = out.Size();
    char name[InstanceNameSize] = {};
    if (!flags.Reproducible) FormatInstanceName(RandomBelow(0x7FFFFFFF), name);
    WritePayload(plan, out, progress, name);

    if (progress && progress->CancelRequested()) {
        out.Discard();
        ShowWarningMessage(IsFileAt(plan.targetApi) ? msg::CancelledKept : msg::CancelledNone);
        return false;
    }
    if (flags.Reproducible) {
        out.Flush();
        FormatInstanceName(static_cast<uint32_t>(out.Digest() % 0x7FFFFFFF), name);
        out.Overwrite(record + OffInstanceName, name, InstanceNameSize - 1);
    }
    out.Commit();
    if (flags.ShowSuccessMessage) ShowInfoMessage(msg::Created);
    return true;
}
