// The walk and the painting alone (no deflate), so it runs fast: screen and
// picture invariants after arbitrary bytes.
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data, std::size_t Size) {
    InitScreenBuffer(DEFAULT_WIDTH, DEFAULT_HEIGHT);
    WalkBytes(Bytes(Data, Size));
    CheckScreen();
    static RgbImage Image(640, 400);
    TFont Font;
    Font.Loaded = Size > 0 && Data[Size - 1] & 1;
    if (Font.Loaded)
        for (std::size_t I = 0; I < Font.Data.size(); ++I)
            Font.Data[I] = static_cast<std::uint8_t>(I * 131 + Size);
    PaintScreen(Image, Font);
    CheckPicture(Image);
    return 0;
}
