// The clock and the program's own deterministic random generators.
#pragma once

namespace kuvo {

// Starts the accumulating clock at `start` seconds.
void StartClock(double start);
// Seconds since StartClock: the sum of counter increments between readings.
double ReadClock();

// Reseeds NextNoise. NextNoise and NextDrift never use a library generator,
// so every sequence is reproducible from its seed.
void SeedNoise(float value);
// Chaotic generator: a value in [0, 1).
float NextNoise();
// Leaky random walk over NextNoise; magnitude stays below 49.5.
double NextDrift();

}  // namespace kuvo
