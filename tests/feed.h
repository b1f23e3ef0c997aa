// Helpers shared by the terminal tests.
#pragma once

#include "terminal/terminal.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string_view>
#include <vector>

// A failed comparison shows the terminal as text, not as its raw bytes.
inline void PrintTo(const TTerminal &Terminal, std::ostream *Out) {
    *Out << "cursor " << Terminal.CurX << "," << Terminal.CurY << " pen "
         << int{Terminal.Current.Fg} << "/" << int{Terminal.Current.Bg} << "/"
         << Terminal.Current.Bright << " open " << static_cast<int>(Terminal.Walk.Open);
    for (std::int32_t Row = 0; Row < ScreenHeight; ++Row) {
        *Out << "\n  ";
        for (std::int32_t Column = 0; Column < ScreenWidth; ++Column)
            *Out << static_cast<char>(Terminal.ScreenBuffer[Row][Column].Ch);
    }
}

// Every test starts from a fresh terminal.
class ScreenTest : public ::testing::Test {
  protected:
    TTerminal Term;

    // The bytes go in a heap block of their exact size, with no terminator,
    // so the sanitizer build catches a walk that reads past the end.
    void Feed(std::string_view Bytes) {
        const std::vector<std::uint8_t> Exact(Bytes.begin(), Bytes.end());
        WalkBytes(Term, Exact);
    }
    // Plays Bytes from the terminal as it stands, as one block and cut in
    // two at every point and into single bytes: blocks that end inside a
    // sequence must not change what it does.
    void FeedCutEverywhere(std::string_view Bytes) {
        const TTerminal Start = Term;
        Feed(Bytes);
        const auto Walk = [&Bytes](TTerminal &Terminal, std::size_t From, std::size_t To) {
            const std::vector<std::uint8_t> Exact(Bytes.begin() + static_cast<long>(From),
                                                  Bytes.begin() + static_cast<long>(To));
            WalkBytes(Terminal, Exact);
        };
        for (std::size_t Cut = 1; Cut < Bytes.size(); ++Cut) {
            TTerminal Cuts = Start;
            Walk(Cuts, 0, Cut);
            Walk(Cuts, Cut, Bytes.size());
            ASSERT_EQ(Cuts, Term) << "cut after " << Cut << " bytes of " << Bytes.substr(1);
        }
        TTerminal Bytewise = Start;
        for (std::size_t At = 0; At < Bytes.size(); ++At)
            Walk(Bytewise, At, At + 1);
        ASSERT_EQ(Bytewise, Term) << "byte by byte: " << Bytes.substr(1);
    }
    const TCharInfo &Cell(std::int32_t Row, std::int32_t Column) const {
        return Term.ScreenBuffer[Row][Column];
    }
    void ExpectRowBlank(std::int32_t Row,
                        TCharInfo Blank = {' ', DEFAULT_ATTRIBUTES.Fg, DEFAULT_ATTRIBUTES.Bg,
                                           DEFAULT_ATTRIBUTES.Bright}) const {
        for (std::int32_t X = 0; X < ScreenWidth; ++X)
            ASSERT_EQ(Cell(Row, X), Blank) << "row " << Row << " column " << X;
    }
    // Fills every cell with 'x' so that erasing shows.
    void FillScreen() {
        for (std::int32_t Y = 0; Y < ScreenHeight; ++Y)
            for (std::int32_t X = 0; X < ScreenWidth; ++X)
                Term.ScreenBuffer[Y][X] = TCharInfo{'x', 7, 0, false};
    }
};
