// The builder's entry: load the payloads, read the command line, build or open the window.
#include <windows.h>

#include <new>

#include "f_quillet.h"
#include "u_build.h"
#include "u_dialogs.h"
#include "u_errors.h"
#include "u_random.h"
#include "u_resources.h"
#include "u_settings.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    AboutPageName = L"quillet";
    if (!LoadEmbeddedResources()) {
        ShowErrorMessage(L"Internal error\r\nThe program is corrupted");
        ExitProcess(0);
    }
    SeedRandom();
    g_Startup = ReadStartupSettings();

    if (g_Startup.flags.HideWindow) {
        // Windowless: build when the command line is complete, end in every case.
        // An error that escapes the build ends the process with code 1; the previous
        // target, if any, is left as it was.
        if (g_Startup.flags.CommandLineComplete) {
            try {
                if (ValidateSettings(g_Startup.settings, 1)) BuildSfx(g_Startup.settings, 1);
            } catch (const BuildError& e) {
                ShowApplicationError(AnsiToWide(e.Kind()) + L": " + e.Message());
                ExitProcess(1);
            } catch (const std::bad_alloc&) {
                ShowApplicationError(L"OutOfMemory: " + SystemMessage(ERROR_NOT_ENOUGH_MEMORY));
                ExitProcess(1);
            }
        }
        return 0;
    }
    RunMainWindow();
    return 0;
}
