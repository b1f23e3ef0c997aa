// Rendering: palette, font and the cell rasterizer that paints the screen.
#pragma once

// glibc's <climits> defines CHAR_WIDTH (bits in a char); ours is the cell width.
#include <climits>
#undef CHAR_WIDTH

#include "png/png.h"
#include "terminal/terminal.h"

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

constexpr std::int32_t CHAR_WIDTH = 8;
constexpr std::int32_t CHAR_HEIGHT = 16;
constexpr std::size_t FONT_SIZE = 4096;
inline constexpr const char *FONT_FILE_NAME = "cp437.fnt";

// The 16 PC text colours as $RRGGBB, in SGR order; 8-15 are the bright forms.
constexpr std::array<std::uint32_t, 16> ANSI_COLORS = {
    0x000000, //  0 black
    0xAA0000, //  1 red
    0x00AA00, //  2 green
    0xAA5500, //  3 yellow (brown)
    0x0000AA, //  4 blue
    0xAA00AA, //  5 magenta
    0x00AAAA, //  6 cyan
    0xAAAAAA, //  7 white (light grey)
    0x555555, //  8 bright black (dark grey)
    0xFF5555, //  9 bright red
    0x55FF55, // 10 bright green
    0xFFFF55, // 11 bright yellow
    0x5555FF, // 12 bright blue
    0xFF55FF, // 13 bright magenta
    0x55FFFF, // 14 bright cyan
    0xFFFFFF, // 15 bright white
};

// A palette entry widened to 16-bit components (each byte repeated).
TRgb16 PaletteColor(std::uint8_t Index);
// The foreground index a cell is painted with: bright lifts 0-7 to 8-15.
std::uint8_t ForegroundIndex(const TCharInfo &Cell);

// A raw 8 x 16 CP437 font: glyph c is bytes c * 16 to c * 16 + 15, one per
// pixel row from the top, bit 7 leftmost.
struct TFont {
    std::array<std::uint8_t, FONT_SIZE> Data{};
    bool Loaded = false;
};

// How loading a font went: loaded, unreadable (with the error's text), or
// too small. Font problems never raise.
struct TFontLoad {
    TFont Font;
    enum class TOutcome { Loaded, Unreadable, TooSmall } Outcome;
    std::string Error;  // the whole text
    std::string Reason; // the system's words alone, for a file error
};
// Loads the font without a word.
TFontLoad ReadCP437Font(const std::string &FileName);
// Loads the font and reports the outcome in one or two lines. Font problems
// never raise: they leave an unloaded font and the fallback shapes.
TFont LoadCP437Font(const std::string &FileName);
// The 16 pixel rows of a cell as bit masks, bit 7 leftmost; set bits take
// the foreground colour.
std::array<std::uint8_t, CHAR_HEIGHT> CellMask(std::uint8_t Ch, const TFont &Font);
// The pixel bytes of four pixels for each 4-bit mask, for one colour pair:
// a row of a cell is two lookups instead of eight pixel choices.
constexpr std::size_t HALF_ROW = 4 * BYTES_PER_PIXEL;
using TNibbleRows = std::array<std::array<std::uint8_t, HALF_ROW>, 16>;

// Paints rows of cells, 8 x 16 pixels each, keeping the pixel tables of the
// colour pairs it has met.
class TRowPainter {
  public:
    explicit TRowPainter(const TFont &Font);
    // Paints one row of the screen into the 16 pixel rows of Image from Top.
    void Paint(std::span<const TCharInfo, ScreenWidth> Cells, RgbImage &Image, std::int32_t Top);

  private:
    const TFont &Font_;
    std::unique_ptr<TNibbleRows[]> Tables_; // by foreground * 16 + background
    std::array<bool, 256> Built_{};
};

// At most this many scrolled rows are kept in a whole piece.
constexpr std::uint32_t MOST_SCROLLED_ROWS = 2000;

// The whole piece: each row as it scrolls off the top of the screen (set it
// as the terminal's listener), then the final screen, in one tall picture.
// Rows are painted and deflated as they leave, and the final screen a row
// at a time, so memory stays small.
class TWholePiece final : public TScrollListener {
  public:
    explicit TWholePiece(const TFont &Font);
    void RowScrolledOff(std::span<const TCharInfo, ScreenWidth> Row) override;
    // Adds the final screen and writes the PNG.
    void Finish(const TScreenBuffer &Screen, const TByteSink &Sink);
    std::uint32_t RowsKept() const { return Kept_; }
    std::uint64_t RowsLeftOut() const { return LeftOut_; }

  private:
    // Paints a row of cells into the strip and deflates it.
    void AddRow(std::span<const TCharInfo, ScreenWidth> Row);

    TRowPainter Painter_;
    RgbImage Strip_; // one row of cells
    TPngStream Png_;
    std::uint32_t Kept_ = 0;
    std::uint64_t LeftOut_ = 0;
};

// Paints the whole screen into Image, one 8 x 16 block per cell.
void PaintScreen(const TScreenBuffer &Screen, RgbImage &Image, const TFont &Font);
// Loads the font, paints the screen and writes it as a PNG file.
void RenderToPng(const TScreenBuffer &Screen, const std::string &FileName);
