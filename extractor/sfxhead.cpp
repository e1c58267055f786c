// sfxhead: the extractor that heads every SFX file.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ExitProcess(0);
}
