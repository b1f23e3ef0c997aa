#include "feed.h"

#include <string>

namespace {

class Screen : public ScreenTest {};
class Walk : public ScreenTest {};

TEST_F(Screen, StartsBlankWithDefaultAttributes) {
    for (std::int32_t Y = 0; Y < 25; ++Y)
        ExpectRowBlank(Y);
    EXPECT_EQ(Term.CurX, 0);
    EXPECT_EQ(Term.CurY, 0);
    EXPECT_EQ(Term.Current.Fg, 7);
    EXPECT_EQ(Term.Current.Bg, 0);
    EXPECT_FALSE(Term.Current.Bright);
}

TEST_F(Screen, ScrollMovesRowsUpAndBlanksBottomWithCurrentAttributes) {
    Feed("first\r\nsecond");
    Term.Current.Bg = 4;
    Term.CurX = 37;
    ScrollUp(Term);
    EXPECT_EQ(Cell(0, 0).Ch, 's');
    EXPECT_EQ(Cell(0, 1), (TCharInfo{'e', 7, 0, false})); // moved rows keep their attributes
    ExpectRowBlank(24, {32, 7, 4, false});
    EXPECT_EQ(Term.CurX, 37);
    EXPECT_EQ(Term.CurY, 24);
}

// Terminals compare by what rows show, wherever the ring starts.
TEST_F(Screen, TerminalsCompareByTheirCells) {
    TTerminal Other = Term;
    Other.ScreenBuffer[24][79].Ch = 'x';
    EXPECT_FALSE(Other == Term);
}

TEST_F(Screen, ManyScrollsKeepRowOrder) {
    std::string Text;
    for (int Line = 0; Line < 100; ++Line)
        Text += std::to_string(Line) + "\r\n";
    Feed(Text);
    for (int Row = 0; Row < 24; ++Row)
        EXPECT_EQ(std::string(1, static_cast<char>(Cell(Row, 0).Ch)) +
                      static_cast<char>(Cell(Row, 1).Ch),
                  std::to_string(76 + Row));
    ExpectRowBlank(24);
}

TEST_F(Walk, PlacesPrintableBytesWithCurrentAttributes) {
    Feed("ABC");
    EXPECT_EQ(Cell(0, 0), (TCharInfo{'A', 7, 0, false}));
    EXPECT_EQ(Cell(0, 2), (TCharInfo{'C', 7, 0, false}));
    EXPECT_EQ(Term.CurX, 3);
    EXPECT_EQ(Term.CurY, 0);
}

TEST_F(Walk, CarriageReturnAndLineFeed) {
    struct TCase {
        const char *Bytes;
        std::int32_t Row, Column;
    };
    for (const TCase &Case : {TCase{"A\nB", 1, 1}, TCase{"A\r\nB", 1, 0}, TCase{"A\rB", 0, 0}}) {
        Term = TTerminal{};
        Feed(Case.Bytes);
        EXPECT_EQ(Cell(Case.Row, Case.Column).Ch, 'B') << Case.Bytes;
    }
}

TEST_F(Walk, WrapsImmediatelyAfterLastColumn) {
    Feed(std::string(80, 'x') + "\r\n");
    EXPECT_EQ(Term.CurX, 0);
    EXPECT_EQ(Term.CurY, 2);
    ExpectRowBlank(1);
}

TEST_F(Walk, TwentySixLinesScrollTheFirstAway) {
    std::string Text;
    for (char Line = 'a'; Line < 'a' + 26; ++Line)
        Text += std::string(1, Line) + (Line < 'a' + 25 ? "\r\n" : "");
    Feed(Text);
    EXPECT_EQ(Cell(0, 0).Ch, 'b');
    EXPECT_EQ(Cell(24, 0).Ch, 'z');
    EXPECT_EQ(Term.CurY, 24);
}

TEST_F(Walk, FullScreenOfTextScrollsOnceAtTheEnd) {
    std::string Text;
    for (int I = 0; I < 2000; ++I)
        Text.push_back(static_cast<char>('!' + I % 90));
    Feed(Text);
    EXPECT_EQ(Cell(0, 0).Ch, '!' + 80 % 90);
    EXPECT_EQ(Cell(23, 79).Ch, '!' + 1999 % 90);
    ExpectRowBlank(24);
    EXPECT_EQ(Term.CurX, 0);
    EXPECT_EQ(Term.CurY, 24);
}

TEST_F(Walk, ControlBytesOtherThanCrLfAndEscDoNothing) {
    std::string Text;
    std::string Placed;
    for (char Byte = 0; Byte < 32; ++Byte) {
        if (Byte == '\r' || Byte == '\n' || Byte == '\x1b')
            continue;
        Placed += static_cast<char>('A' + Byte % 26);
        Text += Placed.back();
        Text += Byte; // byte 26 does not end the data either
    }
    Feed(Text);
    for (std::size_t X = 0; X < Placed.size(); ++X)
        EXPECT_EQ(Cell(0, static_cast<std::int32_t>(X)).Ch, Placed[X]) << X;
    EXPECT_EQ(Term.CurX, static_cast<std::int32_t>(Placed.size()));
    EXPECT_EQ(Term.CurY, 0);
}

TEST_F(Walk, HighBytesArePlaced) {
    Feed("\x7f\x80\xff\xef\xbb\xbf");
    for (int X = 0; X < 6; ++X)
        EXPECT_EQ(Cell(0, X).Ch, static_cast<std::uint8_t>("\x7f\x80\xff\xef\xbb\xbf"[X]));
}

TEST_F(Walk, EscapeSwallowsBytesUpToTheNextLetter) {
    Feed("\x1b"
         "7Hello");
    EXPECT_EQ(Cell(0, 0).Ch, 'e');
    EXPECT_EQ(Term.CurX, 4);
    // CR LF inside a sequence are collected: not numeric, so one step up.
    Term = TTerminal{};
    Feed("\x1b[6;6H\x1b[3\r\nA");
    EXPECT_EQ(Term.CurY, 4);
    EXPECT_EQ(Term.CurX, 5);
}

TEST_F(Walk, UnfinishedSequencesAreDropped) {
    for (const char *Bytes : {"\x1b", "\x1b[31", "\x1b[1;44;"}) {
        Term = TTerminal{};
        Feed(Bytes);
        ExpectRowBlank(0);
        EXPECT_EQ(Term.Current.Fg, 7);
        EXPECT_EQ(Term.Current.Bg, 0);
    }
}

TEST_F(Walk, SecondEscapeRestartsCollection) {
    Feed("\x1b[4\x1b[31mX");
    EXPECT_EQ(Cell(0, 0), (TCharInfo{'X', 1, 0, false}));
}

TEST_F(Walk, OffScreenCursorStoresNothingUntilBack) {
    // Column -3: three characters lost, the fourth lands in column 0.
    Feed("\x1b[1;-2H"); // not numeric: ignored
    Term.CurX = -3;
    Feed("abcd");
    EXPECT_EQ(Cell(0, 0).Ch, 'd');
    EXPECT_EQ(Cell(0, 1).Ch, ' ');

    // Past the last column: the next byte wraps, the one after lands.
    Term = TTerminal{};
    Feed("\x1b[3;81Hxy");
    EXPECT_EQ(Cell(3, 0).Ch, 'y');
    ExpectRowBlank(2);

    // Row -1: bytes lost until a line feed brings the row to 0.
    Term = TTerminal{};
    Feed("\x1b[0;5Hlost\nkept");
    ExpectRowBlank(24);
    EXPECT_EQ(Cell(0, 8).Ch, 'k');
}

TEST_F(Walk, CursorBelowScreenScrollsOnceOnWrapOrLineEnd) {
    for (const char *Tail : {"\r", "\n"}) {
        Term = TTerminal{};
        Feed("top\x1b[26;5Hx"); // the first row below the screen: x is not stored
        EXPECT_EQ(Cell(0, 4).Ch, ' ');
        Feed(Tail);
        EXPECT_EQ(Term.CurY, 24) << int(Tail[0]);
        EXPECT_EQ(Term.CurX, Tail[0] == '\r' ? 0 : 5);
        ExpectRowBlank(0); // the top row scrolled away, once
    }
    Term = TTerminal{};
    Feed("top\x1b[26;80Hab");
    EXPECT_EQ(Term.CurY, 24);
    EXPECT_EQ(Cell(24, 0).Ch, 'b');
}

} // namespace
