#include "render/render.h"

TRgb16 PaletteColor(std::uint8_t Index) {
    const std::uint32_t Value = ANSI_COLORS[Index & 15];
    const auto Widen = [](std::uint32_t Byte) {
        return static_cast<std::uint16_t>((Byte & 0xFF) * 257);
    };
    return TRgb16{Widen(Value >> 16), Widen(Value >> 8), Widen(Value)};
}

std::uint8_t ForegroundIndex(const TCharInfo &Cell) {
    return Cell.Bright && Cell.Fg < 8 ? static_cast<std::uint8_t>(Cell.Fg + 8) : Cell.Fg;
}
