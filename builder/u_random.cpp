#include "u_random.h"

#include <random>

#include <windows.h>

namespace {
std::mt19937& Generator() {
    static std::mt19937 generator;
    return generator;
}
}  // namespace

void SeedRandom() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    std::seed_seq seed{now.dwLowDateTime, now.dwHighDateTime, static_cast<DWORD>(counter.LowPart),
                       static_cast<DWORD>(counter.HighPart), GetCurrentProcessId()};
    Generator().seed(seed);
}

uint32_t RandomBelow(uint32_t limit) {
    return std::uniform_int_distribution<uint32_t>(0, limit - 1)(Generator());
}
