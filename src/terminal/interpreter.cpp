// Reading the input and playing its bytes on the screen.
#include "terminal/terminal.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace {

constexpr std::uint8_t ESC = 27;
constexpr std::uint8_t CR = 13;
constexpr std::uint8_t LF = 10;
constexpr std::uint8_t SUB = 26;
// The feed's buffer: the held bytes and one block.
constexpr std::size_t BUFFER = SAUCE_HOLD + INPUT_BLOCK;
// The interpreter counts bytes in 32 bits; anything this large is refused.
constexpr std::uint64_t INPUT_LIMIT = std::uint64_t{1} << 31;
// Where a SAUCE record keeps its count of comment lines.
constexpr std::size_t COMMENT_COUNT_AT = 104;

// Bytes that end the collection of a sequence: the ASCII letters and ESC.
constexpr std::array<bool, 256> ENDS_SEQUENCE = [] {
    std::array<bool, 256> Table{};
    for (int Ch = 'A'; Ch <= 'Z'; ++Ch)
        Table[static_cast<std::size_t>(Ch)] = Table[static_cast<std::size_t>(Ch + 32)] = true;
    Table[ESC] = true;
    return Table;
}();

// Refuses an input of INPUT_LIMIT bytes or more.
void CheckInputSize(std::uint64_t Size) {
    if (Size >= INPUT_LIMIT)
        throw std::runtime_error("Range check error");
}

// Moves the cursor down one row, scrolling when it passes the bottom.
void LineFeed() {
    if (++CurY >= ScreenHeight)
        ScrollUp();
}

// The wrap after the last column: the start of the next row.
void Wrap() {
    CurX = 0;
    LineFeed();
}

// Places a run of printable bytes starting at P; returns where it stopped
// (a control byte, the end, or after one off-screen byte).
const std::uint8_t *PlaceRun(const std::uint8_t *P, const std::uint8_t *End) {
    if (CurY < 0 || CurY >= ScreenHeight || CurX < 0 || CurX >= ScreenWidth) {
        // Off screen: nothing is stored, but the cursor advances and wraps.
        if (++CurX >= ScreenWidth)
            Wrap();
        return P + 1;
    }
    TCharInfo *Row = ScreenBuffer[CurY];
    std::int32_t X = CurX;
    const std::size_t Room = static_cast<std::size_t>(ScreenWidth - X);
    const std::uint8_t *Stop = P + std::min<std::size_t>(Room, static_cast<std::size_t>(End - P));
    TCharInfo Pen = BlankCell();
    while (P < Stop && *P >= 32) {
        Pen.Ch = *P++;
        Row[X++] = Pen;
    }
    CurX = X;
    if (X == ScreenWidth) // immediate wrap after the last column
        Wrap();
    return P;
}

void Append(std::string &To, const std::uint8_t *From, const std::uint8_t *End) {
    To.append(reinterpret_cast<const char *>(From), static_cast<std::size_t>(End - From));
}

// Skips a run of NUL bytes a word at a time (the walk takes the rest one by
// one): sparse or padded files and a mistaken /dev/zero are long runs of them.
const std::uint8_t *SkipNuls(const std::uint8_t *P, const std::uint8_t *End) {
    std::uint64_t Word;
    while (End - P >= 8 && (std::memcpy(&Word, P, 8), Word == 0))
        P += 8;
    return P;
}

// Goes on with a sequence that an earlier block left open; returns where
// the walk resumes.
const std::uint8_t *ContinueSequence(TWalkState &State, const std::uint8_t *P,
                                     const std::uint8_t *End) {
    const std::uint8_t *Stop = P;
    while (Stop < End && !ENDS_SEQUENCE[*Stop])
        ++Stop;
    // Only now is the byte after ESC known: a skipped sequence holds no bytes.
    if (!State.Skipping && State.Sequence.size() == 1 && P < End && *P != '[') {
        State.Skipping = true;
        State.Sequence.clear();
    }
    if (Stop == End) {
        if (!State.Skipping)
            Append(State.Sequence, P, End);
        return End;
    }
    State.InEscapeSequence = false; // nothing is left for a saved state (the page's player)
    std::string Whole = std::exchange(State.Sequence, {});
    if (*Stop == ESC)
        return Stop;
    if (!State.Skipping) {
        // Played again as the bytes it was: sequences are handed on in one
        // place, where the compiler can inline the hand-over.
        Append(Whole, P, Stop + 1);
        TWalkState Fresh;
        WalkBytes(Fresh, {reinterpret_cast<const std::uint8_t *>(Whole.data()), Whole.size()});
    }
    return Stop + 1;
}

} // namespace

[[gnu::noinline]] void WalkBytes(TWalkState &State, std::span<const std::uint8_t> Data) {
    const std::uint8_t *P = Data.data();
    const std::uint8_t *const End = P + Data.size();
    if (State.InEscapeSequence)
        P = ContinueSequence(State, P, End);
    while (P < End) {
        const std::uint8_t Ch = *P;
        if (Ch >= 32) {
            P = PlaceRun(P, End);
            continue;
        }
        ++P;
        switch (Ch) {
        case ESC: {
            // Collect up to the next letter; another ESC starts over.
            const std::uint8_t *const Start = P;
            while (P < End && !ENDS_SEQUENCE[*P])
                ++P;
            if (P == End) { // still open where the block ends
                State.InEscapeSequence = true;
                State.Skipping = Start < End && *Start != '[';
                if (!State.Skipping)
                    Append(State.Sequence.assign(1, static_cast<char>(ESC)), Start, End);
                return;
            }
            if (*P == ESC)
                break;
            ++P;
            HandleEscapeSequence(std::string_view(reinterpret_cast<const char *>(Start),
                                                  static_cast<std::size_t>(P - Start)));
            break;
        }
        case CR:
            // A cursor placed below the screen comes back to the bottom row
            // with one scroll, as a line feed would bring it.
            CurX = 0;
            if (CurY >= ScreenHeight)
                ScrollUp();
            break;
        case LF: LineFeed(); break;
        case 0: P = SkipNuls(P, End); break;
        default: break; // other control bytes do nothing
        }
    }
}

std::size_t PlayableLength(std::span<const std::uint8_t> Data) {
    std::size_t End = Data.size();
    if (End < SAUCE_RECORD || std::memcmp(Data.data() + End - SAUCE_RECORD, "SAUCE00", 7) != 0)
        return End;
    End -= SAUCE_RECORD;
    const std::size_t Comments = Data[End + COMMENT_COUNT_AT];
    const std::size_t CommentBlock = COMMENT_ID.size() + COMMENT_LINE * Comments;
    if (Comments > 0 && End >= CommentBlock &&
        std::memcmp(Data.data() + End - CommentBlock, COMMENT_ID.data(), COMMENT_ID.size()) == 0)
        End -= CommentBlock;
    if (End > 0 && Data[End - 1] == SUB)
        --End;
    return End;
}

// Not zero-filled: every byte is written before it is read.
TInputFeed::TInputFeed() : Buffer_(new std::uint8_t[BUFFER]) {}

std::span<std::uint8_t> TInputFeed::Space() {
    if (End_ == BUFFER) { // full: the held bytes move to the front
        std::memmove(Buffer_.get(), Buffer_.get() + Begin_, End_ - Begin_);
        End_ -= Begin_;
        Begin_ = 0;
    }
    return {Buffer_.get() + End_, BUFFER - End_};
}

void TInputFeed::Play(std::size_t Count) {
    End_ += Count;
    if (End_ - Begin_ <= SAUCE_HOLD)
        return;
    const std::size_t Until = End_ - SAUCE_HOLD;
    WalkBytes(Walk_, {Buffer_.get() + Begin_, Until - Begin_});
    Begin_ = Until;
}

void TInputFeed::Feed(std::span<const std::uint8_t> Bytes) {
    while (!Bytes.empty()) {
        const std::span<std::uint8_t> Room = Space();
        const std::size_t Count = std::min(Room.size(), Bytes.size());
        std::memcpy(Room.data(), Bytes.data(), Count);
        Play(Count);
        Bytes = Bytes.subspan(Count);
    }
}

void TInputFeed::Finish() {
    const std::span<const std::uint8_t> Held(Buffer_.get() + Begin_, End_ - Begin_);
    WalkBytes(Walk_, Held.first(PlayableLength(Held))); // a sequence left open is dropped
}

// Out of line, so that profiles show reading apart from the rest.
[[gnu::noinline]] void ParseAnsiFile(const std::string &FileName) {
    const TFile File = OpenForReading(FileName);
    const TFileInfo Info = QueryFile(File, FileName);
    // Files are read to the size they report, and refused first when that is
    // too large; pipes and devices are read to their end.
    const bool Sized = Info.Kind == TFileKind::Regular;
    if (Sized)
        CheckInputSize(Info.Size);
    std::uint64_t Total = 0;
    TInputFeed Input;
    for (;;) {
        const std::span<std::uint8_t> Room = Input.Space();
        const std::uint64_t Left = Sized ? Info.Size - Total : Room.size();
        const std::size_t Want =
            static_cast<std::size_t>(std::min<std::uint64_t>(Room.size(), Left));
        const std::size_t Got = Sized ? ReadExactly(File, Room.data(), Want, FileName)
                                      : ReadFully(File, Room.data(), Want, FileName);
        Total += Got;
        CheckInputSize(Total);
        Input.Play(Got);
        if (Got < Want || Want == 0) // the end of a stream, or all of a file
            break;
    }
    Input.Finish();
}
