// Parsing orvanta-cli's options. Every unknown option and every bad value is an error.
#include "cli/cli_options.h"

#include "base/leading_number.h"
#include "base/runtime_error.h"
#include "engine/montage_run.h"
#include "input/series_loader.h"
#include "input/series_naming.h"
#include "output/depth_map.h"
#include "output/picture_writer.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace orv {

namespace {

bool parseInt(const std::string& s, long& out) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtol(s.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0';
}

// A finite number within [low, high]; "nan", "inf", values beyond double's range and values that
// single precision would turn into 0 are not.
bool parseFactor(const std::string& s, float low, float high, float& out) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(s.c_str(), &end);
    if (errno != 0 || !end || *end != '\0' || !std::isfinite(v) || v < low || v > high) return false;
    const float f = float(v);
    if ((f != 0.0f) != (v != 0.0)) return false;
    out = f;
    return true;

}

// Splits at every separator; empty parts are kept ("2," is "2" and "").
std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = s.find(sep, from);
        parts.push_back(s.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos) return parts;
        from = at + 1;
    }
}

// An increment that no block side can come from: a number beyond single precision, an infinity
// or not-a-number (the increment box would read them as 10).
bool isImpossibleIncrement(const std::string& text) {
    if (parseLeadingNumber(text).outOfRange) return true;
    std::size_t at = text.find_first_not_of(" \t");
    if (at == std::string::npos) return false;
    if (text[at] == '+' || text[at] == '-') ++at;
    std::string word;
    for (std::size_t i = at; i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])); ++i)
        word += char(std::tolower(static_cast<unsigned char>(text[i])));
    return word == "inf" || word == "infinity" || word == "nan";
}

std::optional<int> parseMethod(const std::string& v) {
    for (int i = 0; i < kMethodCount; ++i)
        if (v == std::to_string(i) || v == kMethods[std::size_t(i)].cliName) return i;
    return std::nullopt;
}

// The values each value option was given, in the order the options first appear. The last value
// of an option is the one used (scripts that add an option to a command line they were given rely
// on that); when an earlier one differs, that is said. --ignore adds up and is not among them.
class RepeatedOptions {
public:
    // `option`: the long name; `value`: as compared (a method by its number, a number by its
    // value); `typed`: as given.
    void given(const std::string& option, const std::string& value, const std::string& typed) {
        for (Given& g : given_)
            if (g.option == option) {
                g.values.push_back(value);
                g.typed = typed;
                return;
            }
        given_.push_back(Given{option, {value}, typed});
    }
    std::vector<std::string> notices() const {
        std::vector<std::string> out;
        for (const Given& g : given_) {
            const auto same = [&](const std::string& v) { return v == g.values.back(); };
            if (std::all_of(g.values.begin(), g.values.end(), same)) continue;
            const std::size_t n = g.values.size();
            out.push_back(g.option + " is given " + (n == 2 ? std::string("twice") : std::to_string(n) + " times") +
                          " with different values: the last, '" + g.typed + "', is used");
        }
        return out;
    }

private:
    struct Given {
        std::string option;
        std::vector<std::string> values;
        std::string typed;
    };
    std::vector<Given> given_;
};

// A factor as compared: every bit of its single-precision value.
std::string exactly(float f) {
    char text[64];
    std::snprintf(text, sizeof text, "%a", double(f));
    return text;
}

} // namespace

std::optional<std::string> incrementRefusal(const std::string& text) {
    try {
        if (isImpossibleIncrement(text)) throw RuntimeError(6);
        readIncrementBox(text);
    } catch (const RuntimeError&) {
        return "--increment takes a block side up to 32767, not '" + text + "'";
    }
    return std::nullopt;
}

std::string methodRefusal(const std::string& text) {
    return "--method takes 0-5, 3d, linear, red, green, blue or pyramid, not '" + text + "'";
}

std::string offsetRefusal(const std::string& text) {
    return "--offsets takes x,y pairs separated by ';', from -32768 to 32767, not '" + text + "'";
}

std::string defaultMontageName(const std::string& firstFile) {
    const std::size_t dot = firstDotOfFileName(firstFile);
    return (dot == std::string::npos ? firstFile : firstFile.substr(0, dot)) + " montage.bmp";
}

CliParse parseCliOptions(const std::vector<std::string>& args) {
    CliOptions o;
    CliParse r;
    auto fail = [&](const std::string& msg) {
        r.error = msg;
        return r;
    };
    bool optionsEnded = false;
    RepeatedOptions repeated;
    // The first option given that sets what a project names itself, and what it sets.
    std::string settingOption, settingName;
    auto montageSetting = [&](const char* option, const char* name) {
        if (!settingOption.empty()) return;
        settingOption = option;
        settingName = name;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a == "--") {
            if (!optionsEnded) {
                optionsEnded = true;
                continue;
            }
            if (!o.firstFile.empty()) return fail("only one first file can be named");
            o.firstFile = a;
            continue;
        }
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "-h" || a == "--help") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "-q" || a == "--quiet") {
            o.quiet = true;
            o.progress = ProgressStyle::None;
        } else if (a == "--progress") {
            const std::optional<ProgressStyle> style = value(v) ? progressStyleNamed(v) : std::nullopt;
            if (!style) return fail("--progress takes bar, json or none");
            o.progress = *style;
            o.quiet = *style == ProgressStyle::None;
            repeated.given("--progress", v, v);
        } else if (a == "-i" || a == "--increment") {
            montageSetting("--increment", "increment");
            if (!value(o.incrementText)) return fail("--increment needs a value");
            if (const auto refusal = incrementRefusal(o.incrementText)) return fail(*refusal);
            repeated.given("--increment", o.incrementText, o.incrementText);
        } else if (a == "-m" || a == "--method") {
            montageSetting("--method", "method");
            if (!value(v)) return fail("--method needs a value");
            const auto m = parseMethod(v);
            if (!m) return fail(methodRefusal(v));
            o.method = *m;
            repeated.given("--method", std::to_string(*m), v);
        } else if (a == "-o" || a == "--output") {
            if (!value(o.output) || o.output.empty()) return fail("--output needs a file name");
            repeated.given("--output", o.output, o.output);
        } else if (a == "--align") {
            o.align = true;
        } else if (a == "--colour-match" || a == "--color-match") {
            o.colourMatch = true;
        } else if (a == "--depth-map") {
            if (!value(o.depthMapFile) || o.depthMapFile.empty()) return fail("--depth-map needs a file name");
            repeated.given("--depth-map", o.depthMapFile, o.depthMapFile);
        } else if (a == "--map") {
            if (!value(o.mapFile) || o.mapFile.empty()) return fail("--map needs a file name");
            repeated.given("--map", o.mapFile, o.mapFile);
        } else if (a == "--report") {
            if (!value(o.reportFile) || o.reportFile.empty()) return fail("--report needs a file name");
            repeated.given("--report", o.reportFile, o.reportFile);
        } else if (a == "--ignore") {
            montageSetting("--ignore", "ignored pictures");
            if (!value(v) || v.empty()) return fail("--ignore needs a list such as 2,5");
            for (const auto& part : split(v, ',')) {
                long n;
                if (!parseInt(part, n) || n < 1 || n > 10)
                    return fail("--ignore takes picture numbers 1 to 10, not '" + part + "'");
                o.ignored[std::size_t(n - 1)] = true;
            }
        } else if (a == "--offsets") {
            montageSetting("--offsets", "target centres");
            if (!value(v) || v.empty()) return fail("--offsets needs a list such as 152,98;160,95");
            o.useOffsets = true;
            o.offsets.clear();
            for (const auto& pair : split(v, ';')) {
                const auto xy = split(pair, ',');
                long x, y;
                if (xy.size() != 2 || !parseInt(xy[0], x) || !parseInt(xy[1], y) || x < -32768 ||
                    x > 32767 || y < -32768 || y > 32767)
                    return fail(offsetRefusal(pair));
                o.offsets.push_back(ImageOffset{std::int16_t(x), std::int16_t(y)});
            }
            if (o.offsets.size() > std::size_t(kMaxPictures))
                return fail("--offsets takes at most 30 pairs");
            repeated.given("--offsets", v, v);
        } else if (a == "--area") {
            montageSetting("--area", "display area");
            if (!value(v)) return fail("--area needs same, min or max");
            if (v == "same") o.area = DisplayArea::Same;
            else if (v == "min") o.area = DisplayArea::Minimum;
            else if (v == "max") o.area = DisplayArea::Maximum;
            else return fail("--area takes same, min or max, not '" + v + "'");
            repeated.given("--area", v, v);
        } else if (a == "--smooth") {
            o.smooth = true;
        } else if (a == "--edge-factor") {
            if (!value(v) || !parseFactor(v, 0.0f, 1.0f, o.edgeFactor))
                return fail("--edge-factor takes a number from 0 to 1, not '" + v + "'");
            repeated.given("--edge-factor", exactly(o.edgeFactor), v);
        } else if (a == "--focus-factor") {
            if (!value(v) || !parseFactor(v, 0.0f, 1.0f, o.focusFactor))
                return fail("--focus-factor takes a number from 0 to 1, not '" + v + "'");
            repeated.given("--focus-factor", exactly(o.focusFactor), v);
        } else if (a == "--diff-factor") {
            long n;
            if (!value(v) || !parseInt(v, n) || n < -32768 || n > 32767)
                return fail("--diff-factor takes a whole number from -32768 to 32767, not '" + v + "'");
            o.diffFactor = int(n);
            repeated.given("--diff-factor", std::to_string(n), v);
        } else if (a == "--score") {
            o.score = true;
        } else if (a == "--evaluate") {
            if (!value(v) || (v != "increments" && v != "methods" && v != "all"))
                return fail("--evaluate takes increments, methods or all");
            o.evaluate = v;
            repeated.given("--evaluate", v, v);
        } else if (a == "--format") {
            if (!value(v) || !pictureFormatNamed(v))
                return fail("--format takes bmp, png, tiff, jpg or gif, not '" + v + "'");
            o.format = v;
            repeated.given("--format", v, v);
        } else if (a == "--transparent") {
            o.transparent = true;
        } else if (a == "--quality") {
            long n;
            if (!value(v) || !parseInt(v, n) || n < 1 || n > 100)
                return fail("--quality takes a whole number from 1 to 100");
            o.quality = int(n);
            repeated.given("--quality", std::to_string(n), v);
            o.qualityGiven = true;
        } else if (a == "--max-pictures") {
            long n;
            if (!value(v) || !parseInt(v, n) || n < 1 || n > kMaxSeriesPictures)
                return fail("--max-pictures takes a whole number from 1 to " + std::to_string(kMaxSeriesPictures));
            o.maxPictures = int(n);
            repeated.given("--max-pictures", std::to_string(n), v);
        } else if (a == "--depth") {
            if (!value(v) || (v != "8" && v != "16")) return fail("--depth takes 8 or 16");
            o.depth = v == "8" ? 8 : 16;
            repeated.given("--depth", v, v);
        } else if (a == "--save-project") {
            if (!value(o.saveProject) || o.saveProject.empty()) return fail("--save-project needs a file name");
            repeated.given("--save-project", o.saveProject, o.saveProject);
        } else if (a == "--open-project") {
            if (!value(o.openProject) || o.openProject.empty()) return fail("--open-project needs a file name");
            repeated.given("--open-project", o.openProject, o.openProject);
        } else if (a == "--retouch") {
            if (!value(o.retouchFile) || o.retouchFile.empty()) return fail("--retouch needs a strokes file");
            repeated.given("--retouch", o.retouchFile, o.retouchFile);
        } else if (a.size() > 1 && a[0] == '-') {
            return fail("unknown option '" + a + "'");
        } else {
            if (!o.firstFile.empty()) return fail("only one first file can be named");
            o.firstFile = a;
        }
    }
    if (!o.openProject.empty() && !o.firstFile.empty())
        return fail("--open-project names the series itself: give no first file");
    // A project's own settings would take the place of these without a word.
    if (!o.openProject.empty() && !settingOption.empty())
        return fail("--open-project takes the " + settingName + " from the project: give no " + settingOption);
    if (o.align && o.useOffsets) return fail("--align and --offsets exclude each other: choose one");
    if (o.colourMatch && !o.align) return fail("--colour-match works with --align");
    if (!o.help && !o.version && o.firstFile.empty() && o.openProject.empty()) return fail("no first file named");
    // The name's ending picks the format unless --format names it.
    if (!o.output.empty() && o.output != "-" && o.format.empty() && !writableFormatFor(o.output))
        return fail("cannot write the picture format of '" + o.output +
                    "': end the name with .bmp, .jpg, .jpeg, .gif, .png, .tif or .tiff, or name it with --format");
    // The depth map's ending picks its format as the picture's does: one it does not know would
    // get PNG bytes under a misleading name.
    if (!o.depthMapFile.empty() && o.depthMapFile != "-" && !depthMapFormatKnown(o.depthMapFile))
        return fail("cannot write the picture format of '" + o.depthMapFile +
                    "' (--depth-map): end the name with .png, .bmp, .jpg, .jpeg, .gif, .tif or .tiff, or "
                    "leave the ending out for a PNG");
    // A project is two files, its text and its picture beside it: standard output holds neither.
    if (o.saveProject == "-")
        return fail("--save-project writes FILE.mon and its picture FILE.vrk, not standard output: name the "
                    "project's file (./- for a file named '-')");
    if (o.output == "-" && o.format.empty())
        return fail("--output - writes standard output: name its format with --format bmp, png, tiff, jpg or gif");
    r.options = o;
    r.notices = repeated.notices();
    return r;
}

std::vector<std::string> optionNotices(const CliOptions& o) {
    std::vector<std::string> notices;
    // The picture's format: --format, else the name's ending; the default name is a BMP's.
    PictureFormat format = PictureFormat::Bmp;
    if (const std::optional<PictureFormat> named = o.format.empty() ? std::nullopt : pictureFormatNamed(o.format))
        format = *named;
    else if (!o.output.empty() && o.output != "-")
        format = pictureFormatFor(o.output);
    if (o.transparent && format != PictureFormat::Gif)
        notices.push_back("--transparent makes a colour of a GIF transparent; the " + pictureFormatName(format) +
                          " montage is written without one");
    if (o.qualityGiven && format != PictureFormat::Jpeg)
        notices.push_back("--quality sets a JPEG's quality; the " + pictureFormatName(format) +
                          " montage is written as it always is");
    if (o.depth == 16 && format != PictureFormat::Tiff && format != PictureFormat::Png)
        notices.push_back("--depth 16 applies to TIFF and PNG; the " + pictureFormatName(format) +
                          " montage is written at 8 bits per sample");
    return notices;
}

std::string cliHelpText() {
    return R"(Usage: orvanta-cli [options] FIRST_FILE
       orvanta-cli [options] --open-project FILE.mon
Makes one picture in which everything is sharp from a numbered focus series: FIRST_FILE is the
first picture (shot01.bmp); shot02.bmp, shot03.bmp, ... follow, up to 30 pictures for the
block methods; Pyramid Focus reads the whole series (up to 9999 pictures) one picture at a time.
A missing number ends the series; numbers count up to 32767 (a series that runs past it, or
that stops at a missing number while one of the next five is there, is said).

  -i, --increment TEXT the increment box's text (default 20): below 10 or not a number
                       becomes "10", above 32767 (or inf, nan) is refused; the block side
                       is its value rounded half to even
  -m, --method M       0-4, or 3d, linear, red, green, blue: a block method (default 0);
                       5 or pyramid: Pyramid Focus, seam-free
  -o, --output FILE    the montage picture; its ending picks the format: .bmp (or none), .jpg,
                       .jpeg, .gif, .png, .tif, .tiff; default: FIRST_FILE's folder and file
                       name up to the file name's first dot + " montage.bmp"; "-": standard
                       output (with --format; the report and messages then go to standard error)
      --format FORMAT  bmp, png, tiff, jpg or gif: the picture's format whatever its name
      --map FILE       write the dominant-image map text
      --align          align the pictures automatically (scale, rotation, shift) onto the
                       middle one before the montage; not with --offsets. Pyramid Focus
                       keeps an aligned series of up to 1 GiB in memory, so that no
                       picture is read or warped twice
      --colour-match   with --align: also match each picture's colours to the middle one
      --depth-map FILE write a greyscale picture of which picture each pixel came from
                       (picture 1 black, the last white; PNG, or the format of the name)
      --report FILE    write the properties text (default, or "-": standard output)
      --ignore LIST    pictures to ignore, e.g. 2,5 (1 to 10)
      --offsets LIST   target centres, x,y per picture in picture order, y from the top,
                       e.g. "152,98;160,95"; turns image offsets on; a picture without
                       one has its target at 0,0 (said on standard error); centres more
                       than 32767 apart (in the same area: 32767 less the pictures' width
                       across), or a maximum area past 32767, are a usage error
      --area AREA      same (default), min or max
      --smooth         smooth the montage after making it
      --edge-factor F  0 to 1, default 0.1      --focus-factor F  0 to 1, default 0.1
      --diff-factor N  -32768 to 32767, default 100
      --score          print "Quality score = " and the score
      --evaluate WHAT  increments, methods or all: compare, print every candidate's score and
                       the recommendation, and write the chosen montage; methods and all
                       compare the five block methods (with -m pyramid too, said on
                       standard error)
      --transparent    GIF output: make the colour of the top-left pixel transparent (another
                       format is written without it, and standard error says so)
      --quality Q      JPEG output quality, 1 to 100 (default 90; said and ignored for
                       another format)
      --depth BITS     TIFF and PNG output: 8 or 16 bits per sample (default: 16 for a series
                       with 16-bit pictures, else 8); BMP, GIF and JPEG are always 8 (16 is
                       said and ignored for them)
      --save-project FILE.mon
                       also write a project (FILE.mon and the montage as FILE.vrk) that the
                       desktop program opens with "Load a Project"; a device or FIFO named
                       here gets the project's text alone ("-" is refused: name ./- for a
                       file of that name)
      --open-project FILE.mon
                       make the montage again with the project's series, method, increment,
                       ignored pictures, offsets and area (FIRST_FILE, -i, -m, --ignore,
                       --offsets and --area are refused with it), smoothed when the project's
                       montage was, and, for a retouched project, its strokes (FILE.strokes,
                       unless --retouch names others); the other options apply as usual
                       (--align not with a project that has offsets); a montage unlike
                       the project's own picture (FILE.vrk) is said
      --retouch FILE.strokes
                       paint the strokes of FILE (one "stroke PICTURE RADIUS HARDNESS OPACITY
                       MATCH X1,Y1 X2,Y2 ..." a line after "orvanta-strokes 1") into the
                       montage before it is written; a line that cannot be used is a usage error
      --max-pictures N read at most N pictures (1 to 9999) of the series
  -q, --quiet          no progress bar (the same as --progress none)
      --progress STYLE bar (default): a bar on standard error when it is a terminal; json: one
                       line a step on standard error, terminal or not, such as
                       {"phase":"fusing","done":12,"total":60,"seconds_left":8.4} (phases
                       reading, aligning, fusing, smoothing, saving; null when not known);
                       none
      --               what follows is the first file, even when it starts with "-"
  -h, --help           this text
      --version        the version

An option given more than once takes its last value (said on standard error when an earlier
value differs); --ignore adds up.

Outputs may be devices, FIFOs or /dev/stdout: they are written through once the files are in
place, and when one fails (a full device, a reader gone) the files are put back as they were.
"-" names standard output for --map, --depth-map and --report as well; with the depth map
there, the report and the scores go to standard error, as with the picture. The report and the
scores are outputs like the files: standard output that cannot take them (a full disk, a
closed pipe, `| head -c 1` that has gone) fails the run, and no file is written.

Exit status: 0 montage written; 1 failed (a missing, unreadable or damaged picture, too little
memory, an output that cannot be written, standard output included: the message says which,
and no output is changed);
2 usage error (an unknown option or a value out of its range, two outputs naming one file,
an output naming a picture of the series (ignored ones and those after a gap in its numbering
too, and standard output redirected onto one) or the project or strokes file read, the picture
or the depth map on standard error, --ignore naming every picture of the series, a --retouch
strokes file that is not there or has a line that cannot be used);
129, 130, 143 ended by SIGHUP, SIGINT, SIGTERM (no temporary file is left); SIGQUIT and
SIGXCPU (ulimit -t) still end the run as themselves, but leave no temporary file either.
)";
}

} // namespace orv
