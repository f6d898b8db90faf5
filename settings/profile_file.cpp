// Reading and writing private-profile files.
#include "settings/profile_file.h"

#include "base/atomic_file.h"
#include "base/leading_number.h"
#include "base/regular_file.h"
#include "base/runtime_error.h"
#include "base/text.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <sstream>
#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

namespace {

bool isRegularOrAbsent(const std::string& path) {
    if (descriptorNamed(path) >= 0) return false;
    struct stat st{};
    try {
        return ::stat(followLinks(path).c_str(), &st) != 0 || S_ISREG(st.st_mode);
    } catch (const RuntimeError&) {
        return false;
    }
}

std::string lowered(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The section a line opens, or false when it opens none.
bool sectionOf(const std::string& line, std::string& name) {
    const std::string t = trimBlanks(line, " \t");
    if (t.size() < 2 || t.front() != '[') return false;
    const auto close = t.find(']');
    if (close == std::string::npos) return false;
    name = trimBlanks(t.substr(1, close - 1), " \t");
    return true;
}

bool keyOf(const std::string& line, std::string& key, std::string& value) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) return false;
    key = trimBlanks(line.substr(0, eq), " \t");
    value = trimBlanks(line.substr(eq + 1), " \t");
    return true;
}

// Copies of the program that write one file at the same moment take turns: each write reads the
// file, changes one key and renames the whole file back, so a write made meanwhile by another copy
// would be lost under it. The turn is a lock on the file's folder (the file itself is replaced by
// every write). A folder that cannot be locked (a file system without locks) is written unguarded,
// as is one whose lock is still held after a few seconds (a copy that stopped while writing).
class FolderTurn {
public:
    explicit FolderTurn(const std::string& file) {
        std::string folder = file;
        const auto slash = folder.rfind('/');
        folder = slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : folder.substr(0, slash);
        fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0) return;
        for (int tries = 0; tries < 300; ++tries) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
            if (errno != EWOULDBLOCK && errno != EINTR) break;
            ::usleep(10000);
        }
        ::close(fd_);
        fd_ = -1;
    }
    ~FolderTurn() {
        if (fd_ >= 0) ::close(fd_); // closing releases the lock
    }
    FolderTurn(const FolderTurn&) = delete;
    FolderTurn& operator=(const FolderTurn&) = delete;

private:
    int fd_ = -1;
};

} // namespace

std::string ProfileFile::fileText() const {
    // A name that is missing, unreadable or not a regular file reads as an empty file.
    std::string text;
    readRegularFile(path_, text);
    return text;
}

std::vector<std::string> ProfileFile::linesOf(const std::string& text) {
    std::vector<std::string> out;
    // Editors that save UTF-8 with a byte-order mark put it before the first section's "[".
    static const std::string bom = "\xEF\xBB\xBF";
    std::istringstream in(text.compare(0, bom.size(), bom) == 0 ? text.substr(bom.size()) : text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

std::string ProfileFile::read(const std::string& section, const std::string& key,
                              const std::string& fallback) const {
    Keys& k = *keys_;
    const std::lock_guard<std::mutex> hold(k.lock);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const long long nowNs = (long long)now.tv_sec * 1000000000 + now.tv_nsec;
    struct stat st{};
    const bool exists = ::stat(path_.c_str(), &st) == 0;
    bool same = k.valid && exists == k.existed &&
                (!exists || (k.device == st.st_dev && k.inode == st.st_ino && k.size == (unsigned long long)st.st_size &&
                             k.modifiedSeconds == st.st_mtim.tv_sec && k.modifiedNanoseconds == st.st_mtim.tv_nsec));
    // A file changed within a clock tick of its reading can change again with the same time
    // stamp and size: its bytes are compared instead.
    const long long modifiedNs = (long long)st.st_mtim.tv_sec * 1000000000 + st.st_mtim.tv_nsec;
    std::string text;
    bool textRead = false;
    if (same && exists && k.readAtNs - modifiedNs < 100000000) {
        text = fileText();
        textRead = true;
        same = text == k.text;
    }
    if (!same) {
        if (!textRead) text = fileText();
        k.values.clear();
        std::string inSection;
        bool hasSection = false;
        std::string name, kk, v;
        for (const auto& line : linesOf(text)) {
            if (sectionOf(line, name)) {
                inSection = lowered(name);
                hasSection = true;
                continue;
            }
            if (hasSection && keyOf(line, kk, v)) k.values.emplace(inSection + "\n" + lowered(kk), v); // the first wins
        }
        k.existed = exists;
        k.device = exists ? (unsigned long long)st.st_dev : 0;
        k.inode = exists ? (unsigned long long)st.st_ino : 0;
        k.size = exists ? (unsigned long long)st.st_size : 0;
        k.modifiedSeconds = exists ? st.st_mtim.tv_sec : 0;
        k.modifiedNanoseconds = exists ? st.st_mtim.tv_nsec : 0;
        k.text = std::move(text);
        k.valid = true;
        ++k.reads;
    }
    k.readAtNs = nowNs;
    const auto found = k.values.find(lowered(section) + "\n" + lowered(key));
    return found == k.values.end() ? fallback : found->second;
}

std::size_t ProfileFile::timesRead() const {
    const std::lock_guard<std::mutex> hold(keys_->lock);
    return keys_->reads;
}

void ProfileFile::write(const std::string& section, const std::string& key, const std::string& value) {
    replaceKey(section, key, [&](const std::optional<std::string>&) { return std::optional<std::string>(value); });
}

void ProfileFile::update(const std::string& section, const std::string& key,
                         const std::function<std::optional<std::string>(const std::optional<std::string>&)>& changed) {
    try {
        replaceKey(section, key, changed);
    } catch (const RuntimeError& e) {
        tellWriteFailure(e);
        throw;
    }
}

void ProfileFile::replaceKey(const std::string& section, const std::string& key,
                             const std::function<std::optional<std::string>(const std::optional<std::string>&)>& change) {
    std::string target = path_;
    try {
        target = followLinks(path_);
    } catch (const RuntimeError&) {
    }
    const FolderTurn turn(target);
    std::string before;
    // A file that is there but cannot be read (no read permission, a read error) is not replaced
    // by one that holds only this key: every other preference in it would be lost.
    if (readRegularFile(path_, before) == FileRead::Unreadable) throw RuntimeError(75);
    std::vector<std::string> ls = linesOf(before);
    bool inSection = false;
    int sectionEnd = -1; // index after the last line of the matching section
    int keyLine = -1;
    std::string name, k, v, current;
    for (std::size_t i = 0; i < ls.size() && keyLine < 0; ++i) {
        if (sectionOf(ls[i], name)) {
            if (inSection) break;
            inSection = sameName(name, section);
            if (inSection) sectionEnd = int(i) + 1;
            continue;
        }
        if (!inSection) continue;
        if (keyOf(ls[i], k, v) && sameName(k, key)) {
            keyLine = int(i);
            current = v;
        } else if (!trimBlanks(ls[i], " \t").empty()) {
            sectionEnd = int(i) + 1;
        }
    }
    const std::optional<std::string> value =
        change(keyLine >= 0 ? std::optional<std::string>(current) : std::nullopt);
    if (!value) return;
    if (keyLine >= 0) {
        ls[keyLine] = k + "=" + *value; // the key keeps the spelling it has in the file
    } else if (sectionEnd < 0) {
        if (!ls.empty() && !trimBlanks(ls.back(), " \t").empty()) ls.push_back("");
        ls.push_back("[" + section + "]");
        ls.push_back(key + "=" + *value);
    } else {
        ls.insert(ls.begin() + sectionEnd, key + "=" + *value);
    }
    std::string text;
    for (const auto& l : ls) text += l + "\r\n";
    // A value written again as it stands leaves the file alone (the recent list and the last
    // file name are written after every montage).
    if (text == before) return;
    // Preferences live in a regular file: a device or FIFO of that name is not written through.
    if (!isRegularOrAbsent(path_)) throw RuntimeError(75);
    writeFileAtomically(path_, std::vector<std::uint8_t>(text.begin(), text.end()));
    const std::lock_guard<std::mutex> hold(keys_->lock);
    keys_->valid = false;
}

bool ProfileFile::tryWrite(const std::string& section, const std::string& key, const std::string& value) {
    try {
        write(section, key, value);
        return true;
    } catch (...) {
        tellWriteFailure(currentError());
        return false;
    }
}

void ProfileFile::setWriteFailureNotice(WriteFailureNotice notice) {
    const std::lock_guard<std::mutex> hold(notice_->lock);
    notice_->notice = std::move(notice);
}

void ProfileFile::silenceWriteFailureNotice() {
    const std::lock_guard<std::mutex> hold(notice_->lock);
    notice_->silenced = true;
}

bool ProfileFile::writeFailureNoticeSilenced() const {
    const std::lock_guard<std::mutex> hold(notice_->lock);
    return notice_->silenced;
}

void ProfileFile::tellWriteFailure(const RuntimeError& error) {
    WriteFailureNotice tell;
    {
        const std::lock_guard<std::mutex> hold(notice_->lock);
        if (notice_->given || notice_->silenced || !notice_->notice) return;
        notice_->given = true;
        tell = notice_->notice;
    }
    tell(error);
}

namespace {

constexpr const char* kEncodedPrefix = "file://";

} // namespace

std::string profileNameValue(const std::string& name) {
    // Blanks at either end would be trimmed away when the value is read.
    const bool blankEnd = !name.empty() && (name.front() == ' ' || name.front() == '\t' ||
                                            name.back() == ' ' || name.back() == '\t');
    if (name.find_first_of("\r\n") == std::string::npos && !blankEnd) return name;
    static const char* hex = "0123456789ABCDEF";
    std::string out = kEncodedPrefix;
    for (const char ch : name) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string nameOfProfileValue(const std::string& value) {
    if (value.compare(0, std::strlen(kEncodedPrefix), kEncodedPrefix) != 0) return value;
    return percentDecoded(value.substr(std::strlen(kEncodedPrefix)));
}

std::string readProfileText(const ProfileFile& file, const std::string& section, const std::string& key) {
    std::string v = file.read(section, key, "0");
    const auto nul = v.find('\0');
    if (nul != std::string::npos) v.resize(nul);
    return v;
}

double readProfileNumber(const ProfileFile& file, const std::string& section, const std::string& key) {
    return leadingValue(readProfileText(file, section, key));
}

} // namespace orv
