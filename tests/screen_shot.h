// The whole screen state, copied: cells in row order, cursor and current
// attributes. Tests and fuzz targets compare walks with it.
#pragma once

#include "terminal/terminal.h"

#include <vector>

struct TScreenShot {
    std::vector<std::uint8_t> Cells; // Ch, Fg, Bg, Bright of each cell, row by row
    std::int32_t X;
    std::int32_t Y;
    std::uint8_t Fg;
    std::uint8_t Bg;
    bool Bright;
    bool operator==(const TScreenShot &) const = default;
};

inline TScreenShot TakeScreenShot() {
    TScreenShot Shot{{}, CurX, CurY, CurrentFG, CurrentBG, BrightAttr};
    for (std::int32_t Y = 0; Y < ScreenHeight; ++Y)
        for (std::int32_t X = 0; X < ScreenWidth; ++X) {
            const TCharInfo &Cell = ScreenBuffer[Y][X];
            Shot.Cells.insert(Shot.Cells.end(),
                              {Cell.Ch, Cell.Fg, Cell.Bg, static_cast<std::uint8_t>(Cell.Bright)});
        }
    return Shot;
}
