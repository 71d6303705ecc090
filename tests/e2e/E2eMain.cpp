// The end-to-end tests' main(): the lab network first, while the process
// has a single thread (a namespace change affects only the calling thread).
#include "LabNetwork.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
constexpr const char* kRunPrefix = "marquelin-e2e-run-";

// Every folder a run makes (homes, server data) goes under one named after
// its process, so a run that was killed is swept by the next one.
std::string MakeRunFolder()
{
    const fs::path base = fs::temp_directory_path();
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(base, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kRunPrefix, 0) != 0)
            continue;
        const long pid = std::atol(name.c_str() + std::char_traits<char>::length(kRunPrefix));
        if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            fs::remove_all(entry.path(), ec);
    }
    const fs::path folder = base / (kRunPrefix + std::to_string(getpid()));
    fs::create_directories(folder, ec);
    setenv("TMPDIR", folder.c_str(), 1);
    return folder.string();
}

}  // namespace

int main(int argc, char** argv)
{
    e2e::EnterLab();
    const std::string runFolder = MakeRunFolder();
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    fs::remove_all(runFolder, ignored);
    return result;
}
