// Which frames an animation has, and what each one changes.
#include "anim/anim.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr std::uint64_t NO_LIMIT = std::numeric_limits<std::uint64_t>::max();
constexpr TRect WHOLE_PICTURE{0, 0, PICTURE_WIDTH_PX, PICTURE_HEIGHT_PX};
// A frame that repeats the picture still needs one pixel.
constexpr TRect ONE_PIXEL{0, 0, 1, 1};

// For each 8-bit row of a glyph, its pixels as 0xFF where the bit is set.
constexpr std::array<std::uint64_t, 256> SPREAD_BITS = [] {
    std::array<std::uint64_t, 256> Table{};
    for (unsigned Bits = 0; Bits < 256; ++Bits)
        for (unsigned PX = 0; PX < 8; ++PX)
            if ((Bits >> (7 - PX)) & 1)
                Table[Bits] |= std::uint64_t{0xFF} << (8 * PX); // pixel PX at byte PX
    return Table;
}();

bool SameBlock(const TIndexedPicture &A, const TIndexedPicture &B, std::int32_t Row,
               std::int32_t Column) {
    const std::size_t X = static_cast<std::size_t>(Column * CHAR_WIDTH);
    for (std::int32_t PY = Row * CHAR_HEIGHT; PY < (Row + 1) * CHAR_HEIGHT; ++PY)
        if (std::memcmp(A.Row(PY) + X, B.Row(PY) + X, CHAR_WIDTH) != 0)
            return false;
    return true;
}

} // namespace

TFrameSchedule::TFrameSchedule(const TAnimationOptions &Options)
    : BytesPerFrameTimes1000_(std::uint64_t{Options.Delay} * Options.BitsPerSecond),
      LastAllowed_(Options.MaxLength == 0 ? NO_LIMIT
                                          : std::uint64_t{Options.MaxLength} * 100 / Options.Delay),
      FinalDelay_(std::max(Options.Hold * 100, Options.Delay)), Delay_(Options.Delay) {}

std::uint64_t TFrameSchedule::BytesAt(std::uint64_t Frame) const {
    return Frame * BytesPerFrameTimes1000_ / 1000; // no overflow: frames stop at 2^31 bytes
}

void PaintIndexedCell(const TCharInfo &Cell, const TFont &Font, TIndexedPicture &Picture,
                      std::int32_t Row, std::int32_t Column) {
    const std::uint64_t Fore = 0x0101010101010101ULL * (ForegroundIndex(Cell) & 15);
    const std::uint64_t Back = 0x0101010101010101ULL * (Cell.Bg & 15);
    const auto Mask = CellMask(Cell.Ch, Font);
    const std::size_t X = static_cast<std::size_t>(Column * CHAR_WIDTH);
    for (std::int32_t PY = 0; PY < CHAR_HEIGHT; ++PY) {
        const std::uint64_t Set = SPREAD_BITS[Mask[static_cast<std::size_t>(PY)]];
        const std::uint64_t Pixels = (Fore & Set) | (Back & ~Set);
        std::memcpy(Picture.Row(Row * CHAR_HEIGHT + PY) + X, &Pixels, CHAR_WIDTH);
    }
}

TAnimator::TAnimator(const TAnimationOptions &Options, const TFont &Font, TFrameEncoder &Encoder)
    : Schedule_(Options), Font_(Font), Encoder_(Encoder), ShownArea_(WHOLE_PICTURE) {
    // The first frame is the blank screen, whole.
    for (std::int32_t Row = 0; Row < ScreenHeight; ++Row)
        for (std::int32_t Column = 0; Column < ScreenWidth; ++Column)
            PaintIndexedCell(ShownScreen_[Row][Column], Font_, Shown_, Row, Column);
    Next_ = Shown_;
}

TAnimator::~TAnimator() = default;

void TAnimator::Play(std::span<const std::uint8_t> Bytes) {
    for (;;) {
        if (NextFrame_ >= Schedule_.LastAllowed()) { // the limit: only the final picture is left
            WalkBytes(Terminal_, Bytes);
            Walked_ += Bytes.size();
            return;
        }
        const std::uint64_t Target = Schedule_.BytesAt(NextFrame_);
        if (Walked_ == Target) {
            if (Bytes.empty()) // the frame may be the last: only Finish can tell
                return;
            Take(NextFrame_++);
            continue;
        }
        if (Bytes.empty())
            return;
        const std::size_t Count =
            static_cast<std::size_t>(std::min<std::uint64_t>(Target - Walked_, Bytes.size()));
        WalkBytes(Terminal_, Bytes.first(Count));
        Walked_ += Count;
        Bytes = Bytes.subspan(Count);
    }
}

void TAnimator::Finish() {
    // Every frame before NextFrame_ came before the end, so it is the last.
    const std::uint64_t Last = NextFrame_;
    Cut_ = Last == Schedule_.LastAllowed() && Schedule_.BytesAt(Last) < Walked_;
    Take(Last);
    Emit(ShownArea_, (Last - ShownSince_) * Schedule_.Delay() + Schedule_.FinalDelay());
    Encoder_.Finish();
}

void TAnimator::Take(std::uint64_t Frame) {
    std::int32_t Left = ScreenWidth, Right = -1, Top = ScreenHeight, Bottom = -1;
    for (std::int32_t Row = 0; Row < ScreenHeight; ++Row) {
        const TCharInfo *Now = Terminal_.ScreenBuffer[Row];
        TCharInfo *Was = ShownScreen_[Row];
        if (std::equal(Now, Now + ScreenWidth, Was))
            continue;
        for (std::int32_t Column = 0; Column < ScreenWidth; ++Column) {
            if (Now[Column] == Was[Column])
                continue;
            Was[Column] = Now[Column];
            PaintIndexedCell(Now[Column], Font_, Next_, Row, Column);
            if (SameBlock(Next_, Shown_, Row, Column)) // another cell, the same pixels
                continue;
            Left = std::min(Left, Column);
            Right = std::max(Right, Column);
            Top = std::min(Top, Row);
            Bottom = std::max(Bottom, Row);
        }
    }
    if (Right < 0) // the same picture: the frame shown lasts longer
        return;
    Emit(ShownArea_, (Frame - ShownSince_) * Schedule_.Delay());
    const TRect Area{Left * CHAR_WIDTH, Top * CHAR_HEIGHT, (Right - Left + 1) * CHAR_WIDTH,
                     (Bottom - Top + 1) * CHAR_HEIGHT};
    for (std::int32_t Y = Area.Y; Y < Area.Y + Area.Height; ++Y)
        std::memcpy(Shown_.Row(Y) + Area.X, Next_.Row(Y) + Area.X,
                    static_cast<std::size_t>(Area.Width));
    ShownArea_ = Area;
    ShownSince_ = Frame;
}

// Writes the frame shown, splitting a delay longer than a frame can carry
// into repeats at whole frame intervals.
void TAnimator::Emit(const TRect &Area, std::uint64_t Delay) {
    const std::uint32_t Longest = MAX_FRAME_DELAY / Schedule_.Delay() * Schedule_.Delay();
    TRect Part = Area;
    while (Delay > MAX_FRAME_DELAY) {
        Encoder_.Frame(Shown_, Part, Longest);
        ++FramesWritten_;
        Delay -= Longest;
        Part = ONE_PIXEL;
    }
    Encoder_.Frame(Shown_, Part, static_cast<std::uint32_t>(Delay));
    ++FramesWritten_;
}
