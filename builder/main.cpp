// The builder's entry: load the payloads, read the command line, build or open the window.
#include <windows.h>

#include "f_quillet.h"
#include "u_build.h"
#include "u_dialogs.h"
#include "u_random.h"
#include "u_resources.h"
#include "u_settings.h"
#include "u_testfault.h"
#include "ui/form.h"

namespace {

bool EnvironmentSet(const wchar_t* name) {
    wchar_t first[2];
    return GetEnvironmentVariableW(name, first, 2) > 0;
}

// Windowless: every exception of the build ends here, in the "Application Error" box, and the
// process with exit code 1; the previous target, if any, is left as it was.
int BuildWindowless(const StartupSettings& startup) {
    try {
        if (ValidateSettings(startup.settings, startup.flags)) BuildSfx(startup.settings, startup.flags, nullptr);
        return 0;
    } catch (...) {
        ShowException(std::current_exception(), true);
        return 1;
    }
}

// The windows' last resort: an exception no handler caught is shown, and the program goes on.
void ShowEscapedException(std::exception_ptr error) { ShowException(error, false); }

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    AboutPageName = L"quillet";
    if (!LoadEmbeddedResources()) {
        ShowErrorMessage(L"Internal error\r\nThe program is corrupted");
        ExitProcess(0);
    }
    SeedRandom();
    ReadTestFault();
    StartupSettings startup = ReadStartupSettings();
    startup.flags.Reproducible = EnvironmentSet(L"SOURCE_DATE_EPOCH");

    // Windowless: build when the command line is complete, end in every case.
    if (startup.flags.HideWindow) return startup.flags.CommandLineComplete ? BuildWindowless(startup) : 0;
    ui::SetExceptionHandler(ShowEscapedException);
    RunMainWindow(startup);
    return 0;
}
