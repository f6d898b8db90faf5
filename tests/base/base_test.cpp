// Rounding, checked 16-bit values, the leading-number rule and the error texts.
#include "support/case_name.h"
#include "base/atomic_file.h"
#include "base/leading_number.h"
#include "base/numbers.h"
#include "base/prompt.h"
#include "base/runtime_error.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <cstdlib>

using namespace orv;

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(roundToInt16(24.5), 24);
    EXPECT_EQ(roundToInt16(25.5), 26);
    EXPECT_EQ(roundToInt16(-2.5), -2);
    EXPECT_EQ(roundToInt16(2.4999), 2);
    EXPECT_EQ(roundToInt16(32767.4), 32767);
}

TEST(Rounding, ValuesBeyond16BitsRaiseOverflow) {
    for (double v : {32767.5, -32768.6, 1e9, std::nan("")}) {
        try {
            roundToInt16(v);
            FAIL() << v;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), 6);
            EXPECT_EQ(e.description(), "Overflow");
        }
    }
    EXPECT_THROW(toInt16(32768), RuntimeError);
    EXPECT_EQ(toInt16(-32768), -32768);
}

struct LeadingCase {
    const char* text;
    double value;
    bool outOfRange;
};

class LeadingNumberTest : public ::testing::TestWithParam<LeadingCase> {};

TEST_P(LeadingNumberTest, ReadsTheNumberAtTheStart) {
    const auto c = GetParam();
    const auto r = parseLeadingNumber(c.text);
    EXPECT_DOUBLE_EQ(r.value, c.value) << '"' << c.text << '"';
    EXPECT_EQ(r.outOfRange, c.outOfRange) << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LeadingNumberTest,
    ::testing::Values(LeadingCase{"20", 20, false}, LeadingCase{" 30 ", 30, false},
                      LeadingCase{"10abc", 10, false}, LeadingCase{"abc", 0, false},
                      LeadingCase{"", 0, false}, LeadingCase{"-12.5x", -12.5, false},
                      LeadingCase{"+7", 7, false}, LeadingCase{"1 2", 12, false},
                      LeadingCase{"2.5e1", 25, false}, LeadingCase{"3e", 3, false},
                      LeadingCase{".5", 0.5, false}, LeadingCase{".", 0, false},
                      LeadingCase{"1e39", 0, true}, LeadingCase{"-1e400", 0, true},
                      LeadingCase{"25.5", 25.5, false}),
    [](const auto& info) {
        return std::string(info.param.text) == "." ? std::string("dot") : orv::testing::caseName(info.param.text);
    });

TEST(ErrorText, GenericMessageNamesNumberDescriptionLineAndRoutine) {
    EXPECT_EQ(genericErrorText(RuntimeError(6), 1000, "CommandGo"),
              "error 6 (Overflow) at line 1000 of CommandGo");
    EXPECT_EQ(RuntimeError(481).description(), "Invalid picture");
    EXPECT_EQ(RuntimeError(480).description(), "Can't create AutoRedraw image");
    try {
        try {
            throw std::bad_alloc();
        } catch (...) {
            throw currentError();
        }
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 7);
    }
}

TEST(Prompter, RecordsPromptsAndAnswersFromTheScript) {
    RecordingPrompter p;
    p.answerNext(PromptAnswer::No);
    EXPECT_EQ(p.ask(PromptIcon::Question, "Sure?", "t", PromptButtons::YesNo), PromptAnswer::No);
    EXPECT_EQ(p.ask(PromptIcon::Question, "Again?", "t", PromptButtons::YesNo), PromptAnswer::Yes);
    ASSERT_EQ(p.shown.size(), 2u);
    EXPECT_EQ(p.shown[0].text, "Sure?");
}

TEST(AtomicFile, AnUncommittedFileLeavesTheTargetAndNoTemporaryFile) {
    char tmpl[] = "/tmp/orvanta-atomic-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    const std::string target = dir + "/picture.bmp";
    writeFileAtomically(target, {'o', 'l', 'd'});
    {
        AtomicFile f(target);
        f.write("new data", 8);
        // destroyed without commit, as when a later write fails
    }
    std::ifstream in(target);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "old");
    std::size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
    {
        AtomicFile f(target);
        f.write("new", 3);
        f.commit();
    }
    std::ifstream again(target);
    std::string now((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>());
    EXPECT_EQ(now, "new");
    EXPECT_THROW(AtomicFile(dir + "/no-such-folder/x.bmp"), RuntimeError);
    std::filesystem::remove_all(dir);
}
