// Playing bytes on the terminal: printable runs, CR, LF and escape sequences.
#include "terminal/terminal.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr std::uint8_t ESC = 27;
constexpr std::uint8_t CR = 13;
constexpr std::uint8_t LF = 10;

// Bytes that end the collection of a sequence: the ASCII letters and ESC.
constexpr std::array<bool, 256> ENDS_SEQUENCE = [] {
    std::array<bool, 256> Table{};
    for (int Ch = 'A'; Ch <= 'Z'; ++Ch)
        Table[static_cast<std::size_t>(Ch)] = Table[static_cast<std::size_t>(Ch + 32)] = true;
    Table[ESC] = true;
    return Table;
}();

const std::uint8_t *SequenceEnd(const std::uint8_t *P, const std::uint8_t *End) {
    while (P < End && !ENDS_SEQUENCE[*P])
        ++P;
    return P;
}

// Moves the cursor down one row, scrolling when it passes the bottom.
void LineFeed(TTerminal &Terminal) {
    if (++Terminal.CurY >= ScreenHeight)
        ScrollUp(Terminal);
}

// The wrap after the last column: the start of the next row.
void Wrap(TTerminal &Terminal) {
    Terminal.CurX = 0;
    LineFeed(Terminal);
}

// Places a run of printable bytes starting at P; returns where it stopped
// (a control byte, the end, or after one off-screen byte).
const std::uint8_t *PlaceRun(TTerminal &Terminal, const std::uint8_t *P, const std::uint8_t *End) {
    const std::int32_t X = Terminal.CurX;
    const std::int32_t Y = Terminal.CurY;
    if (Y < 0 || Y >= ScreenHeight || X < 0 || X >= ScreenWidth) {
        // Off screen: nothing is stored, but the cursor advances and wraps.
        if (++Terminal.CurX >= ScreenWidth)
            Wrap(Terminal);
        return P + 1;
    }
    // Cells are written through a local cursor: stores of bytes may alias
    // anything, so the terminal's own would be reloaded after each one.
    TCharInfo *Row = Terminal.ScreenBuffer[Y];
    const std::size_t Room = static_cast<std::size_t>(ScreenWidth - X);
    const std::uint8_t *Stop = P + std::min<std::size_t>(Room, static_cast<std::size_t>(End - P));
    TCharInfo Pen = Terminal.BlankCell();
    std::int32_t Column = X;
    while (P < Stop && *P >= 32) {
        Pen.Ch = *P++;
        Row[Column++] = Pen;
    }
    Terminal.CurX = Column;
    if (Column == ScreenWidth) // immediate wrap after the last column
        Wrap(Terminal);
    return P;
}

// Skips a run of NUL bytes a word at a time (the walk takes the rest one by
// one): sparse or padded files and a mistaken /dev/zero are long runs of them.
const std::uint8_t *SkipNuls(const std::uint8_t *P, const std::uint8_t *End) {
    std::uint64_t Word;
    while (End - P >= 8 && (std::memcpy(&Word, P, 8), Word == 0))
        P += 8;
    return P;
}

using TOpen = TWalkState::TOpen;

// Goes on with a sequence that an earlier block left open; returns where
// the walk resumes.
const std::uint8_t *ContinueSequence(TTerminal &Terminal, const std::uint8_t *P,
                                     const std::uint8_t *End) {
    TWalkState &Walk = Terminal.Walk;
    if (P == End)
        return End;
    if (Walk.Open == TOpen::AfterEsc) { // only now is the byte after ESC known
        if (*P == '[') {
            Walk.Open = TOpen::Folding;
            Walk.Fold = TSequenceFold(Terminal.Current);
            ++P;
        } else {
            Walk.Open = TOpen::Skipping;
        }
    }
    const std::uint8_t *const Stop = SequenceEnd(P, End);
    if (Walk.Open == TOpen::Folding)
        Walk.Fold.Add({P, Stop});
    if (Stop == End)
        return End;
    const bool Acts = Walk.Open == TOpen::Folding;
    Walk.Open = TOpen::None;
    if (*Stop == ESC)
        return Stop; // starts over in the walk
    if (Acts)
        Walk.Fold.Act(Terminal, *Stop);
    return Stop + 1;
}

// Keeps a sequence that the block ends inside: from its first byte after ESC.
void LeaveOpen(TTerminal &Terminal, const std::uint8_t *Start, const std::uint8_t *End) {
    TWalkState &Walk = Terminal.Walk;
    if (Start == End) {
        Walk.Open = TOpen::AfterEsc;
    } else if (*Start != '[') {
        Walk.Open = TOpen::Skipping;
    } else {
        Walk.Open = TOpen::Folding;
        Walk.Fold = TSequenceFold(Terminal.Current);
        Walk.Fold.Add({Start + 1, End});
    }
}

} // namespace

// Out of line, as each stage that scripts/bench_report.py names: a stage of
// its own in profiles.
[[gnu::noinline]] void WalkBytes(TTerminal &Terminal, std::span<const std::uint8_t> Data) {
    const std::uint8_t *P = Data.data();
    const std::uint8_t *const End = P + Data.size();
    if (Terminal.Walk.Open != TOpen::None)
        P = ContinueSequence(Terminal, P, End);
    while (P < End) {
        const std::uint8_t Ch = *P;
        if (Ch >= 32) {
            P = PlaceRun(Terminal, P, End);
            continue;
        }
        ++P;
        switch (Ch) {
        case ESC: {
            // Collect up to the next letter; another ESC starts over.
            const std::uint8_t *const Start = P;
            P = SequenceEnd(P, End);
            if (P == End) {
                LeaveOpen(Terminal, Start, End);
                return;
            }
            if (*P == ESC)
                break;
            ++P;
            HandleEscapeSequence(Terminal, std::string_view(reinterpret_cast<const char *>(Start),
                                                            static_cast<std::size_t>(P - Start)));
            break;
        }
        case CR:
            // A cursor placed below the screen comes back to the bottom row
            // with one scroll, as a line feed would bring it.
            Terminal.CurX = 0;
            if (Terminal.CurY >= ScreenHeight)
                ScrollUp(Terminal);
            break;
        case LF: LineFeed(Terminal); break;
        case 0: P = SkipNuls(P, End); break;
        default: break; // other control bytes do nothing
        }
    }
}
