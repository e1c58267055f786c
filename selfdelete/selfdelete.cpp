// selfdelete: removes an SFX file once the extractor that ran from it has ended.
//   selfdelete "<file>"
// The extractor passes its path in the \\?\ form when it is long, so the path is used as given.
// It retries the deletion for at least 20 seconds (the file stays in use until
// the extractor has exited), shows nothing and always ends with exit code 0.
#include <windows.h>

#include "u_args.h"
#include "u_dllsearch.h"

extern "C" __attribute__((noreturn)) void __stdcall HelperEntry() {
    RestrictDllSearch();
    static wchar_t path[32768];
    const wchar_t* p = GetCommandLineW();
    NextArg(p, path, 32768);  // the helper itself
    if (NextArg(p, path, 32768) && path[0]) {
        DWORD attributes = GetFileAttributesW(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            for (int attempt = 0; attempt < 1000; ++attempt) {
                SetFileAttributesW(path, 0);
                if (DeleteFileW(path)) break;
                Sleep(20);
            }
        }
    }
    ExitProcess(0);
}
