#pragma once

#include "server/store/Store.h"

#include <initializer_list>
#include <string>

// Slows down guessing. Each key (a device, a source, a code value, a share
// of a mailed code) counts its failures in the store, so a restart does not
// reset them. The first `freeFailures` cost nothing; after that a try the key
// holds back must wait `baseDelayMs` after the last failure, doubling with
// every further failure; from `hardLimit` failures on, every such try is
// refused until `lockoutMs` has passed since the last failure, which also
// forgets the count. Which tries a key holds back (every one, or only wrong
// ones) is the endpoint's choice.

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
    // The failures `key` still remembers.
    int Failures(const std::string& key, store::Millis now);
    void CountFailure(const std::string& key, store::Millis now);
    void CountFailures(std::initializer_list<const std::string*> keys, store::Millis now);

    // The wait owed after `failures` failures, or -1 for a hard lock.
    store::Millis WaitAfter(int failures) const;

private:
    store::Store& store_;
    ThrottlePolicy policy_;
};

}  // namespace api
