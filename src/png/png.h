// PNG output: the in-memory picture and its encoder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "common/page_buffer.h"

// Every PNG file starts with these bytes.
constexpr std::array<std::uint8_t, 8> PNG_SIGNATURE = {0x89, 0x50, 0x4E, 0x47,
                                                       0x0D, 0x0A, 0x1A, 0x0A};
// A pixel as the encoder takes it: red, green, blue, 16 bits each.
constexpr std::size_t BYTES_PER_PIXEL = 6;

// One colour with 16-bit components.
struct TRgb16 {
    std::uint16_t R;
    std::uint16_t G;
    std::uint16_t B;
};

// A picture with 16-bit red, green and blue per pixel, created black. Pixels
// are stored as the PNG encoder needs them: six bytes each, every sample most
// significant byte first, rows from the top.
struct RgbImage {
    std::int32_t Width;
    std::int32_t Height;
    TPageBuffer Samples;

    RgbImage(std::int32_t ImageWidth, std::int32_t ImageHeight);
    // One pixel at a time, checked: raises std::out_of_range outside the
    // picture. The painter writes whole rows instead; the tests use these.
    void SetPixel(std::int32_t X, std::int32_t Y, TRgb16 Color);
    TRgb16 GetPixel(std::int32_t X, std::int32_t Y) const;
    std::uint8_t *Row(std::int32_t Y) { return Samples.data() + RowOffset(Y); }
    const std::uint8_t *Row(std::int32_t Y) const { return Samples.data() + RowOffset(Y); }
    std::size_t RowBytes() const { return static_cast<std::size_t>(Width) * BYTES_PER_PIXEL; }

  private:
    std::size_t RowOffset(std::int32_t Y) const { return static_cast<std::size_t>(Y) * RowBytes(); }
    // Where the pixel's bytes start; raises std::out_of_range outside the picture.
    std::size_t PixelOffset(std::int32_t X, std::int32_t Y) const;
};

// Writes a pixel's six bytes as the picture stores them: red, green, blue,
// each sample most significant byte first.
void StoreSamples(std::uint8_t *Out, TRgb16 Color);

// Receives the bytes of the file; must store all of them or raise.
using TByteSink = std::function<void(const std::uint8_t *Data, std::size_t Size)>;

// Writes the picture as a 16-bit truecolour PNG: IHDR, an empty pHYs, one IDAT
// and IEND. zlib failures raise zlib's text for the error.
void EncodePng(const RgbImage &Image, const TByteSink &Sink);
