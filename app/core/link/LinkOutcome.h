#pragma once

#include <QString>

namespace screenlink {

// What a handler of the link's parsers answers for one message: done, or why
// not. The parsers log the description under their own prefix.
struct LinkOutcome {
    bool ok = true;
    QString error;

    static LinkOutcome Done() { return {}; }
    static LinkOutcome Failed(const QString& description) { return {false, description}; }
};

}  // namespace screenlink
