#include "server/api/Throttle.h"

#include <algorithm>

namespace api {

store::Millis Throttle::WaitAfter(int failures) const
{
    if (failures >= policy_.hardLimit)
        return -1;
    if (failures < policy_.freeFailures)
        return 0;
    const int doublings = std::min(failures - policy_.freeFailures, 30);
    return std::min(policy_.baseDelayMs << doublings, policy_.lockoutMs);
}

bool Throttle::Allows(const std::string& key, store::Millis now)
{
    const store::ThrottleCounter counter = store_.LoadCounter(key);
    if (counter.failures == 0)
        return true;
    const store::Millis since = now - counter.lastFailureAt;
    if (since >= policy_.lockoutMs)
        return true;
    const store::Millis wait = WaitAfter(counter.failures);
    return wait >= 0 && since >= wait;
}

bool Throttle::AllowsAll(std::initializer_list<const std::string*> keys, store::Millis now)
{
    // Every key is read, so one locked key cannot hide how the others stand.
    bool allowed = true;
    for (const std::string* key : keys)
        allowed = Allows(*key, now) && allowed;
    return allowed;
}

int Throttle::Failures(const std::string& key, store::Millis now)
{
    const store::ThrottleCounter counter = store_.LoadCounter(key);
    return now - counter.lastFailureAt >= policy_.lockoutMs ? 0 : counter.failures;
}

void Throttle::CountFailure(const std::string& key, store::Millis now)
{
    store_.AddFailure(key, now, now - policy_.lockoutMs);
}

void Throttle::CountFailures(std::initializer_list<const std::string*> keys, store::Millis now)
{
    for (const std::string* key : keys)
        CountFailure(*key, now);
}

}  // namespace api
