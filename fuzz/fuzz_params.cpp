// Parameter fields, integer conversion and SGR on arbitrary texts. SGR's
// one-pass path for plain decimals is compared with the general field rules,
// so the two cannot drift apart.
#include "fuzz_check.h"

#include <string>

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

    // SGR from a state taken from the input, both ways.
    const TAttributes Start{static_cast<std::uint8_t>(Size % 8),
                            static_cast<std::uint8_t>(Size % 16), Size % 3 == 0};
    TAttributes Fast = Start;
    ProcessSGR(Fast, Text);
    TAttributes General = Start;
    ProcessSgrFields(General, Text);
    FUZZ_CHECK(Fast == General);
    FUZZ_CHECK(Fast.Fg <= 7 && Fast.Bg <= 15);
    return 0;
}
