#include "platform/single_precision.h"

#include "platform/vector_clones.h"

namespace sky {

SKYVANE_VECTOR_CLONES
void ToSingles(const double *y, float *out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<float>(y[i]);
}

void ToSingles(const double *y, std::size_t n, std::vector<float> &out) {
    out.resize(n);
    ToSingles(y, out.data(), n);
}

} // namespace sky
