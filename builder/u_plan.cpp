#include "u_plan.h"

#include "u_dialogs.h"
#include "u_messages.h"
#include "u_payload.h"
#include "u_paths.h"

namespace {

bool HasCodePageForm(const std::wstring& text) {
    std::string bytes;
    return ToCodePage(text, bytes);
}

bool IsStorable(const std::wstring& text) { return IsStorableUtf16(text.data(), text.size()); }

// The compact form when asked for; else the original form holds the tree unless a name, a text in
// use or a file size needs more.
PayloadForm FormOf(const BuildSettings& s, const std::vector<tfile>& items) {
    if (s.Compact) return PayloadForm::Compact;
    bool wide = (s.ExtractionMode == 1 && !HasCodePageForm(s.CmdParameters)) ||
                (s.ExtractionFolder == 5 && !HasCodePageForm(s.CustomFolder));
    uint64_t largest = 0;
    for (const tfile& item : items) {
        wide = wide || item.NoCodePageForm;
        largest = std::max(largest, static_cast<uint64_t>(item.Size));
    }
    return FormFor(wide, largest);
}

bool ShowError(const wchar_t* text, std::initializer_list<std::wstring> args) {
    ShowErrorMessage(FormatText(text, args));
    return false;
}

}  // namespace

void NormalisePaths(BuildSettings& s) {
    s.Source = AddTrailingDelimiter(FullPath(Trim(s.Source)));
    s.Target = FullPath(Trim(s.Target));
    s.ExecutableFile = FullPath(Trim(s.ExecutableFile));
    s.CmdParameters = Trim(s.CmdParameters);
    s.CustomFolder = AddTrailingDelimiter(Trim(s.CustomFolder));
}

BuildPlan PlanPaths(const BuildSettings& settings) {
    BuildPlan plan;
    BuildSettings& s = plan.settings;
    s = settings;
    NormalisePaths(s);
    plan.icon = Trim(s.Icon);
    plan.sourceApi = ApiPath(s.Source);
    plan.targetApi = ApiPath(s.Target);
    plan.iconApi = ApiPath(plan.icon);
    plan.executableApi = ApiPath(s.ExecutableFile);
    return plan;
}

void WalkSource(BuildPlan& plan) {
    plan.items.clear();
    plan.refusal = CollectItems(plan.settings.Source, plan.items);
    plan.totalSize = 0;
    for (const tfile& item : plan.items) plan.totalSize += item.Size;
    plan.form = FormOf(plan.settings, plan.items);
    if (plan.form != PayloadForm::Original)
        for (tfile& item : plan.items) item.Stored = StoredName(item.Name.data(), item.Name.size());
}

std::wstring LinkRefusalText(const BuildPlan& plan) {
    const LinkRefusal& r = plan.refusal;
    const wchar_t* text = r.reason == LinkRefusal::Loop      ? msg::LinkLoop
                          : r.reason == LinkRefusal::Outside ? msg::LinkOutside
                                                             : msg::LinkUnresolved;
    return FormatText(text, {plan.settings.Source + r.link, r.target});
}

const tfile* FirstUnstorableItem(const BuildPlan& plan) {
    for (const tfile& item : plan.items)
        if (item.Unencodable || item.Name.size() > MaxNameUnits) return &item;
    return nullptr;
}

bool ValidateSettings(const BuildSettings& settings, const StartupFlags& flags) {
    BuildPlan plan = PlanPaths(settings);
    const BuildSettings& s = plan.settings;
    if (!IsFolderAt(plan.sourceApi)) return ShowError(msg::SourceMissing, {s.Source});
    if (!plan.icon.empty() && !IsFileAt(plan.iconApi)) return ShowError(msg::IconMissing, {s.Icon});
    if (s.ExtractionMode == 1) {
        if (!IsFileAt(plan.executableApi)) return ShowError(msg::ExecutableMissing, {s.ExecutableFile});
        if (!StartsText(s.Source, s.ExecutableFile))
            return ShowError(msg::ExecutableOutside, {s.ExecutableFile, s.Source});
    }
    // Every text in use and every name is stored as it is, in the code page or in UTF-16; only a
    // lone surrogate has no form at all. The extractor takes names up to MaxNameUnits long.
    if (s.ExtractionMode == 1 && !IsStorable(s.CmdParameters))
        return ShowError(msg::TextNotStorable, {msg::CmdParametersField, s.CmdParameters});
    if (s.ExtractionFolder == 5 && !IsStorable(s.CustomFolder))
        return ShowError(msg::TextNotStorable, {msg::CustomFolderField, s.CustomFolder});
    WalkSource(plan);
    if (plan.refusal.reason != LinkRefusal::None) {
        ShowErrorMessage(LinkRefusalText(plan));
        return false;
    }
    if (const tfile* item = FirstUnstorableItem(plan))
        return ShowError(item->Unencodable ? msg::NameNotStorable : msg::NameTooLong, {s.Source + item->Name});
    if (!flags.OverwriteTargetSilently && IsFileAt(plan.targetApi) && !AskConfirmation(msg::TargetExists, false))
        return false;
    return true;
}
