#pragma once

#include "server/store/Store.h"

#include <initializer_list>
#include <string>

// Slows down guessing. Each key (a device, an address, a code value, an
// account) counts its failures in the store, so a restart does not reset
// them. The first `freeFailures` cost nothing; after that each attempt must
// wait `baseDelayMs`, doubling with every further failure; from `hardLimit`
// failures on, every attempt, right or wrong, is refused until `lockoutMs`
// has passed since the last failure, which also forgets the count.

namespace api {

struct ThrottlePolicy {
    int freeFailures = 3;
    store::Millis baseDelayMs = 1000;
    int hardLimit = 10;
    store::Millis lockoutMs = 15 * 60 * 1000;
};

class Throttle {
public:
    Throttle(store::Store& store, const ThrottlePolicy& policy) : store_(store), policy_(policy) {}

    bool Allows(const std::string& key, store::Millis now);
    bool AllowsAll(std::initializer_list<const std::string*> keys, store::Millis now);
    void CountFailure(const std::string& key, store::Millis now);
    void CountFailures(std::initializer_list<const std::string*> keys, store::Millis now);

    // The wait owed after `failures` failures, or -1 for a hard lock.
    store::Millis WaitAfter(int failures) const;

private:
    store::Store& store_;
    ThrottlePolicy policy_;
};

}  // namespace api
