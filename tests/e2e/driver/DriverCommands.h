#pragma once

#include <QJsonArray>

namespace driver {

// Runs one command, ["name", arguments...], and answers ["ok", fields...] or
// ["err", reason]. Actions a user takes (clicks, keys, menu items) run from
// the event loop just after the answer, because they may open a modal window
// whose nested loop must keep the driver answering.
QJsonArray RunCommand(const QJsonArray& request);

}  // namespace driver
