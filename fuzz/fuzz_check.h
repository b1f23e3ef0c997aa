// Invariant checks shared by the fuzz targets: a failed check aborts, which
// the fuzzer reports as a finding and the replay test as a failure.
#pragma once

#include "render/render.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <zlib.h>

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
FUZZ_UNINSTRUMENTED inline void CheckScreen() {
    FUZZ_CHECK(ScreenWidth == DEFAULT_WIDTH && ScreenHeight == DEFAULT_HEIGHT);
    FUZZ_CHECK(CurrentFG <= 7 && CurrentBG <= 15);
    for (std::int32_t Y = 0; Y < ScreenHeight; ++Y)
        for (std::int32_t X = 0; X < ScreenWidth; ++X) {
            const TCharInfo &Cell = ScreenBuffer[Y][X];
            FUZZ_CHECK(Cell.Fg <= 7 && Cell.Bg <= 15 && Cell.Ch >= 32);
        }
    // Only the position command leaves the screen, and never below -1.
    FUZZ_CHECK(CurX >= -1 && CurY >= -1);
}

// Every pixel of a cell's block is its foreground or its background colour,
// so only palette colours appear, each sample's two bytes equal.
FUZZ_UNINSTRUMENTED inline void CheckPicture(const RgbImage &Image) {
    FUZZ_CHECK(Image.Width == 640 && Image.Height == 400);
    for (std::int32_t Row = 0; Row < 25; ++Row)
        for (std::int32_t Column = 0; Column < 80; ++Column) {
            const TCharInfo &Cell = ScreenBuffer[Row][Column];
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

inline std::uint32_t BigEndian32(const std::uint8_t *P) {
    return std::uint32_t{P[0]} << 24 | std::uint32_t{P[1]} << 16 | std::uint32_t{P[2]} << 8 | P[3];
}

// Checks the chunk layout and CRCs of a PNG and returns its inflated data.
inline std::vector<std::uint8_t> DecodePng(const std::vector<std::uint8_t> &File,
                                           std::uint32_t Width, std::uint32_t Height) {
    static const std::uint8_t SIGNATURE[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    FUZZ_CHECK(File.size() >= 78 && std::equal(SIGNATURE, SIGNATURE + 8, File.begin()));
    const char *Types[4] = {"IHDR", "pHYs", "IDAT", "IEND"};
    std::size_t At = 8;
    std::vector<std::uint8_t> Idat;
    for (const char *Type : Types) {
        FUZZ_CHECK(At + 12 <= File.size());
        const std::uint32_t Length = BigEndian32(&File[At]);
        FUZZ_CHECK(At + 12 + Length <= File.size());
        FUZZ_CHECK(std::equal(Type, Type + 4, File.begin() + static_cast<long>(At) + 4));
        FUZZ_CHECK(BigEndian32(&File[At + 8 + Length]) ==
                   crc32(0, &File[At + 4], static_cast<uInt>(Length + 4)));
        if (Type[0] == 'I' && Type[1] == 'H') {
            FUZZ_CHECK(Length == 13 && BigEndian32(&File[At + 8]) == Width &&
                       BigEndian32(&File[At + 12]) == Height && File[At + 16] == 16 &&
                       File[At + 17] == 2);
        }
        if (Type[0] == 'I' && Type[1] == 'D') {
            Idat.assign(File.begin() + static_cast<long>(At) + 8,
                        File.begin() + static_cast<long>(At + 8 + Length));
            FUZZ_CHECK(File.size() == 78 + Length);
        }
        At += 12 + Length;
    }
    FUZZ_CHECK(At == File.size());
    const std::size_t RowBytes = 1 + BYTES_PER_PIXEL * Width;
    std::vector<std::uint8_t> Raw(RowBytes * Height + 1);
    uLongf RawSize = static_cast<uLongf>(Raw.size());
    FUZZ_CHECK(uncompress(Raw.data(), &RawSize, Idat.data(), static_cast<uLong>(Idat.size())) ==
               Z_OK);
    FUZZ_CHECK(RawSize == RowBytes * Height);
    Raw.resize(RawSize);
    for (std::size_t Row = 0; Row < Height; ++Row)
        FUZZ_CHECK(Raw[Row * RowBytes] == 0);
    return Raw;
}
