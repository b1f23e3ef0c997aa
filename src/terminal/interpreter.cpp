// Reading the input and playing its bytes on the screen.
#include "terminal/terminal.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>
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

TPageBuffer Allocate(std::size_t Size) {
    try {
        return TPageBuffer(Size);
    } catch (const std::bad_alloc &) {
        throw std::runtime_error("Out of memory");
    }
}

// Pipes and devices have no size to trust: read until end of data.
TPageBuffer ReadStream(const TFile &File, const std::string &FileName) {
    TPageBuffer Data = Allocate(STREAM_CHUNK);
    std::size_t Used = 0;
    for (;;) {
        if (Used == Data.size()) {
            TPageBuffer Larger = Allocate(std::min<std::size_t>(Data.size() * 2, MAX_INPUT));
            std::memcpy(Larger.data(), Data.data(), Used);
            Data = std::move(Larger);
        }
        const std::size_t Got = ReadFully(File, Data.data() + Used, Data.size() - Used, FileName);
        Used += Got;
        if (Used >= MAX_INPUT)
            throw std::runtime_error("Range check error");
        if (Used < Data.size())
            break;
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
    TPageBuffer Data = Allocate(static_cast<std::size_t>(Info.Size));
    if (ReadFully(File, Data.data(), Data.size(), FileName) < Data.size())
        throw std::runtime_error("Unable to read file \"" + FileName +
                                 "\": File is shorter than its reported size");
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

// Places a run of printable bytes starting at P; returns where it stopped
// (a control byte, the end, or after one off-screen byte).
const std::uint8_t *PlaceRun(const std::uint8_t *P, const std::uint8_t *End) {
    if (CurY < 0 || CurY >= ScreenHeight || CurX < 0 || CurX >= ScreenWidth) {
        // Off screen: nothing is stored, but the cursor advances and wraps.
        ++P;
        if (++CurX >= ScreenWidth) {
            CurX = 0;
            if (++CurY >= ScreenHeight)
                ScrollUp();
        }
        return P;
    }
    TCharInfo *Row = ScreenBuffer[CurY];
    std::int32_t X = CurX;
    const std::size_t Room = static_cast<std::size_t>(ScreenWidth - X);
    const std::uint8_t *Stop = P + std::min<std::size_t>(Room, static_cast<std::size_t>(End - P));
    if constexpr (std::endian::native == std::endian::little && sizeof(TCharInfo) == 4) {
        // One 32-bit store per cell: the attributes with the character in
        // the low byte.
        const std::uint32_t Attributes = std::uint32_t{CurrentFG} << 8 |
                                         std::uint32_t{CurrentBG} << 16 |
                                         std::uint32_t{BrightAttr} << 24;
        while (P < Stop && *P >= 32)
            Row[X++] = std::bit_cast<TCharInfo>(Attributes | *P++);
    } else {
        while (P < Stop && *P >= 32)
            Row[X++] = TCharInfo{*P++, CurrentFG, CurrentBG, BrightAttr};
    }
    CurX = X;
    if (X == ScreenWidth) { // immediate wrap after the last column
        CurX = 0;
        if (++CurY >= ScreenHeight)
            ScrollUp();
    }
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
        case LF:
            if (++CurY >= ScreenHeight)
                ScrollUp();
            break;
        default: break; // other control bytes do nothing
        }
    }
}

void ParseAnsiFile(const std::string &FileName) {
    const TPageBuffer Data = ReadInputFile(FileName);
    const std::span<const std::uint8_t> Bytes(Data.data(), Data.size());
    WalkBytes(Bytes.first(PlayableLength(Bytes)));
}
