// orvanta-cli under hostile input, end to end: bad option values, FIFOs, names that are not UTF-8,
// too little memory, headers that lie, outputs that cannot all be written, and numbers and sides
// at the edge of 16 bits. Every case ends with a message and exit status 1 or 2: never an abort, a hang, or a
// lost file.
#include "cli/cli_options.h"
#include "input/series_loader.h"
#include "input/test_files.h"
#include "cli_folder.h"
#include "raw_process.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

using namespace orv;
using namespace orv::test;
namespace fs = std::filesystem;

namespace {

// The invalid-picture and out-of-memory messages as the program prints them.
const std::string kInvalid = kInvalidPictureText;
const std::string kOutOfMemory = "error 7 (Out of memory) at line 5100 of CommandGo";

class HardInputs : public CliFolderTest {
protected:
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
};

} // namespace

// Every option value out of its range or not a number is a usage error that names the option.
struct BadValue {
    std::vector<std::string> args;
    const char* option; // what the message must name
};

class OptionValues : public ::testing::TestWithParam<BadValue> {};

TEST_P(OptionValues, AreUsageErrorsNamingTheOption) {
    std::vector<std::string> args = GetParam().args;
    args.push_back("a1.bmp");
    const CliParse r = parseCliOptions(args);
    EXPECT_FALSE(r.options);
    EXPECT_TRUE(contains(r.error, GetParam().option)) << r.error;
}

INSTANTIATE_TEST_SUITE_P(
    OutOfRange, OptionValues,
    ::testing::Values(BadValue{{"--edge-factor", "-1"}, "--edge-factor"}, BadValue{{"--edge-factor", "nan"}, "--edge-factor"},
                      BadValue{{"--edge-factor", "inf"}, "--edge-factor"}, BadValue{{"--edge-factor", "1e40"}, "--edge-factor"},
                      BadValue{{"--edge-factor", "1.5"}, "--edge-factor"}, BadValue{{"--edge-factor", "0.1x"}, "--edge-factor"},
                      BadValue{{"--focus-factor", "nan"}, "--focus-factor"}, BadValue{{"--focus-factor", "-0.1"}, "--focus-factor"},
                      BadValue{{"--focus-factor", "1e-50"}, "--focus-factor"}, BadValue{{"--focus-factor", "-inf"}, "--focus-factor"},
                      BadValue{{"-i", "32768"}, "--increment"}, BadValue{{"--increment", "40000"}, "--increment"},
                      BadValue{{"-i", "32767.5"}, "--increment"}, BadValue{{"--ignore", ""}, "--ignore"},
                      BadValue{{"--ignore", "2,"}, "--ignore"}, BadValue{{"--ignore", ",2"}, "--ignore"},
                      BadValue{{"--ignore", "2,,3"}, "--ignore"}, BadValue{{"--offsets", ""}, "--offsets"},
                      BadValue{{"--offsets", "1,2;"}, "--offsets"}, BadValue{{"--offsets", ";1,2"}, "--offsets"},
                      BadValue{{"--diff-factor", "32768"}, "--diff-factor"}, BadValue{{"--diff-factor", "99999999999999999999"}, "--diff-factor"},
                      BadValue{{"--quality", "0"}, "--quality"}, BadValue{{"-i", "1e39"}, "--increment"},
                      BadValue{{"-i", "inf"}, "--increment"}, BadValue{{"-i", "-INF"}, "--increment"},
                      BadValue{{"-i", " nan"}, "--increment"}, BadValue{{"--format", "webp"}, "--format"},
                      BadValue{{"-o", "-"}, "--format"}, BadValue{{"--depth", "12"}, "--depth"}),
    [](const auto& info) {
        std::string name = std::to_string(info.index);
        for (const std::string& a : info.param.args)
            for (char c : a) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

TEST(OptionValues, ValuesAtTheEdgesOfTheirRangesAreAccepted) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--edge-factor", "0"}, {"--edge-factor", "1"}, {"--focus-factor", "1"},
          {"--focus-factor", "0"}, {"-i", "32767"}, {"-i", "32767.4"}, {"-i", "abc"}, {"-i", "information"},
          {"--ignore", "10"}, {"--offsets", "-32768,32767"}, {"--diff-factor", "-32768"}}) {
        std::vector<std::string> line = args;
        line.push_back("a1.bmp");
        EXPECT_TRUE(parseCliOptions(line).options) << args[0] << " " << args[1];
    }
}

TEST_F(HardInputs, UsageErrorsExitTwoBeforeAnythingIsRead) {
    series("u", 2);
    RawResult r = run({"-i", "32768", path("u01.bmp")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(contains(r.err, "--increment")) << r.err;
    r = run({"--smooth", "--focus-factor", "nan", path("u01.bmp")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(contains(r.err, "--focus-factor")) << r.err;
    EXPECT_FALSE(contains(r.err, "is 0")) << r.err;
    EXPECT_FALSE(fs::exists(path("u01 montage.bmp")));
}

TEST_F(HardInputs, AFifoInTheSeriesIsAnInvalidPictureNotAHang) {
    series("f", 2);
    ASSERT_EQ(::mkfifo(path("f03.bmp").c_str(), 0600), 0);
    const RawResult r = run({path("f01.bmp")}, RawRun{"", 0, 30});
    ASSERT_FALSE(r.timedOut) << "orvanta-cli waited on the FIFO";
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err, kInvalid)) << r.err;
}

TEST_F(HardInputs, NamesThatAreNotUtf8AreUsedAsTheirBytes) {
    series("caf\xe9", 3);
    RawResult r = run({path("caf\xe9" "01.bmp")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(path("caf\xe9" "01 montage.bmp")));
    EXPECT_TRUE(contains(r.out, "  First file name =" + path("caf\xe9" "01.bmp") + "\r\n"));
    EXPECT_TRUE(contains(r.out, "  Number of files found =3\r\n"));
    // A relative name in a working folder whose own name is not UTF-8.
    const std::string odd = path("d\xe9j\xe0");
    ASSERT_EQ(::mkdir(odd.c_str(), 0700), 0);
    for (const char* n : {"caf\xe9" "01.bmp", "caf\xe9" "02.bmp"}) fs::copy_file(path(n), odd + "/" + n);
    r = run({"-o", "m.bmp", "caf\xe9" "01.bmp"}, RawRun{odd, 0, 60});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(fs::exists(odd + "/m.bmp"));
}

// A relative first file in a working folder so deep that the name completed against it is longer
// than the system takes for a whole file name: the file is there, so the message says why it was
// not found; so does a default output name that grows past that length.
TEST_F(HardInputs, ANameCompletedPastTheSystemsLengthIsSaidToBeTooLong) {
    // A folder whose own name is 4084 bytes long, one more of 4090 inside it.
    std::string near = dir;
    while (near.size() < 4084) near += "/" + std::string(std::min<std::size_t>(200, 4084 - near.size() - 1), 'd');
    const std::string deeper = near + "/eeeee";
    ASSERT_EQ(deeper.size(), 4090u);
    fs::create_directories(deeper);
    const std::string first = near + "/s1.bmp";
    ASSERT_TRUE(writeBmpFile(first, 40, 30, uniformRow(40, {10, 20, 30})));
    fs::copy_file(first, near + "/s2.bmp");
    const int deep = ::open(deeper.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(deep, 0);
    ASSERT_EQ(::symlinkat("../s1.bmp", deep, "s1.bmp"), 0);
    const std::string tooLong = "bytes; the system takes no file by a name longer than 4095 bytes";

    // 4090 + "/s1.bmp": 4097 bytes.
    RawResult r = run({"-o", path("m.bmp"), "s1.bmp"}, RawRun{deeper, 0, 60});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err, deeper + "/s1.bmp, a name of 4097 " + tooLong)) << r.err;
    EXPECT_FALSE(fs::exists(path("m.bmp")));
    // 4084 + "/s1.bmp" is read; 4084 + "/s1 montage.bmp" (4099 bytes) cannot be written, and says why.
    r = run({"s1.bmp"}, RawRun{near, 0, 60});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err, near + "/s1 montage.bmp: Path/File access error, a name of 4099 " + tooLong)) << r.err;
    // Named relative to the folder, the same montage is written.
    r = run({"-o", "m.bmp", "s1.bmp"}, RawRun{near, 0, 60});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(::unlinkat(deep, "s1.bmp", 0), 0); // the whole name is too long for the folder's removal
    ::close(deep);
}

TEST_F(HardInputs, APictureTooLargeForTheMemoryLeftIsErrorSevenNotAnAbort) {
    if (kAddressSanitizer) GTEST_SKIP() << "an address-space limit cannot hold under AddressSanitizer";
    // 10000 x 10000 needs 300 MB of cells alone; the process may have 256 MB in all.
    ASSERT_TRUE(writeJpegFile(path("big01.jpg"), 10000, 10000, uniformRow(10000, {128}), {JpegColour::Grey}));
    ASSERT_TRUE(writeJpegFile(path("big02.jpg"), 64, 64, uniformRow(64, {60})));
    fs::copy_file(path("big02.jpg"), path("small01.jpg"));
    fs::copy_file(path("big01.jpg"), path("small02.jpg"));
    const RawRun limited{"", std::uint64_t(256) << 20, 120};
    for (const char* first : {"big01.jpg", "small01.jpg"}) { // picture 1, then picture 2 (decoded ahead)
        const RawResult r = run({"-o", path("m.bmp"), path(first)}, limited);
        EXPECT_EQ(r.signal, 0) << first;
        EXPECT_EQ(r.exitCode, 1) << first << ": " << r.err;
        EXPECT_TRUE(contains(r.err, kOutOfMemory)) << r.err;
        EXPECT_FALSE(fs::exists(path("m.bmp")));
    }
}

// Target centres 32000 pixels apart make a maximum area of about 32100 x 32060 pixels, 3.1 GB of
// montage: with 512 MB the run is refused before the montage is filled, says how large the area is
// and what it needs, and writes nothing.
TEST_F(HardInputs, AMaximumAreaTooLargeForTheMemoryLeftIsRefusedSayingWhy) {
    if (kAddressSanitizer) GTEST_SKIP() << "an address-space limit cannot hold under AddressSanitizer";
    series("x", 3);
    const RawRun limited{"", std::uint64_t(512) << 20, 60};
    for (const char* method : {"0", "pyramid"}) {
        const RawResult r = run({"-q", "-m", method, "--offsets", "16000,16000;-16000,-16000;0,0", "--area", "max",
                                 "-o", path("m.bmp"), path("x01.bmp")},
                                limited);
        EXPECT_EQ(r.signal, 0) << method;
        EXPECT_EQ(r.exitCode, 1) << method << ": " << r.err;
        EXPECT_TRUE(contains(r.err, "error 7 (Out of memory) at line 8200 of CommandGo")) << r.err;
        EXPECT_TRUE(contains(r.err, "with --offsets the maximum area is 32096x32064 pixels, whose montage needs 3.1 GB "
                                    "of memory, more than the "))
            << r.err;
        EXPECT_FALSE(fs::exists(path("m.bmp")));
    }
}

TEST_F(HardInputs, HeadersThatLieAreRefusedWithoutTheMemoryTheyClaim) {
    if (kAddressSanitizer) GTEST_SKIP() << "an address-space limit cannot hold under AddressSanitizer";
    series("h", 1);
    ASSERT_TRUE(writeJpegFile(path("claim.jpg"), 64, 64, uniformRow(64, {1, 2, 3})));
    ASSERT_TRUE(patchJpegSides(path("claim.jpg"), 32764, 32764));
    ASSERT_TRUE(sparseFile(path("junk.bmp"), (std::uint64_t(43) << 30) / 10));
    // Reading the claimed 3.2 GB picture, or the 4.3 GB file whole, would not fit in 512 MB.
    const RawRun limited{"", std::uint64_t(512) << 20, 60};
    for (const char* second : {"claim.jpg", "junk.bmp"}) {
        fs::remove(path("h02.bmp"));
        fs::create_symlink(path(second), path("h02.bmp"));
        const RawResult r = run({"-o", path("m.bmp"), path("h01.bmp")}, limited);
        EXPECT_EQ(r.signal, 0) << second;
        EXPECT_EQ(r.exitCode, 1) << second << ": " << r.err;
        EXPECT_TRUE(contains(r.err, kInvalid)) << second << ": " << r.err;
    }
}

TEST_F(HardInputs, ARunThatFailsOnItsMapOrReportChangesNoOutput) {
    series("o", 2);
    std::ofstream(path("m.bmp")) << "old picture";
    std::ofstream(path("map.txt")) << "old map";
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{"--map", path("missing/map.txt")},
          {"--map", path("map.txt"), "--report", path("missing/report.txt")}}) {
        std::vector<std::string> args{"-o", path("m.bmp")};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(path("o01.bmp"));
        const RawResult r = run(args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(contains(r.err, "cannot write " + path("missing/"))) << r.err;
        EXPECT_EQ(text(path("m.bmp")), "old picture");
        EXPECT_EQ(text(path("map.txt")), "old map");
        EXPECT_EQ(names(), (std::vector<std::string>{"m.bmp", "map.txt", "o01.bmp", "o02.bmp"}));
    }
}

// A file size limit (ulimit -f, a batch queue's) that a file of the run would pass is a write that
// fails and is said, with every output as it was and no temporary file left, not a SIGXFSZ that
// ends the run half way through its files.
TEST_F(HardInputs, AFileSizeLimitIsAnOutputThatCannotBeWritten) {
    series("f", 2, 400, 300); // the project's picture, a BMP, takes 360 KB; the JPEG and the map far less
    put(path("m.jpg"), "old picture");
    RawRun limited;
    limited.fileSize = 200 << 10;
    const RawResult r =
        run({"-o", path("m.jpg"), "--map", path("map.txt"), "--save-project", path("p.mon"), path("f01.bmp")}, limited);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(contains(r.err, "orvanta-cli: cannot write " + path("p.vrk") +
                                    ": File too large: the file size limit (ulimit -f) lets a file of this run have "
                                    "at most 204800 bytes\n"))
        << r.err;
    EXPECT_EQ(text(path("m.jpg")), "old picture");
    EXPECT_EQ(names(), (std::vector<std::string>{"f01.bmp", "f02.bmp", "m.jpg"}));
    // Within the limit the same run writes everything.
    limited.fileSize = 1 << 20;
    const RawResult ok =
        run({"-o", path("m.jpg"), "--map", path("map.txt"), "--save-project", path("p.mon"), path("f01.bmp")}, limited);
    EXPECT_EQ(ok.exitCode, 0) << ok.err;
    EXPECT_EQ(names(), (std::vector<std::string>{"f01.bmp", "f02.bmp", "m.jpg", "map.txt", "p.mon", "p.vrk"}));
}

// A picture of the series that is a symbolic link leading round in a loop cannot be opened, and
// is said so: it was never moved or deleted.
TEST_F(HardInputs, APictureThatIsALinkInALoopIsNotSaidToBeGone) {
    series("l", 1);
    fs::create_symlink("l02.bmp", path("l02.bmp"));
    const RawResult r = run({"-o", path("m.bmp"), path("l01.bmp")});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(contains(r.err, kInvalid)) << r.err;
    EXPECT_TRUE(contains(r.err, "orvanta-cli: the picture is " + path("l02.bmp") + ", which cannot be opened: " +
                                    std::strerror(ELOOP) + "\n"))
        << r.err;
    EXPECT_FALSE(contains(r.err, "no longer there")) << r.err;
    EXPECT_FALSE(fs::exists(path("m.bmp")));
}

TEST_F(HardInputs, AFirstNumberPast16BitsIsAnOverflowMessage) {
    series("x", 1);
    fs::rename(path("x01.bmp"), path("shot32768.bmp"));
    const RawResult r = run({path("shot32768.bmp")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err, "error 6 (Overflow) at line 5100 of CommandGo")) << r.err;
}

// A camera numbers its files past 32767 (IMG_40000.jpg): a series that starts there is refused
// with the number said, and one that runs past it says which pictures it could not read.
TEST_F(HardInputs, NumbersPast32767AreSaidNotConfusingOrSilent) {
    series("x", 4);
    for (int k = 1; k <= 4; ++k)
        fs::rename(path("x0" + std::to_string(k) + ".bmp"), path("IMG_" + std::to_string(39998 + k) + ".bmp"));
    RawResult r = run({"-o", path("m.bmp"), path("IMG_39999.bmp")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(contains(r.err, "error 6 (Overflow) at line 4200 of CommandGo")) << r.err;
    EXPECT_TRUE(contains(r.err, "the first file's number, 39999, is past 32767")) << r.err;
    EXPECT_FALSE(fs::exists(path("m.bmp")));

    for (int k = 1; k <= 4; ++k)
        fs::rename(path("IMG_" + std::to_string(39998 + k) + ".bmp"), path("IMG_" + std::to_string(32765 + k) + ".bmp"));
    for (const char* method : {"0", "pyramid"}) {
        r = run({"-m", method, "-o", path("m.bmp"), path("IMG_32766.bmp")});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(contains(r.err, "the series ends at " + path("IMG_32767.bmp") + ": 32767 is the highest number")) << r.err;
        EXPECT_TRUE(contains(r.err, path("IMG_32768.bmp") + " and the pictures after it are not read")) << r.err;
        fs::remove(path("m.bmp"));
    }
    // Read up to where --max-pictures asks, nothing is left out unasked.
    r = run({"--max-pictures", "2", "-o", path("m.bmp"), path("IMG_32766.bmp")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

TEST_F(HardInputs, PicturesAsWideAsSixteenBitsAllowMakeAMontageWithoutOverflow) {
    series("wide", 2, 32764, 24);
    const RawResult r = run({"-o", path("m.bmp"), path("wide01.bmp")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(fs::exists(path("m.bmp")));
}
