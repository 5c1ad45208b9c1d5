#pragma once

// Small statistics shared by the benchmark executables.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace benchstats {

using Clock = std::chrono::steady_clock;

inline double microsecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// Nearest-rank percentile (p in 0..1); 0 for no samples.
inline double percentile(std::vector<double> samples, double p)
{
    if (samples.empty())
        return 0.0;
    std::sort(samples.begin(), samples.end());
    const auto rank = static_cast<long>(std::ceil(p * static_cast<double>(samples.size())));
    const long index = std::clamp(rank - 1, 0L, static_cast<long>(samples.size()) - 1);
    return samples[static_cast<size_t>(index)];
}

inline double median(const std::vector<double> &samples)
{
    return percentile(samples, 0.5);
}

// Spread of repeated figures as a fraction of their median: (max - min) / median.
inline double spread(const std::vector<double> &values)
{
    if (values.size() < 2)
        return 0.0;
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    const double mid = median(values);
    return mid > 0.0 ? (*hi - *lo) / mid : 0.0;
}

struct LinearFit
{
    double intercept = 0.0;
    double slope = 0.0;
    bool valid = false;
};

// Least squares y = intercept + slope * x.
inline LinearFit fitLine(const std::vector<double> &x, const std::vector<double> &y)
{
    LinearFit fit;
    const size_t n = std::min(x.size(), y.size());
    if (n < 2)
        return fit;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = 0; i < n; ++i) {
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        sxy += x[i] * y[i];
    }
    const double denominator = static_cast<double>(n) * sxx - sx * sx;
    if (std::fabs(denominator) < 1e-12)
        return fit;
    fit.slope = (static_cast<double>(n) * sxy - sx * sy) / denominator;
    fit.intercept = (sy - fit.slope * sx) / static_cast<double>(n);
    fit.valid = true;
    return fit;
}

inline std::string format(const char *pattern, double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

inline const char *verdict(bool met)
{
    return met ? "yes" : "**no**";
}

} // namespace benchstats
