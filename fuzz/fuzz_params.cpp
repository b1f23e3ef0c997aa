// Parameter fields, integer conversion and SGR on arbitrary texts. The SGR
// result is compared with the fields applied one by one through the general
// routines, so the fast path for plain decimals cannot drift from them.
#include "fuzz_check.h"

#include <string>

namespace {

struct TAttrs {
    std::uint8_t Fg, Bg;
    bool Bright;
};

TAttrs Reference(std::string_view Params, TAttrs Now) {
    const std::vector<std::string> Fields = SplitParams(Params);
    if (Fields.empty())
        return TAttrs{7, 0, false};
    for (const std::string &Field : Fields) {
        std::int32_t Code;
        if (!TryParseInt(Field, Code))
            continue;
        if (Code == 0)
            Now = TAttrs{7, 0, false};
        else if (Code == 1)
            Now.Bright = true;
        else if (Code >= 30 && Code <= 37)
            Now.Fg = static_cast<std::uint8_t>(Code - 30);
        else if (Code >= 40 && Code <= 47)
            Now.Bg = static_cast<std::uint8_t>(Code - 40);
        else if (Code >= 90 && Code <= 97)
            Now = TAttrs{static_cast<std::uint8_t>(Code - 90), Now.Bg, true};
        else if (Code >= 100 && Code <= 107)
            Now.Bg = static_cast<std::uint8_t>(Code - 92);
    }
    return Now;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data, std::size_t Size) {
    const std::string_view Text(reinterpret_cast<const char *>(Data), Size);

    // Splitting: fields never hold more bytes than the text; without quotes
    // they are exactly the ';'-separated pieces.
    const std::vector<std::string> Fields = SplitParams(Text);
    FUZZ_CHECK(Text.empty() == Fields.empty());
    if (Text.find('"') == std::string_view::npos && !Text.empty()) {
        std::string Joined;
        for (std::size_t I = 0; I < Fields.size(); ++I)
            Joined += (I ? ";" : "") + Fields[I];
        FUZZ_CHECK(Joined == Text);
    }

    // Conversion agrees with itself through both entry points.
    std::int32_t Value = 0;
    const bool Converted = TryParseInt(Text, Value);
    FUZZ_CHECK(ParseIntDef(Text, 12345) == (Converted ? Value : 12345));
    if (Text.size() >= 256)
        FUZZ_CHECK(!Converted);

    // SGR from a state taken from the input.
    InitScreenBuffer(DEFAULT_WIDTH, DEFAULT_HEIGHT);
    const TAttrs Start{static_cast<std::uint8_t>(Size % 8), static_cast<std::uint8_t>(Size % 16),
                       Size % 3 == 0};
    CurrentFG = Start.Fg;
    CurrentBG = Start.Bg;
    BrightAttr = Start.Bright;
    ProcessSGR(Text);
    const TAttrs Want = Reference(Text, Start);
    FUZZ_CHECK(CurrentFG == Want.Fg && CurrentBG == Want.Bg && BrightAttr == Want.Bright);
    FUZZ_CHECK(CurrentFG <= 7 && CurrentBG <= 15);
    return 0;
}
