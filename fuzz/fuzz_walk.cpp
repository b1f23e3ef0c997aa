// The walk and the painting alone (no deflate), so it runs fast: screen and
// picture invariants after arbitrary bytes, and the same screen whether the
// bytes arrive at once or in pieces whose sizes the input chooses.
#include "fuzz_check.h"

#include <algorithm>

namespace {

// Calls Take with consecutive pieces of Input; piece sizes cycle through
// Sizes (each plus one), or the whole input when there are none.
template <typename TTake>
void InPieces(std::span<const std::uint8_t> Input, std::span<const std::uint8_t> Sizes,
              TTake Take) {
    for (std::size_t At = 0, I = 0; At < Input.size(); ++I) {
        const std::size_t Want = Sizes.empty() ? Input.size() : Sizes[I % Sizes.size()] + 1u;
        const std::size_t Piece = std::min(Want, Input.size() - At);
        // A heap block of the piece's own size, so a read past it shows.
        const std::vector<std::uint8_t> Exact(Input.begin() + static_cast<long>(At),
                                              Input.begin() + static_cast<long>(At + Piece));
        Take(std::span<const std::uint8_t>(Exact));
        At += Piece;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data, std::size_t Size) {
    // The first byte says how many piece sizes follow it; the rest is played.
    const std::size_t Count = Size > 0 ? std::min<std::size_t>(Data[0] % 8, Size - 1) : 0;
    const std::span<const std::uint8_t> Sizes = Bytes(Data, Size).subspan(Size > 0 ? 1 : 0, Count);
    const std::span<const std::uint8_t> Input = Bytes(Data, Size).subspan(Size > 0 ? 1 + Count : 0);

    TTerminal Once;
    WalkBytes(Once, Input);
    CheckScreen(Once);

    TTerminal Pieces;
    InPieces(Input, Sizes,
             [&Pieces](std::span<const std::uint8_t> Piece) { WalkBytes(Pieces, Piece); });
    FUZZ_CHECK(Pieces == Once);

    // Through the feed, which holds back a trailing SAUCE record.
    TTerminal Played;
    WalkBytes(Played, Input.first(PlayableLength(Input)));
    TTerminal Fed;
    TInputFeed Feed(Fed);
    InPieces(Input, Sizes, [&Feed](std::span<const std::uint8_t> Piece) { Feed.Feed(Piece); });
    Feed.Finish();
    FUZZ_CHECK(Fed == Played);

    static RgbImage Image(640, 400);
    TFont Font;
    Font.Loaded = Size > 0 && Data[Size - 1] & 1;
    if (Font.Loaded)
        for (std::size_t I = 0; I < Font.Data.size(); ++I)
            Font.Data[I] = static_cast<std::uint8_t>(I * 131 + Size);
    PaintScreen(Once.ScreenBuffer, Image, Font);
    CheckPicture(Once.ScreenBuffer, Image);
    return 0;
}
