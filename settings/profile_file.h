// Private-profile files ("[section]" then "key=value" lines): section and key names match
// case-blind, blanks around keys and values are trimmed, the first matching key wins, and a
// missing file, section or key gives the default. Every write replaces the file atomically, and
// copies of the program writing one file at once take turns, so neither loses the other's key.
// The file is read and split once and its keys looked up from then on; it is read again only when
// it has changed on the disk (another file, size or modification time, or, for a file changed
// within a moment of its reading, other bytes) or was written here.
#pragma once

#include "base/runtime_error.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace orv {

class ProfileFile {
public:
    explicit ProfileFile(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }

    // The value of `key` in `section`, or `fallback` when the file, section or key is missing.
    std::string read(const std::string& section, const std::string& key,
                     const std::string& fallback) const;

    // Replaces the key's line in place, or appends it to its section (creating the section at
    // the end of the file). A file that would come out byte for byte as it is is not written.
    // Raises RuntimeError when the file cannot be written.
    void write(const std::string& section, const std::string& key, const std::string& value);

    // As write, with the value made by `change` from the key's value in the file at this moment
    // (nullopt when the key is not there) while other copies of the program wait for their turn:
    // a copy that decides by what the file holds cannot write over a value another copy wrote
    // after it looked. `change` returning nullopt leaves the file as it is.
    void update(const std::string& section, const std::string& key,
                const std::function<std::optional<std::string>(const std::optional<std::string>& current)>& change);

    // As write, but a failure is ignored (preferences whose write fails are simply not kept).
    bool tryWrite(const std::string& section, const std::string& key, const std::string& value);

    // Told the error of the first tryWrite or update that fails, once for this object and all its
    // copies however many keys fail after it, so that a program going on with the values it holds
    // can say once that they are not kept. A failed write is its caller's to tell and is not
    // passed on. Called with no lock held, on the thread that wrote.
    using WriteFailureNotice = std::function<void(const RuntimeError& error)>;
    void setWriteFailureNotice(WriteFailureNotice notice);
    // No notice from here on: the user was told another way, or nobody is there to be told (the
    // program is ending).
    void silenceWriteFailureNotice();
    bool writeFailureNoticeSilenced() const;

    // How often the file's text has been read and split since this object was made.
    std::size_t timesRead() const;

private:
    // The keys of the file as last read: section and key names in lower case, the first value of
    // each, and what the file was on the disk then.
    struct Keys {
        std::mutex lock;
        bool valid = false;
        bool existed = false;
        unsigned long long device = 0, inode = 0, size = 0;
        long long modifiedSeconds = 0, modifiedNanoseconds = 0;
        std::map<std::string, std::string> values; // "section\nkey"
        std::string text;      // the bytes they were read from
        long long readAtNs = 0; // when, on the real-time clock
        std::size_t reads = 0;
    };
    struct Notice {
        std::mutex lock;
        WriteFailureNotice notice;
        bool given = false;
        bool silenced = false;
    };
    std::string fileText() const;
    static std::vector<std::string> linesOf(const std::string& text);
    void replaceKey(const std::string& section, const std::string& key,
                    const std::function<std::optional<std::string>(const std::optional<std::string>& current)>& change);
    void tellWriteFailure(const RuntimeError& error);
    std::string path_;
    std::shared_ptr<Keys> keys_ = std::make_shared<Keys>();
    std::shared_ptr<Notice> notice_ = std::make_shared<Notice>();
};

// A file name as a profile value: one that holds a line end (which would end the value and start
// a line of its own) or begins or ends with a blank (which reading would trim) as a file://
// address with its bytes percent-encoded, every other name as it is; and back. Stored names start with "/", so the prefix is never a name's own.
std::string profileNameValue(const std::string& name);
std::string nameOfProfileValue(const std::string& value);

// The preference reading rule: default "0", the text up to the first NUL.
std::string readProfileText(const ProfileFile& file, const std::string& section, const std::string& key);

// The same, converted with the leading-number rule (0 when the text is not a number).
double readProfileNumber(const ProfileFile& file, const std::string& section, const std::string& key);

} // namespace orv
