#include "png/png.h"

#include <stdexcept>

RgbImage::RgbImage(std::int32_t ImageWidth, std::int32_t ImageHeight)
    : Width(ImageWidth), Height(ImageHeight),
      Samples(static_cast<std::size_t>(ImageWidth) * static_cast<std::size_t>(ImageHeight) *
              BYTES_PER_PIXEL) {}

std::size_t RgbImage::PixelOffset(std::int32_t X, std::int32_t Y) const {
    if (X < 0 || X >= Width || Y < 0 || Y >= Height)
        throw std::out_of_range("Pixel outside the image");
    return RowOffset(Y) + static_cast<std::size_t>(X) * BYTES_PER_PIXEL;
}

void RgbImage::SetPixel(std::int32_t X, std::int32_t Y, TRgb16 Color) {
    StoreSamples(Samples.data() + PixelOffset(X, Y), Color);
}

TRgb16 RgbImage::GetPixel(std::int32_t X, std::int32_t Y) const {
    const std::uint8_t *P = Samples.data() + PixelOffset(X, Y);
    const auto Sample = [P](int I) {
        return static_cast<std::uint16_t>(P[2 * I] << 8 | P[2 * I + 1]);
    };
    return TRgb16{Sample(0), Sample(1), Sample(2)};
}

void StoreSamples(std::uint8_t *Out, TRgb16 Color) {
    for (const std::uint16_t Sample : {Color.R, Color.G, Color.B}) {
        *Out++ = static_cast<std::uint8_t>(Sample >> 8);
        *Out++ = static_cast<std::uint8_t>(Sample);
    }
}
