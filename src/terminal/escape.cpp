// Control sequences: cursor moves, cursor position, erase and colours.
#include "terminal/commands.h"

#include <algorithm>

namespace {

// Parameter bytes that are all digits and ';' (the empty text included).
bool IsNumeric(std::string_view Params) {
    for (const char C : Params)
        if ((C < '0' || C > '9') && C != ';')
            return false;
    return true;
}

// Each move is clamped on one side and bounded by the old coordinate on the
// other, so the result always fits.
std::int32_t Narrow(std::int64_t Value) { return static_cast<std::int32_t>(Value); }

} // namespace

void MoveCursor(TTerminal &Terminal, std::uint8_t Final, std::int32_t Steps) {
    std::int32_t &X = Terminal.CurX;
    std::int32_t &Y = Terminal.CurY;
    switch (Final) {
    case 'A': Y = Narrow(std::max<std::int64_t>(std::int64_t{Y} - Steps, 0)); break;
    case 'B': Y = Narrow(std::min<std::int64_t>(std::int64_t{Y} + Steps, ScreenHeight - 1)); break;
    case 'C': X = Narrow(std::min<std::int64_t>(std::int64_t{X} + Steps, ScreenWidth - 1)); break;
    default: X = Narrow(std::max<std::int64_t>(std::int64_t{X} - Steps, 0)); break; // 'D'
    }
}

// 0 gives -1: an off-screen cursor is valid state.
void SetCursorPosition(TTerminal &Terminal, std::int32_t Row, std::int32_t Column) {
    Terminal.CurY = Row - 1;
    Terminal.CurX = Column - 1;
}

void EraseInDisplay(TTerminal &Terminal, std::int32_t Mode) {
    const std::int32_t X = Terminal.CurX;
    const std::int32_t Y = Terminal.CurY;
    switch (Mode) {
    case 0: EraseCells(Terminal, Y, X, ScreenHeight - 1, ScreenWidth - 1); break;
    case 1: EraseCells(Terminal, 0, 0, Y, X); break;
    case 2: EraseCells(Terminal, 0, 0, ScreenHeight - 1, ScreenWidth - 1); break;
    default: break;
    }
}

void EraseInLine(TTerminal &Terminal, std::int32_t Mode) {
    const std::int32_t X = Terminal.CurX;
    const std::int32_t Y = Terminal.CurY;
    switch (Mode) {
    case 0: EraseCells(Terminal, Y, X, Y, ScreenWidth - 1); break;
    case 1: EraseCells(Terminal, Y, 0, Y, X); break;
    case 2: EraseCells(Terminal, Y, 0, Y, ScreenWidth - 1); break;
    default: break;
    }
}

void HandleEscapeSequence(TTerminal &Terminal, std::string_view EscapeBuffer) {
    if (EscapeBuffer.size() < 2 || EscapeBuffer.front() != '[')
        return; // only control sequences act
    const auto Final = static_cast<std::uint8_t>(EscapeBuffer.back());
    const std::string_view Params = EscapeBuffer.substr(1, EscapeBuffer.size() - 2);
    // Defaults are taken here, once: a missing or non-numeric text keeps
    // them. The whole text converts as one number, so "2;3" keeps them too.
    const auto Number = [Params](std::int32_t Default) {
        return !Params.empty() && IsNumeric(Params) ? ParseIntDef(Params, Default) : Default;
    };
    switch (Final) {
    case 'A':                                                // CUU, ECMA-48 8.3.22
    case 'B':                                                // CUD, ECMA-48 8.3.19
    case 'C':                                                // CUF, ECMA-48 8.3.20
    case 'D': MoveCursor(Terminal, Final, Number(1)); break; // CUB, ECMA-48 8.3.18
    case 'H':                                                // CUP, ECMA-48 8.3.21
    case 'f':                                                // HVP, ECMA-48 8.3.63
        if (Params.empty()) {
            SetCursorPosition(Terminal, 1, 1);
        } else if (IsNumeric(Params)) {
            TParamReader Fields(Params);
            std::string_view Row;
            std::string_view Column;
            if (Fields.Next(Row) && Fields.Next(Column)) // a lone row does nothing
                SetCursorPosition(Terminal, ParseIntDef(Row, 1), ParseIntDef(Column, 1));
        }
        break;
    case 'J': EraseInDisplay(Terminal, Number(0)); break;  // ED, ECMA-48 8.3.39
    case 'K': EraseInLine(Terminal, Number(0)); break;     // EL, ECMA-48 8.3.41
    case 'm': ProcessSGR(Terminal.Current, Params); break; // SGR, ECMA-48 8.3.117: any bytes
    default: break;                                        // consumed without effect
    }
}
