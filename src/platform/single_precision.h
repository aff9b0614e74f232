#pragma once
// Levels copied into single precision, the form holds and averages keep them in.
#include <cstddef>
#include <vector>

namespace sky {

// out[i] = y[i] as a float, for n values (vectorised where the processor allows).
void ToSingles(const double *y, float *out, std::size_t n);
// The same into `out`, sized to n (its storage reused from call to call).
void ToSingles(const double *y, std::size_t n, std::vector<float> &out);

} // namespace sky
