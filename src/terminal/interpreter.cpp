// Reading the input and playing its bytes on the screen.
#include "terminal/terminal.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

namespace {

constexpr std::uint8_t ESC = 27;
constexpr std::uint8_t CR = 13;
constexpr std::uint8_t LF = 10;
constexpr std::uint8_t SUB = 26;
// The interpreter counts bytes in 32 bits; anything this large is refused.
constexpr std::uint64_t MAX_INPUT = std::uint64_t{1} << 31;
constexpr std::size_t STREAM_CHUNK = 64 * 1024;
constexpr std::size_t SAUCE_SIZE = 128;
constexpr std::size_t COMMENT_LINE = 64;

// Bytes that end the collection of a sequence: the ASCII letters and ESC.
constexpr std::array<bool, 256> ENDS_SEQUENCE = [] {
    std::array<bool, 256> Table{};
    for (int Ch = 'A'; Ch <= 'Z'; ++Ch)
        Table[static_cast<std::size_t>(Ch)] = Table[static_cast<std::size_t>(Ch + 32)] = true;
    Table[ESC] = true;
    return Table;
}();

// Pipes and devices have no size to trust: read until end of data.
TPageBuffer ReadStream(const TFile &File, const std::string &FileName) {
    TPageBuffer Data(STREAM_CHUNK);
    std::size_t Used = 0;
    for (;;) {
        Used += ReadFully(File, Data.data() + Used, Data.size() - Used, FileName);
        if (Used >= MAX_INPUT)
            throw std::runtime_error("Range check error");
        if (Used < Data.size())
            break;
        Data.Grow();
    }
    Data.Truncate(Used);
    return Data;
}

} // namespace

// Stages stay out of line so that profiles show each one.
[[gnu::noinline]] TPageBuffer ReadInputFile(const std::string &FileName) {
    const TFile File = OpenForReading(FileName);
    const TFileInfo Info = QueryFile(File, FileName);
    if (Info.Kind != TFileKind::Regular)
        return ReadStream(File, FileName);
    if (Info.Size >= MAX_INPUT)
        throw std::runtime_error("Range check error");
    TPageBuffer Data(static_cast<std::size_t>(Info.Size));
    ReadExactly(File, Data.data(), Data.size(), FileName);
    return Data;
}

std::size_t PlayableLength(std::span<const std::uint8_t> Data) {
    std::size_t End = Data.size();
    if (End < SAUCE_SIZE || std::memcmp(Data.data() + End - SAUCE_SIZE, "SAUCE00", 7) != 0)
        return End;
    End -= SAUCE_SIZE;
    const std::size_t Comments = Data[End + 104];
    const std::size_t CommentBlock = 5 + COMMENT_LINE * Comments;
    if (Comments > 0 && End >= CommentBlock &&
        std::memcmp(Data.data() + End - CommentBlock, "COMNT", 5) == 0)
        End -= CommentBlock;
    if (End > 0 && Data[End - 1] == SUB)
        --End;
    return End;
}

namespace {

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

} // namespace

[[gnu::noinline]] void WalkBytes(std::span<const std::uint8_t> Data) {
    const std::uint8_t *P = Data.data();
    const std::uint8_t *const End = P + Data.size();
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
            if (P == End)
                return; // unfinished at the end: dropped
            if (*P == ESC)
                break;
            ++P;
            HandleEscapeSequence(std::string_view(reinterpret_cast<const char *>(Start),
                                                  static_cast<std::size_t>(P - Start)));
            break;
        }
        case CR:
            CurX = 0;
            if (CurY >= ScreenHeight)
                ScrollUp();
            break;
        case LF: LineFeed(); break;
        default: break; // other control bytes do nothing
        }
    }
}

void ParseAnsiFile(const std::string &FileName) {
    const TPageBuffer Data = ReadInputFile(FileName);
    const std::span<const std::uint8_t> Bytes(Data.data(), Data.size());
    WalkBytes(Bytes.first(PlayableLength(Bytes)));
}
