#include "terminal/terminal.h"

#include <algorithm>

// Set by InitScreenBuffer before anything reads them.
TScreenBuffer ScreenBuffer;
std::int32_t ScreenWidth;
std::int32_t ScreenHeight;
std::int32_t CurX;
std::int32_t CurY;
std::uint8_t CurrentFG;
std::uint8_t CurrentBG;
bool BrightAttr;

void InitScreenBuffer(std::int32_t Width, std::int32_t Height) {
    ScreenWidth = Width;
    ScreenHeight = Height;
    CurX = 0;
    CurY = 0;
    SetCurrentAttributes(DEFAULT_ATTRIBUTES);
    ScreenBuffer.Top = 0; // a ring left by a larger screen may lie past this one's rows
    ScreenBuffer.Cells.assign(static_cast<std::size_t>(Width) * static_cast<std::size_t>(Height),
                              BlankCell());
}

void ClearCells(std::int32_t Row, std::int64_t From, std::int64_t To) {
    if (Row < 0 || Row >= ScreenHeight)
        return;
    // Clipped first, so a far-off cursor costs nothing.
    From = std::max<std::int64_t>(From, 0);
    To = std::min<std::int64_t>(To, ScreenWidth - 1);
    if (From > To)
        return;
    TCharInfo *Cells = ScreenBuffer[Row];
    std::fill(Cells + From, Cells + To + 1, BlankCell());
}

void ScrollUp() {
    // The old top row becomes the new bottom row and is blanked in place.
    if (++ScreenBuffer.Top == ScreenHeight)
        ScreenBuffer.Top = 0;
    TCharInfo *Bottom = ScreenBuffer[ScreenHeight - 1];
    std::fill(Bottom, Bottom + ScreenWidth, BlankCell());
    CurY = ScreenHeight - 1;
}
