// tarvex-play --whole: every row that scrolled off the screen, then the
// final screen, as one tall PNG.
#include "app/play_mode.h"

namespace {

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
    {},       HasPngSignature,
    PlayWhole};
