// The builder's pseudo-random generator, seeded from the clock once at start-up.
#pragma once
#include <cstdint>

void SeedRandom();
// A number from 0 to limit - 1.
uint32_t RandomBelow(uint32_t limit);
