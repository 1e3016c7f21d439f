#pragma once

#include <algorithm>
#include <cstdio>
#include <vector>

// The output every benchmark shares: one "name: value unit" line per figure, flushed at once so
// that a run cut short still shows what it measured.
namespace Bench {

inline void print(const char *name, double value, const char *unit)
{
    std::printf("%s: %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

inline double median(std::vector<double> values)
{
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace Bench
