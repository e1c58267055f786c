// The builder's entry: load the payloads, read the command line, build or open the window.
#include <windows.h>

#include "f_quillet.h"
#include "u_build.h"
#include "u_dialogs.h"
#include "u_random.h"
#include "u_resources.h"
#include "u_settings.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    AboutPageName = "quillet";
    if (!LoadEmbeddedResources()) {
        ShowErrorMessage(L"Internal error\r\nThe program is corrupted");
        ExitProcess(0);
    }
    SeedRandom();
    g_Startup = ReadStartupSettings();

    if (g_Startup.flags.HideWindow) {
        // Windowless: build when the command line is complete, end in every case.
        if (g_Startup.flags.CommandLineComplete) {
            BuildSettings settings = g_Startup.settings;
            if (ValidateSettings(settings, 1)) BuildSfx(settings, 1);
        }
        return 0;
    }
    RunMainWindow();
    return 0;
}
