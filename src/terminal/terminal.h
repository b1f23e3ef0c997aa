// The screen model and the interpreter that turns ANSI bytes into it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/page_buffer.h"
#include "common/system.h"

constexpr std::int32_t DEFAULT_WIDTH = 80;
constexpr std::int32_t DEFAULT_HEIGHT = 25;

// One screen cell.
struct TCharInfo {
    std::uint8_t Ch;
    std::uint8_t Fg;
    std::uint8_t Bg;
    bool Bright;
};

// Process-wide screen state. The size is stored here and nowhere else.
extern std::int32_t ScreenWidth;
extern std::int32_t ScreenHeight;
extern std::int32_t CurX;
extern std::int32_t CurY;
extern std::uint8_t CurrentFG;
extern std::uint8_t CurrentBG;
extern bool BrightAttr;

// The grid, indexed [row][column]. Rows live in a ring so that a scroll moves
// one row's worth of cells instead of the whole screen.
struct TScreenBuffer {
    std::vector<TCharInfo> Cells;
    std::int32_t Top = 0; // ring slot of row 0

    TCharInfo *operator[](std::int32_t Row) {
        std::int32_t Slot = Top + Row;
        if (Slot >= ScreenHeight)
            Slot -= ScreenHeight;
        return Cells.data() +
               static_cast<std::size_t>(Slot) * static_cast<std::size_t>(ScreenWidth);
    }
    const TCharInfo *operator[](std::int32_t Row) const {
        return const_cast<TScreenBuffer &>(*this)[Row];
    }
};

extern TScreenBuffer ScreenBuffer;

// A blank with the current attributes, as erases and scrolls leave it.
inline TCharInfo BlankCell() { return TCharInfo{32, CurrentFG, CurrentBG, BrightAttr}; }

void InitScreenBuffer(std::int32_t Width, std::int32_t Height);
// Blanks columns From..To of one row with the current attributes; what lies
// off the screen is skipped.
void ClearCells(std::int32_t Row, std::int64_t From, std::int64_t To);
// Moves every row up by one, blanks the bottom row, puts the cursor on it.
void ScrollUp();

// Reads the whole file (or stream) into memory. Files of 2^31 bytes or more
// are refused with "Range check error".
TPageBuffer ReadInputFile(const std::string &FileName);
// The bytes that are played: everything before a trailing SAUCE record, its
// comment block and the end-of-file byte that precedes them.
std::size_t PlayableLength(std::span<const std::uint8_t> Data);
// Plays the bytes on the screen.
void WalkBytes(std::span<const std::uint8_t> Data);
// Reads and plays one file; raises on read failures.
void ParseAnsiFile(const std::string &FileName);

// Acts on one completed escape sequence: the bytes after ESC through the
// final letter.
void HandleEscapeSequence(std::string_view EscapeBuffer);
// Select Graphic Rendition on the bytes between "[" and "m".
void ProcessSGR(std::string_view Params);
// The same by the general field rules alone, without the one-pass path for
// plain decimal fields; the fuzz target holds the two together.
void ProcessSgrFields(std::string_view Params);

// Parameter fields. Fields are ';'-separated; a field starting with '"' is
// quoted, with doubled quotes standing for one.
std::vector<std::string> SplitParams(std::string_view Text);
// Reads the fields of Text one at a time, without building a list. A field
// is a view into Text, or into the reader when unquoting had to copy it.
struct TParamReader {
    explicit TParamReader(std::string_view ParamText) : Text(ParamText) {}
    // The next field; false when none is left.
    bool Next(std::string_view &Field);

    std::string_view Text;
    std::size_t Pos = 0;
    bool First = true;
    std::string Scratch;
};
bool TryParseInt(std::string_view Text, std::int32_t &Value);
std::int32_t ParseIntDef(std::string_view Text, std::int32_t Default);
