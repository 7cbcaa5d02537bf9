#include "bench/BenchPlan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using bench::BenchCase;

std::string refusal(const std::string& text) {
    try {
        bench::parsePlan(text);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return "accepted";
}

// A block as GetEnvironmentStrings gives it: NUL-terminated strings, then an empty one.
std::string block(const std::vector<std::string>& entries) {
    std::string result;
    for (const std::string& entry : entries)
        result += entry + '\0';
    return result + '\0';
}

}  // namespace

TEST(BenchPlan, ReadsCasesWithAndWithoutArguments) {
    const std::string text =
        "# label\tprogram\targuments\r\n"
        "\n"
        "empty\tZ:\\b\\bench_empty.exe\r\n"
        "copy-151\tZ:\\b\\bench_copy.exe\t\"Z:\\b\\payload 151.exe\"\n"
        "kiteboot-1.5_x\tZ:\\b\\k.exe";
    const std::vector<BenchCase> expected = {
        {"empty", "Z:\\b\\bench_empty.exe", ""},
        {"copy-151", "Z:\\b\\bench_copy.exe", "\"Z:\\b\\payload 151.exe\""},
        {"kiteboot-1.5_x", "Z:\\b\\k.exe", ""},
    };
    EXPECT_EQ(expected, bench::parsePlan(text));
}

TEST(BenchPlan, RefusesLinesItCannotUse) {
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {"empty\n", "plan line 1: expected label<TAB>program[<TAB>arguments]"},
        {"# c\nempty\t\n", "plan line 2: expected label<TAB>program[<TAB>arguments]"},
        {"a\tp\tx\ty\n", "plan line 1: more than three fields"},
        {"\tp\n", "plan line 1: label '' must be letters, digits, '-', '_' or '.'"},
        {"a b\tp\n", "plan line 1: label 'a b' must be letters, digits, '-', '_' or '.'"},
        {"a\\b\tp\n", "plan line 1: label 'a\\b' must be letters, digits, '-', '_' or '.'"},
        {"a\tp\n\nb\tq\na\tr\n", "plan line 4: label 'a' is used twice"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.message, refusal(c.text)) << c.text;
}

TEST(BenchPlan, CommandLineQuotesTheProgramAndAppendsTheArguments) {
    EXPECT_EQ("\"C:\\a b\\p.exe\"", bench::commandLineOf({"x", "C:\\a b\\p.exe", ""}));
    EXPECT_EQ("\"C:\\p.exe\" \"D:\\f 1.exe\" /s",
              bench::commandLineOf({"x", "C:\\p.exe", "\"D:\\f 1.exe\" /s"}));
}

TEST(RoundOrder, EveryRoundStartsEachCaseOnce) {
    for (const std::size_t count : {0u, 1u, 2u, 17u}) {
        for (unsigned round = 0; round < 30; ++round) {
            std::vector<std::size_t> order = bench::roundOrder(count, round, 7);
            std::sort(order.begin(), order.end());
            std::vector<std::size_t> all(count);
            for (std::size_t i = 0; i < count; ++i)
                all[i] = i;
            EXPECT_EQ(all, order) << count << " cases, round " << round;
        }
    }
}

TEST(RoundOrder, IsRepeatableAndShuffledAfreshEachRound) {
    EXPECT_EQ(bench::roundOrder(17, 3, 7), bench::roundOrder(17, 3, 7));
    EXPECT_NE(bench::roundOrder(17, 3, 7), bench::roundOrder(17, 3, 8));
    // Over 60 rounds every one of five cases comes first sometimes and last sometimes: none keeps a fixed
    // place or a fixed neighbour.
    std::set<std::size_t> first;
    std::set<std::size_t> last;
    std::set<std::vector<std::size_t>> orders;
    for (unsigned round = 0; round < 60; ++round) {
        const std::vector<std::size_t> order = bench::roundOrder(5, round, 1);
        first.insert(order.front());
        last.insert(order.back());
        orders.insert(order);
    }
    EXPECT_EQ(5u, first.size());
    EXPECT_EQ(5u, last.size());
    EXPECT_GT(orders.size(), 30u);
}

TEST(EnvironmentWithTemp, ReplacesTempAndTmpOnly) {
    const std::string current = block({"=C:=C:\\work", "Path=C:\\windows", "TEMP=C:\\old", "tmp=C:\\old",
                                       "TempDir=C:\\keep", "TMPX=keep", "Temp=C:\\older"});
    const std::string expected = block({"=C:=C:\\work", "Path=C:\\windows", "TempDir=C:\\keep", "TMPX=keep",
                                        "TEMP=Z:\\run 1", "TMP=Z:\\run 1"});
    EXPECT_EQ(expected, bench::environmentWithTemp(current.c_str(), "Z:\\run 1"));
}

TEST(EnvironmentWithTemp, AddsTempAndTmpToAnEmptyEnvironment) {
    EXPECT_EQ(block({"TEMP=T", "TMP=T"}), bench::environmentWithTemp(block({}).c_str(), "T"));
}

TEST(Leftovers, OnlyTheLaunchersLogMayStay) {
    const std::vector<std::string> entries = {"morvane.log", "MORVANE.LOG", "zor123.tmp", "morvane.log.1",
                                              "setup.exe"};
    const std::vector<std::string> expected = {"zor123.tmp", "morvane.log.1", "setup.exe"};
    EXPECT_EQ(expected, bench::unexpectedLeftovers(entries));
    EXPECT_TRUE(bench::unexpectedLeftovers({"morvane.log"}).empty());
}
