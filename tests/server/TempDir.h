#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace server_tests {

// A temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "marquelin-store-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string File(const char* name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace server_tests
