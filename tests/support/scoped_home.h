// A throw-away home for tests that write the user's desktop, menu or configuration files: HOME and
// the XDG folders point into a temporary folder for the test's length and are restored after.
#pragma once

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace orv::testing {

class ScopedHome {
public:
    ScopedHome() {
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_DESKTOP_DIR", "XDG_CONFIG_HOME", "XDG_STATE_HOME"}) {
            const char* v = std::getenv(name);
            saved_[name] = v ? std::optional<std::string>(v) : std::nullopt;
        }
        set("HOME", home());
        set("XDG_DATA_HOME", home() + "/data");
        set("XDG_DESKTOP_DIR", home() + "/Desk top");
        set("XDG_CONFIG_HOME", home() + "/config");
        set("XDG_STATE_HOME", home() + "/state");
    }
    ~ScopedHome() {
        for (const auto& [name, value] : saved_) {
            if (value) setenv(name.c_str(), value->c_str(), 1);
            else unsetenv(name.c_str());
        }
    }
    ScopedHome(const ScopedHome&) = delete;
    ScopedHome& operator=(const ScopedHome&) = delete;

    std::string home() const { return dir_.path().toStdString(); }
    std::string desktop() const { return home() + "/Desk top"; }
    std::string dataHome() const { return home() + "/data"; }
    std::string config() const { return home() + "/config"; }

    static void set(const char* name, const std::string& value) { setenv(name, value.c_str(), 1); }
    static void unset(const char* name) { unsetenv(name); }

private:
    QTemporaryDir dir_;
    std::map<std::string, std::optional<std::string>> saved_;
};

} // namespace orv::testing
