// The whole conversion in memory: walk, paint (without a font, and with one
// taken from the input), encode, then decode and check the picture.
#include "fuzz_check.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data, std::size_t Size) {
    TTerminal Terminal;
    TInputFeed Input(Terminal);
    Input.Feed(Bytes(Data, Size));
    Input.Finish();
    CheckScreen(Terminal);

    TFont Font;
    if (Size > 0 && Data[0] & 1) { // a font from the input, repeated to 4096 bytes
        Font.Loaded = true;
        for (std::size_t I = 0; I < Font.Data.size(); ++I)
            Font.Data[I] = Data[I % Size];
    }
    RgbImage Image(640, 400);
    PaintScreen(Terminal.ScreenBuffer, Image, Font);
    CheckPicture(Terminal.ScreenBuffer, Image);

    std::vector<std::uint8_t> File;
    EncodePng(Image, [&File](const std::uint8_t *Out, std::size_t Count) {
        File.insert(File.end(), Out, Out + Count);
    });
    const std::vector<std::uint8_t> Raw = DecodePng(File, 640, 400);
    for (std::int32_t Y = 0; Y < 400; ++Y) {
        const std::uint8_t *Row = Raw.data() + static_cast<std::size_t>(Y) * SCANLINE_BYTES + 1;
        FUZZ_CHECK(std::memcmp(Row, Image.Row(Y), ROW_PIXELS_BYTES) == 0);
        for (std::size_t Byte = 0; Byte < ROW_PIXELS_BYTES; Byte += 2)
            FUZZ_CHECK(Row[Byte] == Row[Byte + 1]);
    }
    return 0;
}
