#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace testing_support {

// A fresh temporary folder, removed with everything in it at the end; its
// path is "" when none could be made.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "marquelin-test")
    {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        path_ = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

}  // namespace testing_support
