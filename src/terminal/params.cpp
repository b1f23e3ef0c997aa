// Parameter fields of control sequences and their integer conversion. The
// byte rules here are deliberate: library parsers trim blanks, take other
// prefixes or stop quietly at trailing bytes, and would change what art means.
#include "terminal/commands.h"

namespace {

constexpr char QUOTE = '"';
constexpr char DELIMITER = ';';

// Value of a digit in bases up to 16; 255 for anything else.
unsigned DigitValue(char C) {
    if (C >= '0' && C <= '9')
        return static_cast<unsigned>(C - '0');
    if (C >= 'A' && C <= 'F')
        return static_cast<unsigned>(C - 'A' + 10);
    if (C >= 'a' && C <= 'f')
        return static_cast<unsigned>(C - 'a' + 10);
    return 255;
}

} // namespace

bool TParamReader::Next(std::string_view &Field) {
    const std::size_t N = Text.size();
    if (Pos >= N)
        return false;
    if (!First && Text[Pos] == DELIMITER)
        ++Pos;
    First = false;
    if (Pos >= N) { // a trailing delimiter closes one more, empty field
        Field = {};
        return true;
    }
    if (Text[Pos] != QUOTE) {
        std::size_t End = Text.find(DELIMITER, Pos);
        if (End == std::string_view::npos)
            End = N;
        Field = Text.substr(Pos, End - Pos);
        Pos = End;
        return true;
    }
    // Quoted: the closing quote is the first one not doubled; without one the
    // field runs to the end of the text.
    const std::size_t Start = Pos + 1;
    std::size_t I = Start;
    bool HasPairs = false;
    while (I < N) {
        if (Text[I] == QUOTE) {
            if (I + 1 < N && Text[I + 1] == QUOTE) {
                HasPairs = true;
                I += 2;
                continue;
            }
            break;
        }
        ++I;
    }
    const std::string_view Inside = Text.substr(Start, I - Start);
    Pos = I + 1; // past the closing quote, or past the end: nothing is left either way
    Field = Inside;
    if (HasPairs) { // copied, each pair made one quote
        Scratch.clear();
        for (std::size_t J = 0; J < Inside.size(); ++J) {
            Scratch.push_back(Inside[J]);
            if (Inside[J] == QUOTE)
                ++J; // the second quote of a pair
        }
        Field = Scratch;
    }
    return true;
}

std::vector<std::string> SplitParams(std::string_view Text) {
    std::vector<std::string> Fields;
    TParamReader Reader(Text);
    std::string_view Field;
    while (Reader.Next(Field))
        Fields.emplace_back(Field);
    return Fields;
}

bool TryParseInt(std::string_view Text, std::int32_t &Value) {
    const std::size_t N = Text.size();
    if (N == 0 || N > MAX_NUMBER_TEXT)
        return false;
    std::size_t I = 0;
    while (I < N && (Text[I] == ' ' || Text[I] == '\t'))
        ++I;
    bool Negative = false;
    if (I < N && (Text[I] == '+' || Text[I] == '-')) {
        Negative = Text[I] == '-';
        ++I;
    }
    unsigned Base = 10;
    if (I < N) {
        const char C = Text[I];
        if (C == '$' || C == 'x' || C == 'X') {
            Base = 16;
            ++I;
        } else if (C == '0' && I + 1 < N && (Text[I + 1] == 'x' || Text[I + 1] == 'X')) {
            Base = 16;
            I += 2;
        } else if (C == '%') {
            Base = 2;
            ++I;
        } else if (C == '&') {
            Base = 8;
            ++I;
        }
    }
    if (I >= N || Text[I] == '\0') // no digit at all
        return false;
    std::uint64_t Magnitude = 0;
    for (; I < N && Text[I] != '\0'; ++I) { // a NUL ends the number
        const unsigned Digit = DigitValue(Text[I]);
        if (Digit >= Base)
            return false;
        Magnitude = Magnitude * Base + Digit;
        if (Magnitude > 0xFFFFFFFFu)
            return false;
    }
    return NumberInRange(Negative, Base, Magnitude, Value);
}

bool NumberInRange(bool Negative, unsigned Base, std::uint64_t Magnitude, std::int32_t &Value) {
    if (Negative) {
        if (Magnitude > 2147483648u)
            return false;
        Value = static_cast<std::int32_t>(-static_cast<std::int64_t>(Magnitude));
    } else if (Base == 10) {
        if (Magnitude > 2147483647u)
            return false;
        Value = static_cast<std::int32_t>(Magnitude);
    } else { // other bases reach FFFFFFFF, read as two's complement
        Value = static_cast<std::int32_t>(static_cast<std::uint32_t>(Magnitude));
    }
    return true;
}

std::int32_t ParseIntDef(std::string_view Text, std::int32_t Default) {
    std::int32_t Value;
    return TryParseInt(Text, Value) ? Value : Default;
}
