// The project an unsaved montage is kept in when the program is told to end.
#include "settings/recovery.h"

#include "settings/preferences.h"
#include "settings/profile_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

std::string recoveredProjectText(const std::string& project) {
    return "Orvanta was ended before the montage was saved. It was kept as the project " + project +
           ".\n\nOpen it now?";
}

std::string recoveredProjectKey(int number) {
    return number <= 1 ? std::string(kRecoveredProjectKey) : std::string(kRecoveredProjectKey) + " " + std::to_string(number);
}

namespace {

// More keys than copies of the program a logout could end; a file that holds more (written by
// hand) is not read on for ever.
constexpr int kMostRecoveredProjects = 100;

} // namespace

namespace {

// Where kept projects are named when the preferences cannot be written (a read-only file, a folder
// of that name): a list in the recovery folder itself, so that a montage kept at the end is still
// offered at the next start rather than left there unnamed.
ProfileFile keptProjectsList() { return ProfileFile(recoveryFolder() + "kept projects.ini"); }

using KeyNamer = std::string (*)(int number);

bool nameIn(ProfileFile& file, const std::string& project, KeyNamer keyName = recoveredProjectKey) {
    const std::string value = profileNameValue(project);
    try {
        // Keys are emptied, never removed: the ones there are always the first few numbers.
        for (int n = 1; n <= kMostRecoveredProjects; ++n) {
            bool taken = false;
            file.update(kPreferencesSection, keyName(n),
                        [&](const std::optional<std::string>& current) -> std::optional<std::string> {
                            if (current && !current->empty()) return std::nullopt;
                            taken = true;
                            return value;
                        });
            if (taken) return true;
        }
    } catch (...) {
    }
    return false;
}

void forgetIn(ProfileFile& file, const std::string& project) {
    for (int n = 1; n <= kMostRecoveredProjects; ++n) {
        bool there = false;
        try {
            file.update(kPreferencesSection, recoveredProjectKey(n),
                        [&](const std::optional<std::string>& current) -> std::optional<std::string> {
                            there = current.has_value();
                            if (!current || current->empty() || nameOfProfileValue(*current) != project)
                                return std::nullopt;
                            return std::string();
                        });
        } catch (...) {
            return;
        }
        if (!there) return;
    }
}

void takeFrom(ProfileFile& file, std::vector<std::string>& projects, KeyNamer keyName = recoveredProjectKey) {
    for (int n = 1; n <= kMostRecoveredProjects; ++n) {
        bool there = false;
        std::string value;
        try {
            file.update(kPreferencesSection, keyName(n),
                        [&](const std::optional<std::string>& current) -> std::optional<std::string> {
                            if (!current) return std::nullopt;
                            there = true;
                            value = *current;
                            // An emptied key stays as it is: most starts write nothing.
                            if (value.empty()) return std::nullopt;
                            return std::string();
                        });
        } catch (...) {
            // Preferences that cannot be written: what they name is still offered.
            value = file.read(kPreferencesSection, keyName(n), "\n");
            there = value != "\n";
            if (!there) value.clear();
        }
        if (!there) break;
        const std::string project = nameOfProfileValue(value);
        if (!value.empty() && std::find(projects.begin(), projects.end(), project) == projects.end())
            projects.push_back(project);
    }
}

} // namespace

bool rememberRecoveredProject(ProfileFile& preferences, const std::string& project) {
    if (nameIn(preferences, project)) return true;
    if (recoveryFolder().empty()) return false;
    ProfileFile list = keptProjectsList();
    return nameIn(list, project);
}

void forgetRecoveredProject(ProfileFile& preferences, const std::string& project) {
    forgetIn(preferences, project);
    if (recoveryFolder().empty()) return;
    ProfileFile list = keptProjectsList();
    forgetIn(list, project);
}

std::vector<std::string> takeRecoveredProjects(ProfileFile& preferences) {
    std::vector<std::string> projects;
    takeFrom(preferences, projects);
    if (!recoveryFolder().empty()) {
        ProfileFile list = keptProjectsList();
        takeFrom(list, projects);
    }
    return projects;
}

std::string unkeptMontageKey(int number) {
    return number <= 1 ? std::string(kUnkeptMontageKey) : std::string(kUnkeptMontageKey) + " " + std::to_string(number);
}

std::string unkeptMontageText(const std::string& why) {
    return "Orvanta was ended before the montage was saved, and the montage could not be kept (" + why +
           ").   It is lost.";
}

std::string recoveryFailure(const std::string& folder, const std::string& reason) {
    const std::string shown = folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
    return shown + ": " + reason;
}

void noteUnkeptMontage(ProfileFile& preferences, const std::string& why) {
    std::fprintf(stderr, "orvanta: the unsaved montage could not be kept (%s)\n", why.c_str());
    nameIn(preferences, why, unkeptMontageKey);
}

std::vector<std::string> takeUnkeptMontageNotes(ProfileFile& preferences) {
    std::vector<std::string> notes;
    takeFrom(preferences, notes, unkeptMontageKey);
    return notes;
}

std::string recoveryFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/') return std::string(state) + "/orvanta/";
    const char* home = std::getenv("HOME");
    if (home && home[0]) return std::string(home) + "/.local/state/orvanta/";
    // Without HOME, the account's own home folder: never a folder every user may write to, where
    // another account could read the montage or put a project of its own in its place.
    const passwd* account = ::getpwuid(::geteuid());
    if (account && account->pw_dir && account->pw_dir[0] == '/')
        return std::string(account->pw_dir) + "/.local/state/orvanta/";
    return {};
}

bool inRecoveryFolder(const std::string& file) {
    const std::string folder = recoveryFolder();
    return !folder.empty() && file.size() > folder.size() && file.compare(0, folder.size(), folder) == 0;
}

bool makePrivateRecoveryFolder(const std::string& folder, std::string* why) {
    const auto refuse = [&](std::string reason) {
        if (why) *why = std::move(reason);
        return false;
    };
    if (folder.empty()) return refuse("there is no home folder to keep it in");
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    ::chmod(folder.c_str(), 0700);
    // Only a folder of this user's that nobody else may enter keeps the montage.
    struct stat st{};
    if (::stat(folder.c_str(), &st) != 0) return refuse(recoveryFailure(folder, std::strerror(errno)));
    if (!S_ISDIR(st.st_mode)) return refuse(recoveryFailure(folder, std::strerror(ENOTDIR)));
    if (st.st_uid != ::geteuid()) return refuse(recoveryFailure(folder, "it belongs to another user"));
    if ((st.st_mode & 077) != 0) return refuse(recoveryFailure(folder, "other users may enter it"));
    return true;
}

std::string recoveryProjectName(const std::string& folder, std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M-%S", &local);
    const std::string base = folder + "unsaved montage " + stamp;
    std::string name = base + ".mon";
    // The name is taken by making its file: two copies of the program ended in the same second
    // (a logout ends them all) must not write their montages over each other.
    for (int n = 2;; ++n) {
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return name;
        }
        if (errno != EEXIST) return name;
        name = base + " " + std::to_string(n) + ".mon";
    }
}

} // namespace orv
