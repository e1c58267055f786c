// The progress window (class Tfprogress): runs one build of the settings it is given, with two
// progress bars, the current file and a cancel button.
#pragma once
#include "u_progress.h"
#include "u_settings.h"
#include "ui/form.h"

class Tfprogress : public ui::Form, public BuildProgress {
public:
    Tfprogress(const BuildSettings& settings, const StartupFlags& flags);
    // Shows the window modally over owner and runs the build: IDOK when it finished, IDCANCEL
    // when it was cancelled or failed.
    int Run(HWND owner);

    // BuildProgress
    void Begin(const std::wstring& target) override;
    void FileStarted(const std::wstring& path) override;
    void Report(int64_t doneInFile, int64_t fileSize, int64_t done, int64_t total) override;
    void Pump() override;
    bool CancelRequested() const override { return cancelRequested_; }

protected:
    void OnShow() override;
    void OnCommand(int id, int code) override;
    void OnCloseRequest() override {}  // only the end of the build closes it
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Build();
    BuildSettings settings_;
    StartupFlags flags_;
    bool cancelRequested_ = false;
};
