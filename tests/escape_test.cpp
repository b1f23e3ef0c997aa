#include "feed.h"

#include <string>
#include <vector>

namespace {

struct TMoveCase {
    std::int32_t FromX, FromY;
    std::string Bytes;
    std::int32_t ToX, ToY;
};

class Moves : public ScreenTest {
  protected:
    void PlayMoves(const std::vector<TMoveCase> &Cases);
};
class CursorMove : public Moves {};
class CursorPosition : public Moves {};
class Erase : public ScreenTest {};

void Moves::PlayMoves(const std::vector<TMoveCase> &Cases) {
    for (const TMoveCase &Case : Cases) {
        Term = TTerminal{};
        Term.CurX = Case.FromX;
        Term.CurY = Case.FromY;
        FeedCutEverywhere(Case.Bytes);
        EXPECT_EQ(Term.CurX, Case.ToX) << Case.Bytes.substr(1);
        EXPECT_EQ(Term.CurY, Case.ToY) << Case.Bytes.substr(1);
    }
}

TEST_F(CursorMove, ClampsOnOneSideOnly) {
    PlayMoves({
        {0, 0, "\x1b[A", 0, 0},
        {0, 10, "\x1b[3A", 0, 7},
        {0, 0, "\x1b[99B", 0, 24},
        {0, 0, "\x1b[200C", 79, 0},
        {2, 0, "\x1b[5D", 0, 0},
        {4, 4, "\x1b[0A\x1b[0B\x1b[0C\x1b[0D", 4, 4},
        {0, 10, "\x1b[2;3A", 0, 9}, // does not convert: 1
        {0, 10, "\x1b[?5A", 0, 9},  // not numeric: 1
        {0, 10, "\x1b[ 5A", 0, 9},
        {0, 0, "\x1b[0005C", 5, 0},
        {0, 10, "\x1b[2147483647A", 0, 0},
        {0, 0, "\x1b[2147483647B", 0, 24},
        {0, 0, "\x1b[2147483648B", 0, 1}, // out of range: 1
        {0, 0, "\x1b[2147483647C", 79, 0},
        {5, 0, "\x1b[2147483647D", 0, 0},
        {0, 0, "\x1b[" + std::string(253, '0') + "3B", 0, 3},
        {0, 0, "\x1b[" + std::string(255, '0') + "3B", 0, 1}, // 256 bytes: 1
        {0, -1, "\x1b[A", 0, 0},                              // pulled back on the clamped side
        {0, 29, "\x1b[B", 0, 24},
        {0, 29, "\x1b[A", 0, 28},
        {-1, 0, "\x1b[C", 0, 0},
        {0, 0, "\x1b[5a", 0, 0}, // letters are case-sensitive
    });
    PlayMoves({{2147483646, 2147483646, "\x1b[2147483647B\x1b[2147483647C", 79, 24},
               {-1, -1, "\x1b[2147483647A\x1b[2147483647D", 0, 0}});
}

TEST_F(CursorPosition, IsOneBasedAndUnclamped) {
    PlayMoves({
        {9, 9, "\x1b[H", 0, 0},
        {9, 9, "\x1b[f", 0, 0},
        {9, 9, "\x1b[;H", 0, 0},
        {0, 0, "\x1b[12;40H", 39, 11},
        {0, 0, "\x1b[12;40f", 39, 11},
        {9, 9, "\x1b[5H", 9, 9},
        {9, 9, "\x1b[5;H", 0, 4},
        {9, 9, "\x1b[;5H", 4, 0},
        {9, 9, "\x1b[0;0H", -1, -1},
        {9, 9, "\x1b[30;100H", 99, 29},
        {9, 9, "\x1b[?1H", 9, 9},
        {9, 9, "\x1b[1;2;3H", 1, 0},
        {9, 9, "\x1b[1;2;H", 1, 0},
        {9, 9, "\x1b[2147483647;2147483647H", 2147483646, 2147483646},
        {9, 9, "\x1b[2147483648;3H", 2, 0}, // out of range: 1
        {9, 9, "\x1b(B\x1b[s\x1b[u\x1b[?25h\x1b[2h\x1b[5E\x1b[5G", 9, 9},
    });
}

// Erase cases: cursor, sequence, and the rows (or one row's columns) that
// must end blank; everything else must keep its 'x'.
struct TEraseCase {
    std::int32_t X, Y;
    std::string Bytes;
    std::int32_t FirstRow, LastRow;    // rows erased in full
    std::int32_t CursorFrom, CursorTo; // columns erased on row Y, if on screen
};

TEST_F(Erase, ErasesExactlyItsRange) {
    const std::vector<TEraseCase> Cases = {
        {10, 5, "\x1b[J", 6, 24, 10, 79},        {10, 5, "\x1b[0J", 6, 24, 10, 79},
        {10, 5, "\x1b[2;1J", 6, 24, 10, 79}, // does not convert: mode 0
        {10, 5, "\x1b[1J", 0, 4, 0, 10},         {10, 5, "\x1b[2J", 0, 24, 0, 79},
        {10, 5, "\x1b[3J", 1, 0, 1, 0},          {10, 5, "\x1b[9K", 1, 0, 1, 0},
        {10, 5, "\x1b[K", 1, 0, 10, 79},         {10, 5, "\x1b[1;2K", 1, 0, 10, 79},
        {10, 5, "\x1b[1K", 1, 0, 0, 10},         {10, 5, "\x1b[2K", 1, 0, 0, 79},
        {79, 5, "\x1b[K", 1, 0, 79, 79},         {0, 5, "\x1b[1K", 1, 0, 0, 0},
        {-1, -1, "\x1b[J", 0, 24, 1, 0},         {-1, -1, "\x1b[1J", 1, 0, 1, 0},
        {-1, -1, "\x1b[K", 1, 0, 1, 0},          {-1, -1, "\x1b[1K", 1, 0, 1, 0},
        {-1, -1, "\x1b[2K", 1, 0, 1, 0},         {0, 29, "\x1b[1J", 0, 24, 1, 0},
        {0, 29, "\x1b[J", 1, 0, 1, 0},           {0, 29, "\x1b[2K", 1, 0, 1, 0},
        {0, 25, "\x1b[K", 1, 0, 1, 0}, // the first row below the screen
        {0, 25, "\x1b[J", 1, 0, 1, 0},           {99, 5, "\x1b[K", 1, 0, 1, 0},
        {99, 5, "\x1b[1K", 1, 0, 0, 79},         {-1, 5, "\x1b[K", 1, 0, 0, 79},
        {-1, 5, "\x1b[1K", 1, 0, 1, 0},          {-1, 5, "\x1b[J", 6, 24, 0, 79},
        {99, 5, "\x1b[1J", 0, 4, 0, 79},         {2147483646, 2147483646, "\x1b[1J", 0, 24, 1, 0},
        {2147483646, 5, "\x1b[1K", 1, 0, 0, 79}, {-2147483647 - 1, 5, "\x1b[K", 1, 0, 0, 79},
    };
    for (const TEraseCase &Case : Cases) {
        Term = TTerminal{};
        FillScreen();
        Term.CurX = Case.X;
        Term.CurY = Case.Y;
        FeedCutEverywhere(Case.Bytes);
        EXPECT_EQ(Term.CurX, Case.X);
        EXPECT_EQ(Term.CurY, Case.Y);
        for (std::int32_t Y = 0; Y < 25; ++Y)
            for (std::int32_t X = 0; X < 80; ++X) {
                const bool Erased = (Y >= Case.FirstRow && Y <= Case.LastRow) ||
                                    (Y == Case.Y && X >= Case.CursorFrom && X <= Case.CursorTo);
                ASSERT_EQ(Cell(Y, X).Ch, Erased ? ' ' : 'x')
                    << Case.Bytes.substr(1) << " at " << Case.X << "," << Case.Y << " cell " << Y
                    << "," << X;
            }
    }
}

// ESC [ 2 and one byte, then "Q", from column 10 of row 10: only the nine
// final letters act; a letter ends the sequence, any other byte is collected
// until the "Q" ends it.
TEST_F(Erase, OnlyTheNineFinalLettersAct) {
    std::string Finals = "@[`{~\x7f\x80\xff";
    for (char Letter = 'A'; Letter <= 'Z'; ++Letter)
        Finals += {Letter, static_cast<char>(Letter + 32)};
    for (const char Final : Finals) {
        Term = TTerminal{};
        FillScreen();
        Term.CurX = Term.CurY = 10;
        Feed(std::string("\x1b[2") + Final + "Q");
        const bool IsLetter = (Final >= 'A' && Final <= 'Z') || (Final >= 'a' && Final <= 'z');
        const std::int32_t X = Final == 'C' ? 12 : Final == 'D' ? 8 : 10;
        const std::int32_t Y = Final == 'B' ? 12 : Final == 'A' ? 8 : 10;
        const std::string Label = "final " + std::to_string(static_cast<std::uint8_t>(Final));
        EXPECT_EQ(Term.CurX, X + IsLetter) << Label;
        EXPECT_EQ(Term.CurY, Y) << Label;
        EXPECT_EQ(Cell(Y, X).Ch, IsLetter ? 'Q' : 'x') << Label;
        EXPECT_EQ(Cell(0, 0).Ch, Final == 'J' ? ' ' : 'x') << Label;
        EXPECT_EQ(Cell(10, 79).Ch, Final == 'J' || Final == 'K' ? ' ' : 'x') << Label;
        EXPECT_EQ(Term.BlankCell(), (TCharInfo{32, 7, 0, false})) << Label;
    }
}

TEST_F(Erase, TakesTheAttributesCurrentAtTheErase) {
    Feed("\x1b[1;33;44m\x1b[K\x1b[2J\x1b[0m");
    for (std::int32_t Y = 0; Y < 25; ++Y)
        ExpectRowBlank(Y, {32, 3, 4, true});
}

} // namespace
