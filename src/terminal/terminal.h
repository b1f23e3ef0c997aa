// The screen model and the interpreter that turns ANSI bytes into it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

// The attributes that new text and new blanks take.
struct TAttributes {
    std::uint8_t Fg;
    std::uint8_t Bg;
    bool Bright;
};
// Light grey on black, not bright: a fresh screen, and every reset.
constexpr TAttributes DEFAULT_ATTRIBUTES{7, 0, false};

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
    std::int32_t Top; // ring slot of row 0

    TCharInfo *operator[](std::int32_t Row) {
        std::int32_t Slot = Top + Row;
        if (Slot >= ScreenHeight)
            Slot -= ScreenHeight;
        return Cells.data() +
               static_cast<std::size_t>(Slot) * static_cast<std::size_t>(ScreenWidth);
    }
};

extern TScreenBuffer ScreenBuffer;

inline TAttributes CurrentAttributes() { return TAttributes{CurrentFG, CurrentBG, BrightAttr}; }
inline void SetCurrentAttributes(const TAttributes &Attributes) {
    CurrentFG = Attributes.Fg;
    CurrentBG = Attributes.Bg;
    BrightAttr = Attributes.Bright;
}

// A blank with the current attributes, as erases and scrolls leave it.
inline TCharInfo BlankCell() { return TCharInfo{32, CurrentFG, CurrentBG, BrightAttr}; }

void InitScreenBuffer(std::int32_t Width, std::int32_t Height);
// Blanks columns From..To of one row with the current attributes; what lies
// off the screen is skipped.
void ClearCells(std::int32_t Row, std::int64_t From, std::int64_t To);
// Moves every row up by one, blanks the bottom row, puts the cursor on it.
void ScrollUp();

// What a walk carries from one block of input to the next: an open escape
// sequence. Only a sequence that may still act (it begins with '[') keeps
// its bytes; any other is skipped to its end without being stored.
struct TWalkState {
    bool InEscapeSequence = false;
    bool Skipping = false; // the open sequence cannot act
    std::string Sequence;  // unless skipped: its bytes so far, ESC first
};

// Plays a block of bytes on the screen, continuing the walk that State
// carries. A whole input is one block; an open sequence at the very end of
// the input is dropped.
void WalkBytes(TWalkState &State, std::span<const std::uint8_t> Data);

// Input is read and played in blocks of this size.
constexpr std::size_t INPUT_BLOCK = 256 * 1024;
// A SAUCE record: 128 bytes at the very end, after an optional comment block
// ("COMNT" and up to 255 lines of 64 bytes) and the end-of-file byte.
constexpr std::size_t SAUCE_RECORD = 128;
constexpr std::string_view COMMENT_ID = "COMNT";
constexpr std::size_t COMMENT_LINE = 64;
constexpr std::size_t MOST_COMMENTS = 255;
// The longest record with all that comes before it.
constexpr std::size_t SAUCE_HOLD =
    1 + COMMENT_ID.size() + COMMENT_LINE * MOST_COMMENTS + SAUCE_RECORD;

// The bytes that are played: everything before a trailing SAUCE record, its
// comment block and the end-of-file byte that precedes them.
std::size_t PlayableLength(std::span<const std::uint8_t> Data);

// Plays an input that arrives in pieces of any size, holding back its last
// SAUCE_HOLD bytes until the end is known: a trailing SAUCE record is never
// played. Memory stays the same whatever the input's length.
class TInputFeed {
  public:
    TInputFeed();
    // Room for the next bytes: read into it, then Play what arrived.
    std::span<std::uint8_t> Space();
    void Play(std::size_t Count);
    // Copies bytes in through Space and Play.
    void Feed(std::span<const std::uint8_t> Bytes);
    // The input has ended: plays the held bytes that no SAUCE record claims.
    // Nothing may be fed after it.
    void Finish();

  private:
    std::unique_ptr<std::uint8_t[]> Buffer_; // SAUCE_HOLD + INPUT_BLOCK bytes
    std::size_t Begin_ = 0;                  // the first byte not played yet
    std::size_t End_ = 0;                    // the end of what arrived
    TWalkState Walk_;
};

// Reads and plays one file, block by block. Files of 2^31 bytes or more are
// refused with "Range check error" before reading, pipes and devices on
// reaching that size; read failures raise.
void ParseAnsiFile(const std::string &FileName);

// Acts on one completed escape sequence: the bytes after ESC through the
// final letter.
void HandleEscapeSequence(std::string_view EscapeBuffer);
// Select Graphic Rendition on the bytes between "[" and "m".
void ProcessSGR(std::string_view Params);
// The same by the general field rules alone, without the one-pass path for
// plain decimal fields. Exported only for the fuzz target that holds the two
// together.
void ProcessSgrFields(std::string_view Params);

// Parameter fields. Fields are ';'-separated; a field starting with '"' is
// quoted, with doubled quotes standing for one. The program reads fields with
// TParamReader; this list form is for the tests and the fuzz target.
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
