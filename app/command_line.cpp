// Parsing the desktop program's command line.
#include "base/numbers.h"
#include "base/text.h"
#include "app/command_line.h"

#include "base/leading_number.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace orv {

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}


struct Word {
    std::size_t pos;
    std::string text;
    bool wholeFile = false; // an argument that names a file: never an option
};

void splitWords(const std::string& s, std::size_t offset, std::vector<Word>& words) {
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == ' ') ++i;
        if (i >= s.size()) break;
        const std::size_t start = i;
        while (i < s.size() && s[i] != ' ') ++i;
        words.push_back({offset + start, s.substr(start, i - start)});
    }
}

// A file:// address of this machine ("file:///p/a%20b/rock1.bmp", "file://localhost/...",
// "file:/...") as the local name it stands for, its %XX escapes turned back into bytes; anything
// else as it is. Desktops hand such addresses to programs started on a file.
std::string localName(const std::string& arg) {
    if (lower(arg.substr(0, 5)) != "file:") return arg;
    std::string rest = arg.substr(5);
    if (rest.rfind("//", 0) == 0) {
        const std::size_t slash = rest.find('/', 2);
        if (slash == std::string::npos) return arg;
        const std::string host = lower(rest.substr(2, slash - 2));
        if (!host.empty() && host != "localhost") return arg; // another machine's file
        rest = rest.substr(slash);
    }
    if (rest.empty() || rest.front() != '/') return arg;
    rest = rest.substr(0, rest.find_first_of("?#"));
    return percentDecoded(rest);
}

enum class Option { None, Increment, Resolution, Help, Version, EndOfOptions, Unknown };

// Classifies one word; `inlineValue` receives a value glued to the option ("/i25", "--increment=25").
// A word starting with "/" is an option only when it is one of ours: absolute paths are files.
Option classify(const std::string& word, std::string& inlineValue, bool& hasInline) {
    const std::string w = lower(word);
    hasInline = false;
    auto eqValue = [&](const std::string& name) {
        if (w.rfind(name + "=", 0) == 0) {
            inlineValue = word.substr(name.size() + 1);
            hasInline = true;
            return true;
        }
        return w == name;
    };
    if (w == "--help" || w == "-h" || w == "/?") return Option::Help;
    if (w == "--version") return Option::Version;
    if (w == "--") return Option::EndOfOptions;
    if (eqValue("--increment")) return Option::Increment;
    if (eqValue("--resolution") || w == "/resolution" || w == "-resolution") return Option::Resolution;
    if (w == "/i" || w == "-i") return Option::Increment;
    const bool slashForm = w.rfind("/i", 0) == 0 && w.find('/', 1) == std::string::npos;
    const bool dashForm = w.rfind("-i", 0) == 0 && w.size() > 2 && std::isdigit((unsigned char)w[2]);
    if (slashForm || dashForm) {
        inlineValue = word.substr(2);
        hasInline = true;
        return Option::Increment;
    }
    if (w.rfind("--", 0) == 0) return Option::Unknown;
    return Option::None;
}

} // namespace

bool parseResolution(const std::string& text, int& width, int& height) {
    width = height = 0;
    const std::string t = lower(text);
    const std::size_t x = t.find('x', 1);
    if (x == std::string::npos) return false;
    const double w = leadingValue(t.substr(0, x));
    const double h = leadingValue(t.substr(x + 1));
    if (!(w >= 1 && h >= 1 && w < 100000 && h < 100000)) return false;
    width = int(roundHalfEven(w));
    height = int(roundHalfEven(h));
    return true;
}

bool isSeriesPictureName(const std::string& name) {
    // Every format the series reader takes, and so every one the desktop entry offers.
    for (const char* ext : {".jpg", ".jpeg", ".bmp", ".gif", ".png", ".tif", ".tiff"}) {
        const std::size_t n = std::char_traits<char>::length(ext);
        if (name.size() >= n && lower(name.substr(name.size() - n)) == ext) return true;
    }
    return false;
}

CommandLine parseCommandLine(const std::vector<std::string>& given,
                             const std::function<bool(const std::string&)>& namesFile) {
    CommandLine c;
    std::vector<std::string> args;
    for (const std::string& a : given) args.push_back(localName(a));
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i) c.argument += ' ';
        c.argument += args[i];
    }
    const bool quoted = c.argument.size() >= 2 && c.argument.front() == '"' && c.argument.back() == '"';
    if (quoted) c.argument = c.argument.substr(1, c.argument.size() - 2);

    // The words of each argument, at their places in the joined text.
    std::vector<Word> words;
    std::size_t offset = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string a = args[i];
        std::size_t start = offset;
        if (quoted && i == 0) a.erase(0, 1);
        else if (quoted) --start;
        if (quoted && i + 1 == args.size() && !a.empty()) a.pop_back();
        const bool maybeFile = a.find(' ') != std::string::npos || (!a.empty() && a.front() == '/');
        if (maybeFile && namesFile && namesFile(a)) {
            const std::size_t lead = a.find_first_not_of(' ');
            if (lead != std::string::npos) words.push_back({start + lead, a.substr(lead), true});
        } else {
            splitWords(a, start, words);
        }
        offset += args[i].size() + 1;
    }
    std::size_t fileEnd = c.argument.size();
    bool firstOption = true;
    // A file named after the options ("-i 25 rock1.bmp", "-- -rock1.bmp"): from its first word to
    // the next option, or to the end after "--".
    std::size_t laterStart = std::string::npos, laterEnd = c.argument.size();
    bool laterClosed = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::string value;
        bool hasInline = false;
        const Option o = words[i].wholeFile ? Option::None : classify(words[i].text, value, hasInline);
        if (o == Option::None) {
            if (!firstOption && laterStart == std::string::npos) laterStart = words[i].pos;
            continue;
        }
        if (firstOption) {
            fileEnd = words[i].pos;
            firstOption = false;
        } else if (laterStart != std::string::npos && !laterClosed) {
            laterEnd = words[i].pos;
            laterClosed = true;
        }
        if (o == Option::EndOfOptions) {
            // Everything after "--" is the file, whatever it starts with.
            if (i + 1 < words.size() && laterStart == std::string::npos) {
                laterStart = words[i + 1].pos;
                laterEnd = c.argument.size();
                laterClosed = true;
            }
            break;
        }
        auto takeValue = [&]() -> std::string {
            if (hasInline) return value;
            if (i + 1 < words.size() && !words[i + 1].wholeFile) {
                std::string v2;
                bool inl2 = false;
                if (classify(words[i + 1].text, v2, inl2) == Option::None) return words[++i].text;
            }
            return {};
        };
        switch (o) {
        case Option::Increment:
            c.hasIncrement = true;
            c.incrementText = takeValue();
            break;
        case Option::Resolution:
            c.hasResolution = true;
            parseResolution(takeValue(), c.resolutionWidth, c.resolutionHeight);
            break;
        case Option::Help: c.help = true; break;
        case Option::Version: c.version = true; break;
        case Option::Unknown:
            if (c.error.empty()) c.error = "unknown option " + words[i].text;
            break;
        case Option::EndOfOptions:
        case Option::None: break;
        }
    }
    c.filePart = trimBlanks(c.argument.substr(0, fileEnd));
    // Several files (a desktop handing over every picture chosen): the first is the series'.
    if (!words.empty() && words.front().wholeFile) c.filePart = trimBlanks(words.front().text);
    if (c.filePart.empty() && laterStart != std::string::npos)
        c.filePart = trimBlanks(c.argument.substr(laterStart, laterEnd - laterStart));
    return c;
}

std::string commandLineHelpText() {
    return "Usage: orvanta [FIRST-FILE] [/i INCREMENT] [/resolution WIDTHxHEIGHT]\n"
           "\n"
           "Opens the focus-stacking window. FIRST-FILE names the first picture of a numbered\n"
           "series (rock01.bmp, rock02.bmp, ...), as a name or a file:// address; the series is\n"
           "loaded when the window opens.\n"
           "It may come before or after the options. A file that is not a picture the series\n"
           "reader takes (.bmp, .jpg, .jpeg, .gif, .png, .tif, .tiff) is said and not opened.\n"
           "\n"
           "Options:\n"
           "  /i N, -i N, --increment N    block size for the montage (at least 10; /i25 also works)\n"
           "  /resolution WxH, --resolution WxH\n"
           "                               lay the windows out as on a W x H screen\n"
           "  --help                       show this text and exit\n"
           "  --version                    show the version and exit\n"
           "  --                           what follows is FIRST-FILE, even when it starts with \"-\"\n";
}

} // namespace orv
