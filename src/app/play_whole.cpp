// tarvex-play --whole: every row that scrolled off the screen, then the
// final screen, as one tall PNG.
#include "app/play_mode.h"

#include <algorithm>

namespace {

bool IsPng(std::string_view Head) {
    return Head.size() >= PNG_SIGNATURE.size() &&
           std::equal(PNG_SIGNATURE.begin(), PNG_SIGNATURE.end(), Head.begin(),
                      [](std::uint8_t A, char B) { return A == static_cast<std::uint8_t>(B); });
}

void PlayWhole(const TPlayInput &Input, const TPlayContext &Context, const TByteSink &Sink) {
    TTerminal Terminal;
    TWholePiece Piece(Context.Font);
    Terminal.Listener = &Piece;
    Input.PlayOn(Terminal);
    Piece.Finish(Terminal.ScreenBuffer, Sink);
    if (Piece.RowsLeftOut() > 0)
        Context.Note(std::to_string(Piece.RowsLeftOut()) + " scrolled rows left out (the first " +
                     std::to_string(MOST_SCROLLED_ROWS) + " are kept)");
}

} // namespace

const TPlayMode WHOLE_MODE{
    "whole",  ".whole.png",
    "PNG",    "every row that scrolled off, then the last screen, as one tall PNG",
    {},       IsPng,
    PlayWhole};
