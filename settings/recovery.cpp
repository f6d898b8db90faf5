// The project an unsaved montage is kept in when the program is told to end.
#include "settings/recovery.h"

#include <cstdlib>
#include <sys/stat.h>

namespace orv {

std::string recoveredProjectText(const std::string& project) {
    return "Orvanta was ended before the montage was saved. It was kept as the project " + project +
           ".\n\nOpen it now?";
}

std::string recoveryFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/') return std::string(state) + "/orvanta/";
    const char* home = std::getenv("HOME");
    return std::string(home && home[0] ? home : "/tmp") + "/.local/state/orvanta/";
}

std::string recoveryProjectName(const std::string& folder, std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M-%S", &local);
    const std::string base = folder + "unsaved montage " + stamp;
    std::string name = base + ".mon";
    struct stat st{};
    for (int n = 2; ::lstat(name.c_str(), &st) == 0; ++n) name = base + " " + std::to_string(n) + ".mon";
    return name;
}

} // namespace orv
