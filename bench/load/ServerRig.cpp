#include "load/ServerRig.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

namespace load {

namespace {

// "https N" and "relay N", one a line, once both listen.
bool ReadPorts(const std::string& text, unsigned short& https, unsigned short& relay)
{
    std::istringstream lines(text);
    std::string name;
    for (unsigned port = 0; lines >> name >> port;) {
        if (name == "https")
            https = static_cast<unsigned short>(port);
        if (name == "relay")
            relay = static_cast<unsigned short>(port);
    }
    return https != 0 && relay != 0;
}

}  // namespace

std::string MakeRunFolder(const std::string& what)
{
    std::string pattern = "/tmp/marquelin-load-" + what + "-XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

ServerRig::ServerRig(const std::vector<std::string>& extraOptions) : folder_(MakeRunFolder("server"))
{
    if (folder_.empty())
        return;
    std::vector<std::string> args{MARQUELIN_SERVER_BINARY, "--data", DataFolder(), "--https-port", "0",
                                  "--relay-port", "0"};
    args.insert(args.end(), extraOptions.begin(), extraOptions.end());
    process_ = std::make_unique<ProcessUnderTest>(args, LogFile());
    for (int waited = 0; waited < 200 && !Started() && process_->Alive(); ++waited) {
        ReadPorts(WaitForFile(DataFolder() + "/listening", 100), httpsPort_, relayPort_);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool ServerRig::StartedOrKept()
{
    if (Started())
        return true;
    std::printf("load: marquelin-server did not start (log in %s)\n", LogFile().c_str());
    KeepFolder();
    return false;
}

ServerRig::~ServerRig()
{
    process_.reset();
    std::error_code ec;
    if (!keep_ && !folder_.empty())
        std::filesystem::remove_all(folder_, ec);
}

}  // namespace load
