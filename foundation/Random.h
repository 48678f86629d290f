#pragma once
// The process-wide pseudo-random generator: a lagged generator over 55 words.
//
// The state is one per process, set up when the library loads and reset by SeedRandom; the same
// seed always gives the same sequence. Any thread may draw without a lock: the state is made of
// atomics, so concurrent draws are free of data races, but they may interleave and lose steps,
// which only perturbs the sequence. Not suitable for anything secret.
#include <cstdint>

namespace Vorn::Math {

// Refills the state from the seed table and the seed; the next draws follow from the seed alone.
void SeedRandom(uint32_t seed);

// One step modulo max; 0 without taking a step when max is 0.
uint32_t GetRandomUInt(uint32_t max);
// One step modulo max, both taken as unsigned; 0 without taking a step when max is 0.
int GetRandomInt(int max);

// One step scaled by 2^-32 in single precision: a value in [0, 1], 1.0 included (values within 128
// of 2^32 round up to it).
float GetRandomFloat();
// min + (max - min) * GetRandomFloat().
float GetRandomFloat(float min, float max);
// min + (max - min) * rand() * 2^-31, from the C library's generator.
float GetRandomFloatUsingRand(float min, float max);

}  // namespace Vorn::Math
