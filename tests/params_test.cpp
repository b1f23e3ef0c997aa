#include "terminal/terminal.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace {

// Q stands for a double quote in the tables below.
std::string Q(std::string Text) {
    for (char &C : Text)
        if (C == 'Q')
            C = '"';
    return Text;
}

TEST(SplitParams, CutsAtSemicolonsAndUnquotes) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> Cases = {
        {"", {}},
        {"5", {"5"}},
        {";", {"", ""}},
        {"1;", {"1", ""}},
        {";1", {"", "1"}},
        {"1;;2", {"1", "", "2"}},
        {";;", {"", "", ""}},
        {Q("Q3;1Q"), {"3;1"}},
        {Q("Q31Q;44"), {"31", "44"}},
        {Q("Q31Q2"), {"31", "2"}},
        {Q("Q31"), {"31"}},
        {Q("Q3QQ1Q"), {Q("3Q1")}},
        {Q("Q"), {""}},
        {Q("3Q1"), {Q("3Q1")}},
        {" 1 ; 2 ", {" 1 ", " 2 "}},
        {Q("QQQQ;x"), {Q("Q"), "x"}},
        {Q("QaQQbQ;QcQQdQ"), {Q("aQb"), Q("cQd")}},
        {Q("QaQQ"), {Q("aQ")}},
    };
    for (const auto &[Text, Fields] : Cases)
        EXPECT_EQ(SplitParams(Text), Fields) << Text;
}

TEST(TryParseInt, FollowsItsByteRules) {
    using std::nullopt;
    const std::vector<std::pair<std::string, std::optional<std::int32_t>>> Cases = {
        {"0", 0},
        {"007", 7},
        {"  12", 12},
        {"\t 12", 12},
        {"12 ", nullopt},
        {"+5", 5},
        {"-5", -5},
        {"-0", 0},
        {"", nullopt},
        {"-", nullopt},
        {"+-5", nullopt},
        {"$", nullopt},
        {"$1F", 31},
        {"$1f", 31},
        {"$aF", 175},
        {"x1F", 31},
        {"X10", 16},
        {"0x10", 16},
        {"0X10", 16},
        {"%101", 5},
        {"%102", nullopt},
        {"&17", 15},
        {"&18", nullopt},
        {"1e3", nullopt},
        {"1`", nullopt},
        {"A", nullopt},
        {"2;3", nullopt},
        {"2147483647", 2147483647},
        {"2147483648", nullopt},
        {"-2147483648", -2147483647 - 1},
        {"-2147483649", nullopt},
        {"$FFFFFFFF", -1},
        {"$80000000", -2147483647 - 1},
        {"$100000000", nullopt},
        {"-$FFFFFFFF", nullopt},
        {"-$80000000", -2147483647 - 1},
        {"99999999999999999999999", nullopt},
        {std::string("12\0"
                     "9",
                     4),
         12},
        {std::string("12\0x", 4), 12},
        {std::string("0\0", 2), 0},
        {std::string("000\0", 4), 0},
        {std::string("\0", 1), nullopt},
        {std::string("-\0", 2), nullopt},
        {std::string("$\0", 2), nullopt},
        {std::string(255, '0'), 0},
        {std::string(256, '0'), nullopt},
        {std::string(254, '0') + "7", 7},
        {std::string(255, '0') + "7", nullopt},
    };
    for (const auto &[Text, Expected] : Cases) {
        std::int32_t Value = 12345;
        const bool Converted = TryParseInt(Text, Value);
        EXPECT_EQ(Converted, Expected.has_value()) << '"' << Text << '"';
        if (Converted && Expected) {
            EXPECT_EQ(Value, *Expected) << '"' << Text << '"';
        }
    }
}

} // namespace
