// The builder's main window (class Tfquillet): every build setting in its controls, saved in
// the registry between runs, and the Create SFX button.
#pragma once
#include <string>

#include "u_settings.h"
#include "ui/form.h"

class Tfquillet : public ui::Form {
public:
    // startup: the settings and flags of the command line; complete, they fill the window and
    // start the build once it is shown.
    explicit Tfquillet(const StartupSettings& startup);

    // The settings held in the radio buttons, whether enabled or not.
    std::wstring GetIconFile() const;
    uint8_t GetExtractionMode() const;
    uint8_t GetExtractionFolder() const;
    uint8_t GetWorkingDirectory() const;
    uint8_t GetDeleteMode() const;
    uint8_t GetUACAutoElevation() const;
    uint8_t GetOverwriteMode() const;
    // Every setting as the controls hold it now.
    BuildSettings GatherSettings() const;
    std::wstring Text(const char* name) const;  // an edit's text

protected:
    void OnCreate() override;
    void OnShow() override;
    void OnCommand(int id, int code) override;
    bool OnKeyDown(WPARAM key, HWND target) override;
    void OnCloseRequest() override;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void FillFromCommandLine(const BuildSettings& s);
    void FitWebAddress();
    void LoadSettings();
    void CheckCode(const char* const* radios, int count, unsigned code);
    void SetExtractionMode(bool run);
    void rbiconClick(bool sender);
    void rbextractionmodeClick(bool sender);
    void rbextractionfolderClick(bool sender);
    void rbuacautoelevationClick(bool sender);
    void bmakeClick();
    void bsourceClick();
    void btargetClick();
    void BrowseFile(const char* edit, const wchar_t* filter, int& filterIndex);
    void benvvarsClick();
    StartupSettings startup_;
    bool visible_ = false;
    int targetFilterIndex_ = 1, exeFilterIndex_ = 1, iconFilterIndex_ = 1;
};

// Creates the main window and runs the message loop until the application ends.
void RunMainWindow(const StartupSettings& startup);
