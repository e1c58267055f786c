// selfdelete: removes an SFX file once the extractor that ran from it has ended.
//   selfdelete "<file>"
// It retries the deletion for at least 20 seconds (the file stays in use until the
// extractor has exited), shows nothing and always ends with exit code 0.
#include <windows.h>

#include "u_args.h"
#include "u_dllsearch.h"

namespace {
bool IsLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }
}  // namespace

extern "C" __attribute__((noreturn)) void __stdcall HelperEntry() {
    RestrictDllSearch();
    static char path[32768];
    const char* p = GetCommandLineA();
    NextArg(p, path, sizeof(path), IsLeadByte);  // the helper itself
    if (NextArg(p, path, sizeof(path), IsLeadByte) && path[0]) {
        DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            for (int attempt = 0; attempt < 1000; ++attempt) {
                SetFileAttributesA(path, 0);
                if (DeleteFileA(path)) break;
                Sleep(20);
            }
        }
    }
    ExitProcess(0);
}
