// A control sequence folded byte by byte: the same effect as splitting its
// whole parameter text into fields and converting them, without the text.
#include "terminal/commands.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint8_t QUOTE = '"';
constexpr std::uint8_t DELIMITER = ';';

bool IsDigit(std::uint8_t Byte) { return Byte >= '0' && Byte <= '9'; }

} // namespace

// The integer rules one byte at a time. Letters never reach a sequence's
// parameters, so the only prefixes are '$', '%' and '&'.
void TSequenceFold::TNumber::Add(std::uint8_t Byte) {
    if (Length <= MAX_NUMBER_TEXT)
        ++Length;
    switch (Phase) {
    case TPhase::Blanks:
        if (Byte == ' ' || Byte == '\t')
            return;
        if (Byte == '+' || Byte == '-') {
            Negative = Byte == '-';
            Phase = TPhase::Signed;
            return;
        }
        [[fallthrough]];
    case TPhase::Signed:
        Phase = TPhase::First;
        Base = Byte == '$' ? 16 : Byte == '%' ? 2 : Byte == '&' ? 8 : 10;
        if (Base != 10)
            return;
        [[fallthrough]];
    case TPhase::First:
    case TPhase::Digits: {
        if (Byte == 0) { // a NUL ends the number, but not before its first digit
            Phase = Phase == TPhase::Digits ? TPhase::Ended : TPhase::Failed;
            return;
        }
        const unsigned Digit = IsDigit(Byte) ? Byte - '0' : 255u;
        Magnitude = Magnitude * Base + Digit;
        Phase = Digit < Base && Magnitude <= 0xFFFFFFFFu ? TPhase::Digits : TPhase::Failed;
        return;
    }
    case TPhase::Ended:
    case TPhase::Failed: return;
    }
}

// No byte can make the field a number any more.
bool TSequenceFold::TNumber::Dead() const {
    return Phase == TPhase::Failed || Length > MAX_NUMBER_TEXT;
}

bool TSequenceFold::TNumber::Value(std::int32_t &Result) const {
    if (Length > MAX_NUMBER_TEXT || (Phase != TPhase::Digits && Phase != TPhase::Ended))
        return false;
    return NumberInRange(Negative, Base, Magnitude, Result);
}

void TSequenceFold::EndField() {
    std::int32_t Code = 0;
    const bool Ok = Number_.Value(Code);
    if (Ok)
        ApplySgrCode(Code, Pen_);
    if (Fields_ == 0) {
        RowOk_ = Ok;
        Row_ = Code;
    } else if (Fields_ == 1) {
        ColumnOk_ = Ok;
        Column_ = Code;
    }
    if (Fields_ < 2)
        ++Fields_;
    Number_ = TNumber{};
    Field_ = TField::Start;
}

void TSequenceFold::AddByte(std::uint8_t Byte) {
    if (!IsDigit(Byte) && Byte != DELIMITER)
        Numeric_ = false;
    else if (Byte == DELIMITER && Numeric_) // only a text of digits reads it
        Semicolon_ = true;
    switch (Field_) {
    case TField::QuoteSeen:
        if (Byte == QUOTE) { // a doubled quote stands for one
            Number_.Add(QUOTE);
            Field_ = TField::Quoted;
            return;
        }
        EndField(); // the quote closed the field; a delimiter after it is skipped
        if (Byte == DELIMITER)
            return;
        Field_ = TField::Plain;
        Number_.Add(Byte);
        return;
    case TField::Start:
        if (Byte == QUOTE) {
            Field_ = TField::Quoted;
            return;
        }
        Field_ = TField::Plain;
        [[fallthrough]];
    case TField::Plain:
        if (Byte == DELIMITER)
            EndField();
        else
            Number_.Add(Byte);
        return;
    case TField::Quoted:
        if (Byte == QUOTE)
            Field_ = TField::QuoteSeen;
        else
            Number_.Add(Byte);
        return;
    }
}

// Digits and ';' outside quotes, the usual bytes, a step each: the same as
// the general rules give them. Returns at the first byte it leaves to those.
const std::uint8_t *TSequenceFold::AddPlain(const std::uint8_t *P, const std::uint8_t *End) {
    for (; P < End; ++P) {
        if (*P == DELIMITER) {
            Semicolon_ = Semicolon_ || Numeric_;
            EndField();
            continue;
        }
        const unsigned Digit = *P - unsigned{'0'};
        if (Digit > 9)
            return P;
        TNumber &Number = Number_;
        if (Number.Phase == TPhase::Blanks) { // the first digit: a fresh number is decimal
            Number.Phase = TPhase::Digits;
            Number.Magnitude = Digit;
        } else if (Number.Phase == TPhase::Digits) {
            Number.Magnitude = Number.Magnitude * Number.Base + Digit;
            if (Digit >= Number.Base || Number.Magnitude > 0xFFFFFFFFu)
                Number.Phase = TPhase::Failed;
        } else if (Number.Phase != TPhase::Failed && Number.Phase != TPhase::Ended) {
            return P; // after a sign or a prefix
        }
        if (Number.Length <= MAX_NUMBER_TEXT)
            ++Number.Length;
        Field_ = TField::Plain;
    }
    return P;
}

void TSequenceFold::Add(std::span<const std::uint8_t> Bytes) {
    const std::uint8_t *P = Bytes.data();
    const std::uint8_t *const End = P + Bytes.size();
    if (P != End)
        Empty_ = false;
    while (P < End) {
        if (Field_ == TField::Start || Field_ == TField::Plain)
            P = AddPlain(P, End);
        if (!Numeric_ && Number_.Dead() && (Field_ == TField::Plain || Field_ == TField::Quoted)) {
            // Nothing but the end of the field can matter now.
            const void *Found = std::memchr(P, Field_ == TField::Plain ? DELIMITER : QUOTE,
                                            static_cast<std::size_t>(End - P));
            const auto *Stop = Found ? static_cast<const std::uint8_t *>(Found) : End;
            // Counted as the general rules count them, so that where blocks
            // end never changes what the fold holds.
            Number_.Length = static_cast<std::uint16_t>(std::min<std::size_t>(
                Number_.Length + static_cast<std::size_t>(Stop - P), MAX_NUMBER_TEXT + 1));
            P = Stop;
        }
        if (P < End)
            AddByte(*P++);
    }
}

// The end of the text ends the field being read, quoted or not.
void TSequenceFold::Finish() {
    if (Field_ != TField::Start)
        EndField();
}

void TSequenceFold::Act(TTerminal &Terminal, std::uint8_t Final) {
    Finish();
    // The whole text as one number: its only field, when it has one.
    const bool Whole = !Empty_ && Numeric_ && !Semicolon_ && RowOk_;
    switch (Final) {
    case 'A':
    case 'B':
    case 'C':
    case 'D': MoveCursor(Terminal, Final, Whole ? Row_ : 1); break;
    case 'H':
    case 'f':
        if (Empty_)
            SetCursorPosition(Terminal, 1, 1);
        else if (Numeric_ && Semicolon_) // a lone row does nothing
            SetCursorPosition(Terminal, RowOk_ ? Row_ : 1, ColumnOk_ ? Column_ : 1);
        break;
    case 'J': EraseInDisplay(Terminal, Whole ? Row_ : 0); break;
    case 'K': EraseInLine(Terminal, Whole ? Row_ : 0); break;
    case 'm': Terminal.Current = Empty_ ? DEFAULT_ATTRIBUTES : Pen_; break;
    default: break;
    }
}
