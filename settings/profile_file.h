// Private-profile files ("[section]" then "key=value" lines): section and key names match
// case-blind, blanks around keys and values are trimmed, the first matching key wins, and a
// missing file, section or key gives the default. Every write replaces the file atomically.
#pragma once

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

    // As write, but a failure is ignored (preferences whose write fails are simply not kept).
    bool tryWrite(const std::string& section, const std::string& key, const std::string& value);

private:
    std::vector<std::string> lines() const;
    std::string fileText() const;
    static std::vector<std::string> linesOf(const std::string& text);
    std::string path_;
};

// The preference reading rule: default "0", the text up to the first NUL.
std::string readProfileText(const ProfileFile& file, const std::string& section, const std::string& key);

// The same, converted with the leading-number rule (0 when the text is not a number).
double readProfileNumber(const ProfileFile& file, const std::string& section, const std::string& key);

} // namespace orv
