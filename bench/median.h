// The figure a bench reports for repeated runs: their median, which a neighbour's burst on a
// shared machine moves less than a mean and does not flatter as a best-of does.
#pragma once

#include <algorithm>
#include <vector>

namespace Bench {

// Runs each bench takes, the sides alternating.
inline constexpr int kRuns = 5;

[[nodiscard]] inline double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace Bench
