// The encoder on small pictures of any size and content, decoded back.
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data, std::size_t Size) {
    if (Size < 2)
        return 0;
    const std::int32_t Width = 1 + Data[0] % 64;
    const std::int32_t Height = 1 + Data[1] % 64;
    RgbImage Image(Width, Height);
    // Pixel samples come from the rest of the input, cycled.
    const std::uint8_t *Pixels = Data + 2;
    const std::size_t Count = Size - 2;
    std::size_t At = 0;
    const auto NextByte = [&]() -> unsigned { return Count ? Pixels[At++ % Count] : 0u; };
    const auto Next = [&]() {
        const unsigned High = NextByte();
        return static_cast<std::uint16_t>(High << 8 | NextByte());
    };
    for (std::int32_t Y = 0; Y < Height; ++Y)
        for (std::int32_t X = 0; X < Width; ++X)
            Image.SetPixel(X, Y, TRgb16{Next(), Next(), Next()});

    std::vector<std::uint8_t> File;
    EncodePng(Image, [&File](const std::uint8_t *Out, std::size_t Count) {
        File.insert(File.end(), Out, Out + Count);
    });
    const std::vector<std::uint8_t> Raw =
        DecodePng(File, static_cast<std::uint32_t>(Width), static_cast<std::uint32_t>(Height));
    const std::size_t RowBytes = 1 + Image.RowBytes();
    for (std::int32_t Y = 0; Y < Height; ++Y)
        for (std::int32_t X = 0; X < Width; ++X) {
            const TRgb16 Pixel = Image.GetPixel(X, Y);
            const std::uint8_t *Got = &Raw[static_cast<std::size_t>(Y) * RowBytes + 1 +
                                           BYTES_PER_PIXEL * static_cast<std::size_t>(X)];
            FUZZ_CHECK((Got[0] << 8 | Got[1]) == Pixel.R);
            FUZZ_CHECK((Got[2] << 8 | Got[3]) == Pixel.G);
            FUZZ_CHECK((Got[4] << 8 | Got[5]) == Pixel.B);
        }
    return 0;
}
