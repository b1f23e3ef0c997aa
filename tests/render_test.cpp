#include "cli_support.h"
#include "feed.h"
#include "render/render.h"

namespace {

constexpr TRgb16 BLACK{0, 0, 0};

bool SameColor(TRgb16 A, TRgb16 B) { return A.R == B.R && A.G == B.G && A.B == B.B; }

TEST(Palette, BrightLiftsOnlyForegroundsBelowEight) {
    EXPECT_EQ(ForegroundIndex({'A', 1, 1, true}), 9);
    EXPECT_EQ(ForegroundIndex({'A', 3, 0, false}), 3);
    EXPECT_EQ(ForegroundIndex({'A', 8, 0, true}), 8); // already bright: no +8
}

// Paints the screen as it stands and returns the picture.
class Painting : public ScreenTest {
  protected:
    TFont Font;
    RgbImage Paint() {
        RgbImage Image(640, 400);
        PaintScreen(Term.ScreenBuffer, Image, Font);
        return Image;
    }
    // The cell's 16 rows as read back from the picture: bit set where the
    // pixel has the colour Fg, and every other pixel must be Bg.
    static std::vector<std::uint8_t> Rows(const RgbImage &Image, int Column, int Row, TRgb16 Fg,
                                          TRgb16 Bg) {
        std::vector<std::uint8_t> Mask(16);
        for (int PY = 0; PY < 16; ++PY)
            for (int PX = 0; PX < 8; ++PX) {
                const TRgb16 Pixel = Image.GetPixel(Column * 8 + PX, Row * 16 + PY);
                if (SameColor(Pixel, Fg))
                    Mask[static_cast<std::size_t>(PY)] |= static_cast<std::uint8_t>(0x80 >> PX);
                else
                    EXPECT_TRUE(SameColor(Pixel, Bg)) << "pixel " << PX << "," << PY;
            }
        return Mask;
    }
    static std::vector<std::uint8_t>
    Fill(std::size_t From, std::size_t To, std::uint8_t Bits,
         std::vector<std::uint8_t> Mask = std::vector<std::uint8_t>(16)) {
        for (std::size_t Row = From; Row <= To; ++Row)
            Mask[Row] = Bits;
        return Mask;
    }
};

TEST_F(Painting, EmptyScreenIsBlack) {
    const RgbImage Image = Paint();
    for (std::size_t I = 0; I < Image.Samples.size(); ++I)
        ASSERT_EQ(Image.Samples.data()[I], 0);
}

TEST_F(Painting, BuiltInShapesWinOverTheFont) {
    Font.Loaded = true;
    Font.Data.fill(0x5A); // a font glyph would show as stripes
    Feed("\x1b[34;41m\xb3\xc4\xdb\xdc\xdd\xde\xdf");
    const RgbImage Image = Paint();
    const TRgb16 Fg = PaletteColor(4);
    const TRgb16 Bg = PaletteColor(1);
    EXPECT_EQ(Rows(Image, 0, 0, Fg, Bg), Fill(0, 15, 0x08));
    EXPECT_EQ(Rows(Image, 1, 0, Fg, Bg), Fill(8, 8, 0xFF));
    EXPECT_EQ(Rows(Image, 2, 0, Fg, Bg), Fill(0, 15, 0xFF));
    EXPECT_EQ(Rows(Image, 3, 0, Fg, Bg), Fill(8, 15, 0xFF));
    EXPECT_EQ(Rows(Image, 4, 0, Fg, Bg), Fill(0, 15, 0xF0));
    EXPECT_EQ(Rows(Image, 5, 0, Fg, Bg), Fill(0, 15, 0x0F));
    EXPECT_EQ(Rows(Image, 6, 0, Fg, Bg), Fill(0, 7, 0xFF));
}

TEST_F(Painting, FallbackShapesWithoutFont) {
    const std::vector<std::uint8_t> Letter = Fill(9, 12, 0x3C, Fill(3, 7, 0x3C));
    const std::vector<std::uint8_t> Digit = Fill(4, 12, 0x3C);
    const std::vector<std::uint8_t> Dot = Fill(6, 9, 0x1C);
    const std::vector<std::uint8_t> Nothing(16);
    const std::string Text = "AZaz09 /:@[`{#\x82\xb0\x7f";
    const std::vector<const std::vector<std::uint8_t> *> Want = {
        &Letter, &Letter, &Letter, &Letter, &Digit, &Digit, &Nothing, &Dot, &Dot,
        &Dot,    &Dot,    &Dot,    &Dot,    &Dot,   &Dot,   &Dot,     &Dot};
    Feed(Text);
    const RgbImage Image = Paint();
    for (std::size_t I = 0; I < Text.size(); ++I)
        EXPECT_EQ(Rows(Image, static_cast<int>(I), 0, PaletteColor(7), BLACK), *Want[I])
            << "character " << static_cast<int>(static_cast<std::uint8_t>(Text[I]));
}

TEST_F(Painting, FontGlyphsWithBitSevenLeftmost) {
    Font.Loaded = true;
    std::vector<std::uint8_t> Diagonal(16);
    for (std::size_t Row = 0; Row < 16; ++Row)
        Font.Data['A' * 16 + Row] = Diagonal[Row] = static_cast<std::uint8_t>(0x80 >> (Row % 8));
    Font.Data[' ' * 16 + 15] = 0xFF; // a space glyph with bits shows them
    Feed("\x1b[1;32;104mA ");
    const RgbImage Image = Paint();
    EXPECT_EQ(Rows(Image, 0, 0, PaletteColor(10), PaletteColor(12)), Diagonal);
    EXPECT_EQ(Rows(Image, 1, 0, PaletteColor(10), PaletteColor(12)), Fill(15, 15, 0xFF));
    EXPECT_EQ(Rows(Image, 2, 0, PaletteColor(7), BLACK),
              Fill(15, 15, 0xFF)); // fresh cell, same glyph
}

TEST_F(Painting, RefusesAPictureSmallerThanTheScreen) {
    for (const auto &[Width, Height] : {std::pair{640, 399}, std::pair{639, 400}}) {
        RgbImage Small(Width, Height);
        EXPECT_THROW(PaintScreen(Term.ScreenBuffer, Small, Font), std::out_of_range) << Width;
    }
    // A row of cells needs 16 pixel rows inside the picture.
    RgbImage Image(640, 400);
    TRowPainter Painter(Font);
    const std::span<const TCharInfo, ScreenWidth> Row(Term.ScreenBuffer[0], ScreenWidth);
    EXPECT_THROW(Painter.Paint(Row, Image, -1), std::out_of_range);
    EXPECT_THROW(Painter.Paint(Row, Image, 385), std::out_of_range);
    Painter.Paint(Row, Image, 384);
}

TEST(RgbImageTest, RefusesPixelsOutside) {
    RgbImage Image(3, 2);
    Image.SetPixel(2, 1, {0x1234, 0x5678, 0x9ABC});
    EXPECT_TRUE(SameColor(Image.GetPixel(2, 1), {0x1234, 0x5678, 0x9ABC}));
    EXPECT_EQ(Image.Samples.data()[Image.Samples.size() - 6], 0x12); // most significant byte first
    EXPECT_THROW(Image.SetPixel(3, 0, BLACK), std::out_of_range);
    EXPECT_THROW(Image.SetPixel(0, -1, BLACK), std::out_of_range);
    EXPECT_THROW(Image.GetPixel(0, 2), std::out_of_range);
}

// Font files in a scratch directory; the report lines are captured.
class FontFile : public ScratchDirTest {
  protected:
    std::string Write(const std::string &Bytes) {
        WriteFile(Dir / "cp437.fnt", Bytes);
        return (Dir / "cp437.fnt").string();
    }
    static TFont Load(const std::string &Path, std::string &Output) {
        TFont Font;
        Output = CaptureOutput([&] { Font = LoadCP437Font(Path); });
        return Font;
    }
};

TEST_F(FontFile, TooSmallFilesAreNotUsed) {
    for (std::size_t Size : {0u, 2048u, 4095u}) {
        std::string Output;
        const TFont Font = Load(Write(std::string(Size, '\x7f')), Output);
        EXPECT_EQ(Output, Lines(FONT_TOO_SMALL)) << Size;
        EXPECT_FALSE(Font.Loaded);
        EXPECT_EQ(Font.Data[0], 0);
    }
}

TEST_F(FontFile, FirstFourKilobytesAreLoaded) {
    for (const std::string &Bytes :
         {std::string(4096, '\x11'), std::string(4096, '\x11') + std::string(4096, '\x22'),
          std::string(4096, '\0')}) {
        std::string Output;
        const TFont Font = Load(Write(Bytes), Output);
        EXPECT_EQ(Output, Lines(FONT_LOADED));
        EXPECT_TRUE(Font.Loaded);
        EXPECT_EQ(Font.Data[4095], static_cast<std::uint8_t>(Bytes[0]));
    }
}

TEST_F(FontFile, MissingOrDirectoryIsUnreadable) {
    for (const auto &[Name, Reason] : std::vector<std::pair<std::string, std::string>>{
             {"absent.fnt", "No such file or directory"}, {"cp437.fnt", "Is a directory"}}) {
        fs::create_directory(Dir / "cp437.fnt");
        std::string Output;
        EXPECT_FALSE(Load((Dir / Name).string(), Output).Loaded);
        EXPECT_EQ(Output, Lines(FontUnreadable("Unable to open file \"" + (Dir / Name).string() +
                                               "\": " + Reason)));
    }
}

} // namespace
