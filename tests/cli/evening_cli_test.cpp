// A series whose steps were taken brighter and darker (a flash, a flickering lamp): Pyramid Focus
// evens the pictures out and says which, in the properties and on standard error; the block
// methods use the pictures as they are and say nothing.
#include "cli_support.h"

#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

using namespace orv::test;

namespace {

TEST(EvenedPictures, PyramidFocusSaysWhichPicturesItEvenedOut) {
    QTemporaryDir dir;
    const auto g = runProgram("make-sample-series", {dir.path() + "/s", "--count", "5", "--size", "160x120", "--scene",
                                                     "natural", "--gain-step", "0.08", "--no-truth"});
    ASSERT_EQ(g.exitCode, 0) << g.err;
    const QString first = dir.path() + "/s/sample01.bmp";
    const auto r = runProgram("orvanta-cli", {"-q", "-m", "pyramid", "-o", dir.path() + "/m.bmp", first});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Gains 0.84 to 1.16 a step of 0.08 from the middle: the end pictures lie about 15 % from the
    // median (a little more where the brightest clip), the middle one on it.
    EXPECT_TRUE(std::regex_search(r.out, std::regex("  Note: image 1 is 1[5-7] % darker than the series and is evened out\r\n")))
        << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("  Note: image 5 is 1[4-6] % brighter than the series and is evened out\r\n")))
        << r.out;
    EXPECT_LT(r.out.find("is evened out"), r.out.find("  Increment size ="));
    EXPECT_NE(r.err.find("orvanta-cli: image 2 is 8 % darker than the series and is evened out\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("image 3 is"), std::string::npos) << r.err;

    const auto block = runProgram("orvanta-cli", {"-q", "-m", "0", "-o", dir.path() + "/b.bmp", first});
    ASSERT_EQ(block.exitCode, 0) << block.err;
    EXPECT_EQ(block.out.find("evened"), std::string::npos);
    EXPECT_EQ(block.err.find("evened"), std::string::npos);
}

// A frame taken with the cap on (sensor noise around black) in the middle of a series is left out
// of Pyramid Focus, as an ignored picture is: it never shows in the dominant-image map, and the run
// said nothing of why.
TEST(EvenedPictures, PyramidFocusSaysWhichFrameItLeftOut) {
    QTemporaryDir dir;
    const auto g = runProgram("make-sample-series", {dir.path() + "/s", "--count", "5", "--size", "240x180", "--scene",
                                                     "natural", "--no-truth"});
    ASSERT_EQ(g.exitCode, 0) << g.err;
    QImage cap(240, 180, QImage::Format_RGB888);
    for (int y = 0; y < cap.height(); ++y)
        for (int x = 0; x < cap.width(); ++x) {
            auto v = [&](unsigned salt) { return int((unsigned(x) * 73856093u ^ unsigned(y) * 19349663u ^ salt * 83492791u) % 9u) + 2; };
            cap.setPixel(x, y, qRgb(v(1), v(2), v(3)));
        }
    ASSERT_TRUE(cap.save(dir.path() + "/s/sample03.bmp"));
    const QString first = dir.path() + "/s/sample01.bmp";
    const auto r = runProgram("orvanta-cli", {"-q", "-m", "pyramid", "-o", dir.path() + "/m.bmp", first});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::size_t note = r.out.find("\r\n  Note: image 3 has no detail and was left out\r\n");
    ASSERT_NE(note, std::string::npos) << r.out;
    EXPECT_LT(note, r.out.find("  Increment size ="));
    EXPECT_NE(r.err.find("orvanta-cli: image 3 has no detail and was left out\n"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;

    // The series as taken: nothing is left out, and nothing said.
    const auto whole = runProgram("make-sample-series", {dir.path() + "/t", "--count", "5", "--size", "240x180",
                                                         "--scene", "natural", "--no-truth"});
    ASSERT_EQ(whole.exitCode, 0) << whole.err;
    const auto plain = runProgram("orvanta-cli", {"-q", "-m", "pyramid", "-o", dir.path() + "/p.bmp", dir.path() + "/t/sample01.bmp"});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(plain.out.find("left out"), std::string::npos) << plain.out;
    EXPECT_EQ(plain.err.find("left out"), std::string::npos) << plain.err;
}

} // namespace
