// The screen model and the walk that turns ANSI bytes into it. A terminal is
// a value: several can live side by side, and a moment is kept by copying it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

constexpr std::int32_t DEFAULT_WIDTH = 80;
constexpr std::int32_t DEFAULT_HEIGHT = 25;
// Every screen has this size.
constexpr std::int32_t ScreenWidth = DEFAULT_WIDTH;
constexpr std::int32_t ScreenHeight = DEFAULT_HEIGHT;

// One screen cell.
struct TCharInfo {
    std::uint8_t Ch;
    std::uint8_t Fg;
    std::uint8_t Bg;
    bool Bright;
    bool operator==(const TCharInfo &) const = default;
};

// The attributes that new text and new blanks take.
struct TAttributes {
    std::uint8_t Fg;
    std::uint8_t Bg;
    bool Bright;
    bool operator==(const TAttributes &) const = default;
};
// Light grey on black, not bright: a fresh screen, and every reset.
constexpr TAttributes DEFAULT_ATTRIBUTES{7, 0, false};

// The grid, indexed [row][column]. Rows live in a ring so that a scroll moves
// one row's worth of cells instead of the whole screen.
struct TScreenBuffer {
    std::array<TCharInfo, static_cast<std::size_t>(ScreenWidth *ScreenHeight)> Cells;
    std::int32_t Top = 0; // ring slot of row 0

    TScreenBuffer() { Cells.fill(TCharInfo{32, 7, 0, false}); }
    TCharInfo *operator[](std::int32_t Row) { return Cells.data() + SlotOffset(Row); }
    const TCharInfo *operator[](std::int32_t Row) const { return Cells.data() + SlotOffset(Row); }
    // Equal when every row shows the same cells, wherever the ring starts.
    bool operator==(const TScreenBuffer &Other) const;

  private:
    std::size_t SlotOffset(std::int32_t Row) const {
        std::int32_t Slot = Top + Row;
        if (Slot >= ScreenHeight)
            Slot -= ScreenHeight;
        return static_cast<std::size_t>(Slot) * static_cast<std::size_t>(ScreenWidth);
    }
};

struct TTerminal;

// A control sequence (ESC [) still open where a block of input ended, folded
// as its bytes arrive: it keeps only what can still change what it will do,
// never the bytes themselves, so its size is fixed however long it runs.
class TSequenceFold {
  public:
    // Pen: the attributes when the sequence began, which its colour fields
    // change.
    TSequenceFold() = default;
    explicit TSequenceFold(TAttributes Pen) : Pen_(Pen) {}
    // The next parameter bytes: never a letter or ESC.
    void Add(std::span<const std::uint8_t> Bytes);
    // The final letter has arrived: what the whole sequence does, done.
    void Act(TTerminal &Terminal, std::uint8_t Final);
    bool operator==(const TSequenceFold &) const = default;

  private:
    // One field read as a number, byte by byte.
    enum class TPhase : std::uint8_t { Blanks, Signed, First, Digits, Ended, Failed };
    struct TNumber {
        TPhase Phase = TPhase::Blanks;
        bool Negative = false;
        std::uint8_t Base = 10;
        std::uint16_t Length = 0; // stops counting past the longest number text
        std::uint64_t Magnitude = 0;
        void Add(std::uint8_t Byte);
        bool Dead() const;
        bool Value(std::int32_t &Result) const;
        bool operator==(const TNumber &) const = default;
    };
    // Where the field being read stands: quoting and the look-ahead after a
    // quote inside a quoted field.
    enum class TField : std::uint8_t { Start, Plain, Quoted, QuoteSeen };

    void AddByte(std::uint8_t Byte);
    const std::uint8_t *AddPlain(const std::uint8_t *P, const std::uint8_t *End);
    void EndField();
    void Finish();

    TAttributes Pen_ = DEFAULT_ATTRIBUTES;
    bool Empty_ = true;      // no parameter byte yet
    bool Numeric_ = true;    // digits and ';' only
    bool Semicolon_ = false; // a ";" while digits only: more than one field
    TField Field_ = TField::Start;
    TNumber Number_;
    std::uint8_t Fields_ = 0; // fields ended, counted up to 2
    // The first two fields as numbers, for the cursor commands.
    bool RowOk_ = false;
    bool ColumnOk_ = false;
    std::int32_t Row_ = 0;
    std::int32_t Column_ = 0;
};

// What a walk carries from one block of input to the next: an escape
// sequence left open. One that cannot act (it does not begin with '[') is
// skipped to its end; one that may act is folded.
struct TWalkState {
    enum class TOpen : std::uint8_t { None, AfterEsc, Skipping, Folding };
    TOpen Open = TOpen::None;
    TSequenceFold Fold;
};

// Told of each row as it scrolls off the top of the screen.
class TScrollListener {
  public:
    virtual void RowScrolledOff(std::span<const TCharInfo, ScreenWidth> Row) = 0;

  protected:
    ~TScrollListener() = default;
};

// One terminal: the screen, the cursor, the pen and the walk's open sequence.
struct TTerminal {
    TScreenBuffer ScreenBuffer;
    std::int32_t CurX = 0; // the cursor may lie off the screen
    std::int32_t CurY = 0;
    TAttributes Current = DEFAULT_ATTRIBUTES; // CurrentFG, CurrentBG, BrightAttr
    TWalkState Walk;
    TScrollListener *Listener = nullptr; // not part of the value: not compared

    // A blank with the current attributes, as erases and scrolls leave it.
    TCharInfo BlankCell() const { return TCharInfo{32, Current.Fg, Current.Bg, Current.Bright}; }
    // Everything that decides the picture and what the next byte does.
    bool operator==(const TTerminal &Other) const;
};

// Blanks the screen in reading order from (FirstRow, FirstColumn) through
// (LastRow, LastColumn), both included: the first and last rows in part,
// the rows between in full. Whatever lies off the screen is skipped.
void EraseCells(TTerminal &Terminal, std::int64_t FirstRow, std::int64_t FirstColumn,
                std::int64_t LastRow, std::int64_t LastColumn);
// Moves every row up by one, blanks the bottom row, puts the cursor on it.
void ScrollUp(TTerminal &Terminal);

// Plays a block of bytes on the terminal, continuing the walk it carries. A
// sequence still open at the end of the block stays open for the next one;
// at the end of the input it is dropped.
void WalkBytes(TTerminal &Terminal, std::span<const std::uint8_t> Data);

// Acts on one completed escape sequence: the bytes after ESC through the
// final letter.
void HandleEscapeSequence(TTerminal &Terminal, std::string_view EscapeBuffer);
// Select Graphic Rendition on the bytes between "[" and "m".
void ProcessSGR(TAttributes &Current, std::string_view Params);
// The same by the general field rules alone, without the one-pass path for
// plain decimal fields. Exported only for the fuzz target that holds the two
// together.
void ProcessSgrFields(TAttributes &Current, std::string_view Params);

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
