// A control sequence that blocks cut apart is folded as its bytes arrive;
// whole, it is read from its text. Both must do the same, from any cursor
// and pen, whatever the parameter bytes and wherever the cuts fall.
#include "fuzz_check.h"

#include <algorithm>
#include <string>

namespace {

// The bytes that matter to the field and number rules, so that the fuzzer
// meets them often; letters and ESC would end the sequence.
constexpr std::string_view INTERESTING = "0123456789;\"\" \t+-$%&\0\r";
constexpr std::string_view FINALS = "ABCDHfJKmz";

std::uint8_t ParameterByte(std::uint8_t Byte) {
    const bool Letter = (Byte >= 'A' && Byte <= 'Z') || (Byte >= 'a' && Byte <= 'z');
    if (Letter || Byte == 27 || Byte >= 0xF0)
        return static_cast<std::uint8_t>(INTERESTING[Byte % INTERESTING.size()]);
    return Byte;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data, std::size_t Size) {
    if (Size < 5)
        return 0;
    // The start: cursor (off the screen too), pen, final letter and cuts.
    TTerminal Start;
    for (std::int32_t Y = 0; Y < ScreenHeight; ++Y)
        for (std::int32_t X = 0; X < ScreenWidth; ++X)
            Start.ScreenBuffer[Y][X] = TCharInfo{'x', 2, 5, true};
    Start.CurX = Data[0] % 100 - 2;
    Start.CurY = Data[1] % 40 - 2;
    Start.Current = TAttributes{static_cast<std::uint8_t>(Data[2] % 8),
                                static_cast<std::uint8_t>(Data[2] / 8 % 16), Data[2] >= 128};
    const std::uint8_t Final = static_cast<std::uint8_t>(FINALS[Data[3] % FINALS.size()]);
    const std::uint8_t Seed = Data[4];

    std::string Sequence = "\x1b[";
    for (std::size_t I = 5; I < Size; ++I)
        Sequence.push_back(static_cast<char>(ParameterByte(Data[I])));
    Sequence.push_back(static_cast<char>(Final));

    TTerminal Held = Start;
    HandleEscapeSequence(Held, std::string_view(Sequence).substr(1));

    // Cut after ESC or after "[" at least, so the fold always takes over,
    // then at points the seed picks.
    TTerminal Folded = Start;
    std::size_t At = 0;
    std::size_t Cut = 1 + Seed % 2;
    std::uint32_t Random = Seed * 2654435761u + static_cast<std::uint32_t>(Size);
    while (At < Sequence.size()) {
        const std::size_t Piece = std::min(Cut, Sequence.size() - At);
        const std::vector<std::uint8_t> Exact(Sequence.begin() + static_cast<long>(At),
                                              Sequence.begin() + static_cast<long>(At + Piece));
        WalkBytes(Folded, Exact);
        At += Piece;
        Random = Random * 1103515245u + 12345u;
        Cut = 1 + Random % (Seed % 4 == 0 ? 3 : 300);
    }
    FUZZ_CHECK(Folded == Held);
    return 0;
}
