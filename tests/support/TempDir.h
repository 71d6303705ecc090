#pragma once

#include <QDir>
#include <QTemporaryDir>

#include <string>

namespace testing_support {

// A fresh temporary folder, removed with everything in it at the end; its
// path is "" when none could be made.
class TempDir : public QTemporaryDir {
public:
    explicit TempDir(const std::string& prefix = "marquelin-test")
        : QTemporaryDir(QDir::tempPath() + '/' + QString::fromStdString(prefix) + "-XXXXXX")
    {
    }
    std::string path() const { return isValid() ? QTemporaryDir::path().toStdString() : std::string(); }
    std::string File(const std::string& name) const { return path() + "/" + name; }
};

}  // namespace testing_support
