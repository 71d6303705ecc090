#pragma once

#include <cstddef>
#include <vector>

namespace load {

// Milliseconds of every request or frame of a run; a run is bounded in time,
// so keeping them all costs a few hundred KiB.
class LatencySamples {
public:
    void Add(double ms) { samples_.push_back(ms); }
    void Add(const LatencySamples& more);
    std::size_t Count() const { return samples_.size(); }
    // q in [0, 1]: 0.5 the median, 1 the largest; 0 when empty.
    double Quantile(double q) const;

private:
    mutable std::vector<double> samples_;
    mutable bool sorted_ = false;
};

}  // namespace load
