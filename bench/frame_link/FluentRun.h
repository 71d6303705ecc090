#pragma once

#include <string>
#include <vector>

namespace framelink {

// The fluent screen run: our two sides beside a reference peer (x11vnc and
// a viewer), one after the other on the same two Xvfb displays, first on
// loopback through a counting forwarder, then over a shaped link.
struct FluentOptions {
    int versao = 0;           // the link version our sides use; 0: the highest the program speaks
    int changeSeconds = 30;   // the region changes this long
    int idleSeconds = 20;     // then the screen stays idle this long
    int rateKbit = 5000;      // the shaped case's slow direction
    std::vector<std::string> cases{"loopback", "shaped"};
};

int RunFluent(const FluentOptions& options);

}  // namespace framelink
