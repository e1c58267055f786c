// selfdelete: removes an SFX file once the extractor that ran from it has ended.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ExitProcess(0);
}
