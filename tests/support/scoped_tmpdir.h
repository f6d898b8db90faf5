// TMPDIR pointed at a test's own folder for the test's length and restored after: the temporary
// files a save makes there are this test's alone, so a listing of the folder is not disturbed by
// other tests saving at the same time.
#pragma once

#include <QString>

#include <cstdlib>
#include <optional>
#include <string>

namespace orv::testing {

class ScopedTmpDir {
public:
    explicit ScopedTmpDir(const QString& folder) {
        if (const char* t = std::getenv("TMPDIR")) kept_ = t;
        ::setenv("TMPDIR", folder.toLocal8Bit().constData(), 1);
    }
    ~ScopedTmpDir() {
        if (kept_) ::setenv("TMPDIR", kept_->c_str(), 1);
        else ::unsetenv("TMPDIR");
    }
    ScopedTmpDir(const ScopedTmpDir&) = delete;
    ScopedTmpDir& operator=(const ScopedTmpDir&) = delete;

private:
    std::optional<std::string> kept_;
};

} // namespace orv::testing
