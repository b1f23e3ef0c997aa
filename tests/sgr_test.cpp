#include "feed.h"

#include <string>
#include <vector>

namespace {

class Sgr : public ScreenTest {
  protected:
    void ExpectAttributes(const TAttributes &Want, const std::string &Label) const {
        EXPECT_EQ(Term.Current.Fg, Want.Fg) << Label;
        EXPECT_EQ(Term.Current.Bg, Want.Bg) << Label;
        EXPECT_EQ(Term.Current.Bright, Want.Bright) << Label;
    }
};

// Each case starts from the given attributes, plays its sequences, and
// expects the result.
TEST_F(Sgr, CodesByTheTable) {
    struct TCase {
        std::string Setup, Bytes;
        TAttributes Want;
    };
    const std::string Busy = "\x1b[1;33;44m"; // fg 3, bg 4, bright
    const std::string E = "\x1b[";
    const std::vector<TCase> Cases = {
        {Busy, E + "m", {7, 0, false}},
        {Busy, E + "0m", {7, 0, false}},
        {Busy, E + "00m", {7, 0, false}},
        {Busy, E + "-0m", {7, 0, false}},
        {Busy, E + ";m", {3, 4, true}}, // two empty fields, no reset
        {"", E + "31;;44m", {1, 4, false}},
        {"", E + ";31m", {1, 0, false}},
        {"", E + "31;m", {1, 0, false}},
        {"", E + "1;31m", {1, 0, true}},
        {"", E + "31;1m", {1, 0, true}},
        {"", E + "91m", {1, 0, true}},
        {"", E + "97m", {7, 0, true}},
        {"", E + "47m", {7, 7, false}},
        {"", E + "100m", {7, 8, false}},
        {"", E + "101m", {7, 9, false}},
        {"", E + "107m", {7, 15, false}},
        {"", E + "107m" + E + "40m", {7, 0, false}},
        {"", E + "1;0m", {7, 0, false}},
        {"", E + "0;1m", {7, 0, true}},
        {"", E + "1m" + E + "32m", {2, 0, true}},
        {Busy,
         E + "2m" + E + "5m" + E + "7m" + E + "22m" + E + "29m" + E + "39m" + E + "49m",
         {3, 4, true}},
        {Busy,
         E + "38m" + E + "48m" + E + "98m" + E + "99m" + E + "108m" + E + "-31m",
         {3, 4, true}},
        {"", E + "38;5;196m", {7, 0, false}},
        {"", E + "38;5;1m", {7, 0, true}},
        {"", E + "48;5;31m", {1, 0, false}},
        {Busy, E + "38;2;255;0;0m", {7, 0, false}},
        {"", E + " 31m", {1, 0, false}},
        {Busy, E + " m", {3, 4, true}}, // a field of blanks: no number, no reset
        {"", E + " ;1m", {7, 0, true}},
        {"", E + "\t\t;\t 1m", {7, 0, true}},
        {"", E + "31 m", {7, 0, false}},
        {"", E + "\t31m", {1, 0, false}},
        {"", E + "+32m", {2, 0, false}},
        {"", E + "0031m", {1, 0, false}},
        {"", E + "$29m", {7, 1, false}},
        {"", E + "&37m", {1, 0, false}},
        {"", E + "%11110m", {0, 0, false}},
        {"", E + "\"31\"m", {1, 0, false}},
        {"", E + "\"3;1\"m", {7, 0, false}},
        {"", E + "\"31m", {1, 0, false}},
        {"", E + "\"31\";44m", {1, 4, false}},
        {"", E + std::string("31\0m", 4), {1, 0, false}},
        {"", E + "2147483648m", {7, 0, false}},
        {"", E + "4294967297m", {7, 0, false}}, // ten digits: no wrap to 1
        {"", E + "1:31m", {7, 0, false}},
        {"", E + std::string(253, '0') + "31m", {1, 0, false}},
        {"", E + std::string(254, '0') + "31m", {7, 0, false}}, // 256 bytes
        {"", E + "?31m", {7, 0, false}},
        {"", E + "31\r\n;44m", {7, 4, false}},
    };
    for (const TCase &Case : Cases) {
        Term = TTerminal{};
        Feed(Case.Setup);
        FeedCutEverywhere(Case.Bytes);
        ExpectAttributes(Case.Want, Case.Bytes.substr(1));
    }
}

TEST_F(Sgr, BrightByCodeOneOrNinetiesGivesIdenticalCells) {
    Feed("\x1b[91mA\x1b[0m\x1b[1;31mA\x1b[0m\x1b[31;1mA");
    EXPECT_EQ(Cell(0, 0), (TCharInfo{'A', 1, 0, true}));
    EXPECT_EQ(Cell(0, 0), Cell(0, 1));
    EXPECT_EQ(Cell(0, 0), Cell(0, 2));
}

TEST_F(Sgr, ColourChangeLeavesWrittenCellsAlone) {
    Feed("\x1b[32;41mA\x1b[0mB");
    EXPECT_EQ(Cell(0, 0), (TCharInfo{'A', 2, 1, false}));
    EXPECT_EQ(Cell(0, 1), (TCharInfo{'B', 7, 0, false}));
}

} // namespace
