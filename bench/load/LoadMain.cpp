// load_run: the load runs against the real marquelin-server, each beside a
// same-run reference. Exit status 1 when any request, frame or command
// failed, 2 for bad options.
#include "load/ClusterLoad.h"
#include "load/FloodLoad.h"
#include "load/LoadOptions.h"
#include "load/LoopbackAddress.h"
#include "load/OneShotHttps.h"
#include "load/PollLoad.h"
#include "load/StreamLoad.h"

#include <cstdio>

int main(int argc, char** argv)
{
    const load::ParsedLoadOptions parsed = load::ParseLoadOptions(argc, argv);
    if (!parsed.options) {
        std::fputs(parsed.message.c_str(), stdout);
        return parsed.message.rfind("usage:", 0) == 0 ? 0 : 2;
    }
    const load::LoadOptions& o = *parsed.options;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("load: descriptor limit %zu\n", load::RaiseDescriptorLimit());
    auto tls = load::ClientTls();
    bool ok = true;
    if (o.polls)
        ok = load::PollLoad(o, tls) && ok;
    if (o.streams)
        ok = load::StreamLoad(o, tls) && ok;
    if (o.floods)
        ok = load::FloodLoad(o, tls) && ok;
    if (o.cluster)
        ok = load::ClusterLoad(o, tls) && ok;
    std::printf("load: %s\n", ok ? "no errors" : "FAILED (errors above)");
    return ok ? 0 : 1;
}
