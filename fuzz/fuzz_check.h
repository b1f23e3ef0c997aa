// Invariant checks shared by the fuzz targets: a failed check aborts, which
// the fuzzer reports as a finding and the replay test as a failure.
#pragma once

#include "app/reading.h"
#include "png_facts.h"
#include "render/render.h"
#include "terminal/terminal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#define FUZZ_CHECK(Condition)                                                                      \
    do {                                                                                           \
        if (!(Condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #Condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// The checks themselves are not what is being explored: keep coverage
// instrumentation (and its memcmp hooks) out of them.
#if defined(__clang__)
#define FUZZ_UNINSTRUMENTED __attribute__((no_sanitize("coverage")))
#else
#define FUZZ_UNINSTRUMENTED
#endif

inline std::span<const std::uint8_t> Bytes(const std::uint8_t *Data, std::size_t Size) {
    return std::span<const std::uint8_t>(Data, Size);
}

// Every cell holds indices the painter can use; the current attributes too.
FUZZ_UNINSTRUMENTED inline void CheckScreen(const TTerminal &Terminal) {
    FUZZ_CHECK(Terminal.Current.Fg <= 7 && Terminal.Current.Bg <= 15);
    FUZZ_CHECK(Terminal.ScreenBuffer.Top >= 0 && Terminal.ScreenBuffer.Top < ScreenHeight);
    for (std::int32_t Y = 0; Y < ScreenHeight; ++Y)
        for (std::int32_t X = 0; X < ScreenWidth; ++X) {
            const TCharInfo &Cell = Terminal.ScreenBuffer[Y][X];
            FUZZ_CHECK(Cell.Fg <= 7 && Cell.Bg <= 15 && Cell.Ch >= 32);
        }
    // Only the position command leaves the screen, and never below -1.
    FUZZ_CHECK(Terminal.CurX >= -1 && Terminal.CurY >= -1);
}

// Every pixel of a cell's block is its foreground or its background colour,
// so only palette colours appear, each sample's two bytes equal.
FUZZ_UNINSTRUMENTED inline void CheckPicture(const TScreenBuffer &Screen, const RgbImage &Image) {
    FUZZ_CHECK(Image.Width == 640 && Image.Height == 400);
    for (std::int32_t Row = 0; Row < 25; ++Row)
        for (std::int32_t Column = 0; Column < 80; ++Column) {
            const TCharInfo &Cell = Screen[Row][Column];
            std::uint8_t Samples[2][8] = {};
            StoreSamples(Samples[0], PaletteColor(ForegroundIndex(Cell)));
            StoreSamples(Samples[1], PaletteColor(Cell.Bg));
            std::uint64_t Fore;
            std::uint64_t Back;
            std::memcpy(&Fore, Samples[0], 8);
            std::memcpy(&Back, Samples[1], 8);
            for (std::int32_t PY = 0; PY < 16; ++PY) {
                const std::uint8_t *Pixel = Image.Row(Row * 16 + PY) + Column * 8 * BYTES_PER_PIXEL;
                for (int PX = 0; PX < 8; ++PX, Pixel += BYTES_PER_PIXEL) {
                    std::uint64_t Seen = 0;
                    std::memcpy(&Seen, Pixel, BYTES_PER_PIXEL);
                    FUZZ_CHECK(Seen == Fore || Seen == Back);
                }
            }
        }
}

// The scanline data of an encoded picture, its whole layout checked.
inline TBytes DecodePng(const TBytes &File, std::uint32_t Width, std::uint32_t Height) {
    const std::optional<TBytes> Raw = Scanlines(File, Width, Height);
    FUZZ_CHECK(Raw);
    return *Raw;
}
