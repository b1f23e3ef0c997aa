// The screen as tests and fuzz targets set it up and compare it.
#pragma once

#include "terminal/terminal.h"

#include <string>

struct TScreenShot {
    std::string Cells; // each cell's four bytes, row by row
    std::int32_t X;
    std::int32_t Y;
    std::uint8_t Fg;
    std::uint8_t Bg;
    bool Bright;
    bool operator==(const TScreenShot &) const = default;
};

// A fresh 80 x 25 screen, as the program starts with.
inline void ResetScreen() { InitScreenBuffer(DEFAULT_WIDTH, DEFAULT_HEIGHT); }

inline TScreenShot TakeScreenShot() {
    TScreenShot Shot{{}, CurX, CurY, CurrentFG, CurrentBG, BrightAttr};
    for (std::int32_t Y = 0; Y < ScreenHeight; ++Y)
        Shot.Cells.append(reinterpret_cast<const char *>(ScreenBuffer[Y]),
                          sizeof(TCharInfo) * static_cast<std::size_t>(ScreenWidth));
    return Shot;
}
