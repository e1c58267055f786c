#include "u_testfault.h"

#include <windows.h>

namespace {
TestFault g_fault = TestFault::None;
}

void ReadTestFault() {
    wchar_t text[16] = L"";
    DWORD n = GetEnvironmentVariableW(L"QUILLET_TEST_FAULT", text, 16);
    if (n == 0 || n >= 16) return;
    if (!lstrcmpW(text, L"thread")) g_fault = TestFault::ThreadStart;
    if (!lstrcmpW(text, L"alloc")) g_fault = TestFault::Allocation;
}

TestFault ForcedTestFault() { return g_fault; }
