// The progress window (class Tfprogress): runs one build of the main window's settings with
// two progress bars, the current file and a cancel button.
#pragma once
#include "u_build.h"
#include "ui/form.h"

class Tfprogress : public ui::Form {
public:
    Tfprogress();
    // Shows the window modally over owner and runs the build: IDOK when it finished,
    // IDCANCEL when it was cancelled or failed.
    int Run(HWND owner);

protected:
    void OnShow() override;
    void OnCommand(int id, int code) override;
    void OnCloseRequest() override {}  // only the end of the build closes it
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Build();
    ProgressControls controls_{};
};
