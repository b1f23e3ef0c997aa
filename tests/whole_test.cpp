// The whole piece: each row that leaves the screen is row 0 of the picture
// of the bytes before the byte that pushed it off, and the last 400 pixel
// rows are the picture of the whole input.
#include "app/reading.h"
#include "inputs.h"
#include "render/render.h"

#include <random>

namespace {

constexpr std::size_t STRIP_BYTES = CHAR_HEIGHT * SCANLINE_BYTES;

TBytes Bytes(const std::string &Text) { return TBytes(Text.begin(), Text.end()); }

// Lines in changing colours, each ended by End.
TBytes ColouredLines(int Count, const std::string &End) {
    std::string Text;
    for (int I = 0; I < Count; ++I)
        Text += "\x1b[1;3" + std::to_string(I % 8) + ";4" + std::to_string(I / 8 % 8) + "mline " +
                std::to_string(I) + End;
    return Bytes(Text);
}

struct TCase {
    std::string Name;
    TBytes Input;
    std::size_t MostPiece; // fed in random pieces of 1 to this many bytes
};

std::vector<TCase> Cases() {
    std::string Wrapped; // full rows, no line ends: each scroll is a wrap
    for (int I = 0; I < 40 * 80; ++I)
        Wrapped += (I % 80 == 0 ? "\x1b[3" + std::to_string(I / 80 % 8) + "m" : "") +
                   std::string(1, static_cast<char>('A' + I % 26));
    std::string BelowTheScreen; // the cursor placed below the screen, then CR
    for (int I = 0; I < 40; ++I)
        BelowTheScreen += "\x1b[4" + std::to_string(I % 8) + "mrow " + std::to_string(I) + "\x1b[" +
                          std::to_string(26 + I % 9) + ";1H\r";
    std::vector<TCase> All = {
        {"line feeds", ColouredLines(60, "\n"), 4096},
        {"wraps at the last column", Bytes(Wrapped), 4096},
        {"CR below the screen", Bytes(BelowTheScreen), 4096},
        {"sequences split across blocks", ColouredLines(80, "\r\n"), 3},
        {"the limit", ColouredLines(2100, "\n"), 4096},
        {"SAUCE after scrolled rows", WithSauce(ColouredLines(50, "\n"), 2), 7},
        {"no scroll", Bytes("\x1b[1;33mHello\r\n\x1b[44mthere"), 4},
    };
    for (const auto &[Name, Input] : AllInputs())
        All.push_back({Name, Input, 4096});
    return All;
}

// Counts the scrolls of a reference walk.
struct TCounter : TScrollListener {
    std::uint64_t Scrolls = 0;
    void RowScrolledOff(std::span<const TCharInfo, ScreenWidth>) override { ++Scrolls; }
};

// The first Rows of Image as scanlines: each row a filter byte, then its pixels.
TBytes ScanlinesOf(const RgbImage &Image, std::int32_t Rows) {
    TBytes Lines;
    for (std::int32_t Y = 0; Y < Rows; ++Y) {
        Lines.push_back(0);
        Lines.insert(Lines.end(), Image.Row(Y), Image.Row(Y) + Image.RowBytes());
    }
    return Lines;
}

// tarvex's picture of Input, the first Rows of its scanlines.
TBytes TarvexScanlines(std::span<const std::uint8_t> Input, const TFont &Font,
                       std::int32_t Rows = 400) {
    TTerminal Terminal;
    TInputFeed Feed(Terminal);
    Feed.Feed(Input);
    Feed.Finish();
    RgbImage Image(640, 400);
    PaintScreen(Terminal.ScreenBuffer, Image, Font);
    return ScanlinesOf(Image, Rows);
}

TBytes PaintedRow(std::span<const TCharInfo, ScreenWidth> Row, TRowPainter &Painter) {
    static RgbImage Strip(640, CHAR_HEIGHT);
    Painter.Paint(Row, Strip, 0);
    return ScanlinesOf(Strip, CHAR_HEIGHT);
}

TEST(WholePiece, EveryRowIsRowZeroOfThePictureBeforeTheByteThatScrolledIt) {
    const TFont Font; // the fallback shapes tell letters, digits and dots apart
    TRowPainter Painter(Font);
    std::mt19937 Random(2300);
    for (const TCase &Case : Cases()) {
        // The piece under test, fed in random pieces.
        TTerminal Terminal;
        TWholePiece Piece(Font);
        Terminal.Listener = &Piece;
        TInputFeed Feed(Terminal);
        InPieces(
            Case.Input, [&] { return Random() % Case.MostPiece + 1; },
            [&Feed](std::span<const std::uint8_t> Part) { Feed.Feed(Part); });
        Feed.Finish();
        TBytes File;
        Piece.Finish(Terminal.ScreenBuffer, [&File](const std::uint8_t *Data, std::size_t Size) {
            File.insert(File.end(), Data, Data + Size);
        });
        const std::uint32_t Kept = Piece.RowsKept();
        const auto Lines = Scanlines(File, 640, CHAR_HEIGHT * (Kept + 25));
        ASSERT_TRUE(Lines) << Case.Name;

        // The reference: the played bytes one at a time, row 0 kept before each.
        const std::size_t Played = PlayableLength(Case.Input);
        TTerminal Reference;
        TCounter Counter;
        Reference.Listener = &Counter;
        std::vector<std::size_t> ScrollAt; // the byte that caused each scroll
        for (std::size_t At = 0; At < Played; ++At) {
            std::array<TCharInfo, ScreenWidth> Top;
            std::copy_n(Reference.ScreenBuffer[0], ScreenWidth, Top.begin());
            const std::uint64_t Before = Counter.Scrolls;
            WalkBytes(Reference, std::span(Case.Input).subspan(At, 1));
            ASSERT_LE(Counter.Scrolls - Before, 1u) << Case.Name << " byte " << At;
            if (Counter.Scrolls == Before)
                continue;
            ScrollAt.push_back(At);
            if (ScrollAt.size() > MOST_SCROLLED_ROWS)
                continue;
            const std::size_t K = ScrollAt.size() - 1;
            const TBytes Want = PaintedRow(Top, Painter);
            ASSERT_TRUE(std::equal(Want.begin(), Want.end(),
                                   Lines->begin() + static_cast<long>(K * STRIP_BYTES)))
                << Case.Name << " scroll " << K << " at byte " << At;
        }
        EXPECT_EQ(Kept, std::min<std::size_t>(ScrollAt.size(), MOST_SCROLLED_ROWS)) << Case.Name;
        EXPECT_EQ(Piece.RowsLeftOut(), ScrollAt.size() - Kept) << Case.Name;

        // Some of those rows against tarvex's own picture of the bytes before.
        for (std::size_t K = 0; K < Kept; K += Kept / 16 + 1) {
            const TBytes Before =
                TarvexScanlines(std::span(Case.Input).first(ScrollAt[K]), Font, CHAR_HEIGHT);
            ASSERT_TRUE(std::equal(Before.begin(), Before.end(),
                                   Lines->begin() + static_cast<long>(K * STRIP_BYTES)))
                << Case.Name << " scroll " << K;
        }
        // The last 400 pixel rows: tarvex's picture of the whole input; and
        // with no scroll, its very bytes.
        const TBytes Last = TarvexScanlines(Case.Input, Font);
        EXPECT_TRUE(std::equal(Last.begin(), Last.end(), Lines->end() - 400 * SCANLINE_BYTES))
            << Case.Name;
        if (Kept == 0) {
            RgbImage Image(640, 400);
            PaintScreen(Terminal.ScreenBuffer, Image, Font);
            EXPECT_EQ(File, Encode(Image)) << Case.Name;
        }
    }
}

} // namespace
