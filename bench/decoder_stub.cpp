// A stub built like the extractor (no C runtime start-up, -Os, sections dropped, stripped), with
// and without the compact form's frame decoder (-DWITH_DECODER): the difference in size is what
// zstd's decoder adds to the compact extractor. Given a file that is one zstd frame and its plain
// length, it unpacks it and exits with the unpack code (0 when whole).
#include <windows.h>
#include <shellapi.h>

#include "u_payload.h"
#ifdef WITH_DECODER
#include "u_frames.h"
#endif

extern "C" __attribute__((noreturn)) void __stdcall StubEntry() {
    int argc = 0;
    WCHAR** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    static BYTE packed[1 << 20];
    DWORD got = 0;
    HANDLE f = argc == 3 ? CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)
                         : INVALID_HANDLE_VALUE;
    if (f == INVALID_HANDLE_VALUE || !ReadFile(f, packed, sizeof(packed), &got, nullptr)) ExitProcess(2);
    DWORD plainLength = 0;
    for (const WCHAR* p = argv[2]; *p >= '0' && *p <= '9'; ++p) plainLength = plainLength * 10 + (*p - '0');
    BYTE* plain = static_cast<BYTE*>(VirtualAlloc(nullptr, plainLength + 1, MEM_COMMIT, PAGE_READWRITE));
    uint32_t code = PayloadBadFrame;
#ifdef WITH_DECODER
    static BYTE memory[1 << 18];
    void* decoder = FrameDecoderSize() <= sizeof(memory) ? MakeFrameDecoder(memory, sizeof(memory)) : nullptr;
    if (decoder && plain) code = UnpackFrame(decoder, packed, got, plain, plainLength);
#else
    if (plain) code = ByteSum(packed, got) ? PayloadOk : PayloadBadFrame;
#endif
    ExitProcess(code);
}
