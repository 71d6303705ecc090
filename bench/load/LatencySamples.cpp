#include "load/LatencySamples.h"

#include <algorithm>
#include <cmath>

namespace load {

void LatencySamples::Add(const LatencySamples& more)
{
    samples_.insert(samples_.end(), more.samples_.begin(), more.samples_.end());
    sorted_ = false;
}

double LatencySamples::Quantile(double q) const
{
    if (samples_.empty())
        return 0;
    if (!sorted_)
        std::sort(samples_.begin(), samples_.end());
    sorted_ = true;
    const double rank = std::ceil(q * static_cast<double>(samples_.size()));
    const std::size_t at = static_cast<std::size_t>(std::max(rank, 1.0)) - 1;
    return samples_[std::min(at, samples_.size() - 1)];
}

}  // namespace load
