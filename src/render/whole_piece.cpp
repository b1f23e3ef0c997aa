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
    Painter_.Paint(Row, Strip_, 0);
    Png_.AddRows(Strip_);
    ++Kept_;
}

void TWholePiece::Finish(const TScreenBuffer &Screen, const TByteSink &Sink) {
    RgbImage Image(ScreenWidth * CHAR_WIDTH, ScreenHeight * CHAR_HEIGHT);
    for (std::int32_t Y = 0; Y < ScreenHeight; ++Y)
        Painter_.Paint(std::span<const TCharInfo, ScreenWidth>(Screen[Y], ScreenWidth), Image,
                       Y * CHAR_HEIGHT);
    Png_.AddRows(Image);
    Png_.Finish(Sink);
}
