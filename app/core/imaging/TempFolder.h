#pragma once

#include <QString>

namespace imaging {

// The folder that holds the frames in transit: private to the user (mode
// 0700, owned by them), named "marquelin-<uid>" under "TEMP" when that is
// set, else under the runtime directory, else under the system's temporary
// directory. The file names are fixed; every writer replaces its file.
class TempFolder {
public:
    // Creates the folder when missing and checks that it is a real folder of
    // this user that nobody else can enter; tightens its mode if needed.
    bool Prepare(QString* error);

    const QString& path() const { return path_; }
    QString CapturePath() const { return File("marquelin_capture.bmp"); }
    QString FramePath() const { return File("marquelin_frame.jpg"); }
    QString RemotePath() const { return File("marquelin_remote.jpg"); }

private:
    QString File(const char* name) const { return path_ + QLatin1Char('/') + QLatin1String(name); }

    QString path_;
};

}  // namespace imaging
