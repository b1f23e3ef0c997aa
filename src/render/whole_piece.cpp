// The whole piece: the rows that scrolled off, then the final screen.
#include "render/render.h"

TWholePiece::TWholePiece(const TFont &Font)
    : Painter_(Font), Strip_(ScreenWidth * CHAR_WIDTH, CHAR_HEIGHT),
      Png_(ScreenWidth * CHAR_WIDTH) {}

void TWholePiece::RowScrolledOff(std::span<const TCharInfo, ScreenWidth> Row) {
    if (Kept_ == MOST_SCROLLED_ROWS) { // past the limit only counting is left
        ++LeftOut_;
        return;
    }
    AddRow(Row);
    ++Kept_;
}

void TWholePiece::Finish(const TScreenBuffer &Screen, const TByteSink &Sink) {
    for (std::int32_t Y = 0; Y < ScreenHeight; ++Y)
        AddRow(std::span<const TCharInfo, ScreenWidth>(Screen[Y], ScreenWidth));
    Png_.Finish(Sink);
}

void TWholePiece::AddRow(std::span<const TCharInfo, ScreenWidth> Row) {
    Painter_.Paint(Row, Strip_, 0);
    Png_.AddRows(Strip_);
}
