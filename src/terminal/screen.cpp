#include "terminal/terminal.h"

#include <algorithm>

bool TScreenBuffer::operator==(const TScreenBuffer &Other) const {
    for (std::int32_t Row = 0; Row < ScreenHeight; ++Row)
        if (!std::equal((*this)[Row], (*this)[Row] + ScreenWidth, Other[Row]))
            return false;
    return true;
}

bool TTerminal::operator==(const TTerminal &Other) const {
    return ScreenBuffer == Other.ScreenBuffer && CurX == Other.CurX && CurY == Other.CurY &&
           Current == Other.Current && Walk.Open == Other.Walk.Open &&
           (Walk.Open != TWalkState::TOpen::Folding || Walk.Fold == Other.Walk.Fold);
}

void EraseCells(TTerminal &Terminal, std::int64_t FirstRow, std::int64_t FirstColumn,
                std::int64_t LastRow, std::int64_t LastColumn) {
    // Rows are clipped before the loop, so a far-off cursor costs nothing.
    const std::int64_t From = std::max<std::int64_t>(FirstRow, 0);
    const std::int64_t To = std::min<std::int64_t>(LastRow, ScreenHeight - 1);
    const TCharInfo Blank = Terminal.BlankCell();
    for (std::int64_t Row = From; Row <= To; ++Row) {
        const std::int64_t Left = Row == FirstRow ? std::max<std::int64_t>(FirstColumn, 0) : 0;
        const std::int64_t Right =
            Row == LastRow ? std::min<std::int64_t>(LastColumn, ScreenWidth - 1) : ScreenWidth - 1;
        if (Left <= Right) {
            TCharInfo *Cells = Terminal.ScreenBuffer[static_cast<std::int32_t>(Row)];
            std::fill(Cells + Left, Cells + Right + 1, Blank);
        }
    }
}

void ScrollUp(TTerminal &Terminal) {
    TScreenBuffer &Screen = Terminal.ScreenBuffer;
    if (Terminal.Listener)
        Terminal.Listener->RowScrolledOff(
            std::span<const TCharInfo, ScreenWidth>(Screen[0], ScreenWidth));
    // The old top row becomes the new bottom row and is blanked in place.
    if (++Screen.Top == ScreenHeight)
        Screen.Top = 0;
    TCharInfo *Bottom = Screen[ScreenHeight - 1];
    std::fill(Bottom, Bottom + ScreenWidth, Terminal.BlankCell());
    Terminal.CurY = ScreenHeight - 1;
}
