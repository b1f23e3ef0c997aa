// Paints screen cells into 8 x 16 pixel blocks and writes the PNG file.
#include "render/render.h"

#include "common/system.h"

#include <cstring>
#include <memory>
#include <stdexcept>

namespace {

using TMask = std::array<std::uint8_t, CHAR_HEIGHT>;

// Rows 0-15 of a shape filled with Bits between rows From and To inclusive.
constexpr TMask Rows(int From, int To, std::uint8_t Bits) {
    TMask Mask{};
    for (int Row = From; Row <= To; ++Row)
        Mask[static_cast<std::size_t>(Row)] = Bits;
    return Mask;
}

// Block and line characters that are always drawn from these shapes.
constexpr TMask VERTICAL_LINE = Rows(0, 15, 0x08);  // 179, column 4
constexpr TMask HORIZONTAL_LINE = Rows(8, 8, 0xFF); // 196, row 8
constexpr TMask FULL_BLOCK = Rows(0, 15, 0xFF);     // 219
constexpr TMask LOWER_HALF = Rows(8, 15, 0xFF);     // 220
constexpr TMask LEFT_HALF = Rows(0, 15, 0xF0);      // 221, columns 0-3
constexpr TMask RIGHT_HALF = Rows(0, 15, 0x0F);     // 222, columns 4-7
constexpr TMask UPPER_HALF = Rows(0, 7, 0xFF);      // 223

// Shapes used when no font is loaded.
constexpr TMask DIGIT_BAR = Rows(4, 12, 0x3C); // columns 2-5
constexpr TMask LETTER_BARS = [] {
    TMask Mask = Rows(3, 12, 0x3C);
    Mask[8] = 0; // split in two
    return Mask;
}();
constexpr TMask DOT = Rows(6, 9, 0x1C); // columns 3-5

const TMask *BuiltInShape(std::uint8_t Ch) {
    switch (Ch) {
    case 179: return &VERTICAL_LINE;
    case 196: return &HORIZONTAL_LINE;
    case 219: return &FULL_BLOCK;
    case 220: return &LOWER_HALF;
    case 221: return &LEFT_HALF;
    case 222: return &RIGHT_HALF;
    case 223: return &UPPER_HALF;
    default: return nullptr;
    }
}

TMask FallbackShape(std::uint8_t Ch) {
    if (Ch >= '0' && Ch <= '9')
        return DIGIT_BAR;
    if ((Ch >= 'A' && Ch <= 'Z') || (Ch >= 'a' && Ch <= 'z'))
        return LETTER_BARS;
    if (Ch == ' ')
        return TMask{};
    return DOT;
}

void BuildNibbleRows(TNibbleRows &Rows, std::uint8_t ForeIndex, std::uint8_t BackIndex) {
    std::uint8_t Fore[BYTES_PER_PIXEL];
    std::uint8_t Back[BYTES_PER_PIXEL];
    StoreSamples(Fore, PaletteColor(ForeIndex));
    StoreSamples(Back, PaletteColor(BackIndex));
    for (unsigned Bits = 0; Bits < 16; ++Bits)
        for (unsigned PX = 0; PX < 4; ++PX)
            std::memcpy(&Rows[Bits][PX * BYTES_PER_PIXEL], (Bits >> (3 - PX)) & 1 ? Fore : Back,
                        BYTES_PER_PIXEL);
}

} // namespace

TMask CellMask(std::uint8_t Ch, const TFont &Font) {
    if (const TMask *Shape = BuiltInShape(Ch))
        return *Shape;
    if (!Font.Loaded)
        return FallbackShape(Ch);
    TMask Glyph;
    std::memcpy(Glyph.data(), Font.Data.data() + static_cast<std::size_t>(Ch) * CHAR_HEIGHT,
                CHAR_HEIGHT);
    return Glyph;
}

TRowPainter::TRowPainter(const TFont &Font)
    : Font_(Font), Tables_(new TNibbleRows[256]) {} // untouched until used

void TRowPainter::Paint(std::span<const TCharInfo, ScreenWidth> Cells, RgbImage &Image,
                        std::int32_t Top) {
    // Rows are written directly, so the picture must hold the whole row.
    if (Image.Width < ScreenWidth * CHAR_WIDTH || Top < 0 || Image.Height - CHAR_HEIGHT < Top)
        throw std::out_of_range("Picture smaller than the screen");
    for (std::int32_t X = 0; X < ScreenWidth; ++X) {
        const TCharInfo &Cell = Cells[static_cast<std::size_t>(X)];
        const std::uint8_t ForeIndex = ForegroundIndex(Cell) & 15;
        const std::uint8_t BackIndex = Cell.Bg & 15;
        const std::size_t Pair = std::size_t{ForeIndex} * 16 + BackIndex;
        if (!Built_[Pair]) { // built on first use of each colour pair
            BuildNibbleRows(Tables_[Pair], ForeIndex, BackIndex);
            Built_[Pair] = true;
        }
        const TNibbleRows &Rows = Tables_[Pair];
        const TMask Mask = CellMask(Cell.Ch, Font_);
        for (std::int32_t PY = 0; PY < CHAR_HEIGHT; ++PY) {
            std::uint8_t *Out =
                Image.Row(Top + PY) + static_cast<std::size_t>(X * CHAR_WIDTH) * BYTES_PER_PIXEL;
            const std::uint8_t Bits = Mask[static_cast<std::size_t>(PY)];
            std::memcpy(Out, Rows[Bits >> 4].data(), HALF_ROW);
            std::memcpy(Out + HALF_ROW, Rows[Bits & 15].data(), HALF_ROW);
        }
    }
}

// Out of line: a stage of its own in profiles (scripts/bench_report.py).
[[gnu::noinline]] void PaintScreen(const TScreenBuffer &Screen, RgbImage &Image,
                                   const TFont &Font) {
    TRowPainter Painter(Font);
    for (std::int32_t Y = 0; Y < ScreenHeight; ++Y)
        Painter.Paint(std::span<const TCharInfo, ScreenWidth>(Screen[Y], ScreenWidth), Image,
                      Y * CHAR_HEIGHT);
}

void RenderToPng(const TScreenBuffer &Screen, const std::string &FileName) {
    const TFont Font = LoadCP437Font(FONT_FILE_NAME);
    RgbImage Image(ScreenWidth * CHAR_WIDTH, ScreenHeight * CHAR_HEIGHT);
    PaintScreen(Screen, Image, Font);
    // The file is created only now, after every cell is painted.
    TFile Output = CreateForWriting(FileName);
    EncodePng(Image, [&Output](const std::uint8_t *Data, std::size_t Size) {
        WriteFully(Output, Data, Size);
    });
    if (!Output.Close()) // some file systems report a failed write only here
        RaiseWriteError();
}
