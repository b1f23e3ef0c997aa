// Control sequences: cursor moves, cursor position, erase and colours.
#include "terminal/terminal.h"

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

void MoveCursor(char Final, std::int32_t Steps) {
    switch (Final) {
    case 'A': CurY = Narrow(std::max<std::int64_t>(std::int64_t{CurY} - Steps, 0)); break;
    case 'B':
        CurY = Narrow(std::min<std::int64_t>(std::int64_t{CurY} + Steps, ScreenHeight - 1));
        break;
    case 'C':
        CurX = Narrow(std::min<std::int64_t>(std::int64_t{CurX} + Steps, ScreenWidth - 1));
        break;
    case 'D': CurX = Narrow(std::max<std::int64_t>(std::int64_t{CurX} - Steps, 0)); break;
    default: break;
    }
}

// Row and column are 1-based; 0 and empty fields give -1 and 0. The result
// is not clamped: an off-screen cursor is valid state.
void SetCursorPosition(std::string_view Params) {
    TParamReader Fields(Params);
    std::string_view Row;
    std::string_view Column;
    if (Params.empty()) {
        CurX = 0;
        CurY = 0;
    } else if (Fields.Next(Row) && Fields.Next(Column)) { // a lone row does nothing
        CurY = ParseIntDef(Row, 1) - 1;
        CurX = ParseIntDef(Column, 1) - 1;
    }
}

// ClearCells skips rows off the screen itself; clipping first keeps a far-off
// cursor from costing a loop over every row in between.
void EraseRows(std::int64_t From, std::int64_t To) {
    From = std::max<std::int64_t>(From, 0);
    To = std::min<std::int64_t>(To, ScreenHeight - 1);
    for (std::int64_t Row = From; Row <= To; ++Row)
        ClearCells(static_cast<std::int32_t>(Row), 0, ScreenWidth - 1);
}

void EraseInDisplay(std::int32_t Mode) {
    switch (Mode) {
    case 0:
        ClearCells(CurY, CurX, ScreenWidth - 1);
        EraseRows(std::int64_t{CurY} + 1, ScreenHeight - 1);
        break;
    case 1:
        EraseRows(0, std::int64_t{CurY} - 1);
        ClearCells(CurY, 0, CurX);
        break;
    case 2: EraseRows(0, ScreenHeight - 1); break;
    default: break;
    }
}

void EraseInLine(std::int32_t Mode) {
    switch (Mode) {
    case 0: ClearCells(CurY, CurX, ScreenWidth - 1); break;
    case 1: ClearCells(CurY, 0, CurX); break;
    case 2: ClearCells(CurY, 0, ScreenWidth - 1); break;
    default: break;
    }
}

} // namespace

void HandleEscapeSequence(std::string_view EscapeBuffer) {
    if (EscapeBuffer.size() < 2 || EscapeBuffer.front() != '[')
        return; // only control sequences act
    const char Final = EscapeBuffer.back();
    const std::string_view Params = EscapeBuffer.substr(1, EscapeBuffer.size() - 2);
    // Defaults are taken here, once: a missing or non-numeric text keeps
    // them. The whole text converts as one number, so "2;3" keeps them too.
    const auto Number = [Params](std::int32_t Default) {
        return !Params.empty() && IsNumeric(Params) ? ParseIntDef(Params, Default) : Default;
    };
    switch (Final) {
    case 'A':                                      // CUU, ECMA-48 8.3.22
    case 'B':                                      // CUD, ECMA-48 8.3.19
    case 'C':                                      // CUF, ECMA-48 8.3.20
    case 'D': MoveCursor(Final, Number(1)); break; // CUB, ECMA-48 8.3.18
    case 'H':                                      // CUP, ECMA-48 8.3.21
    case 'f':                                      // HVP, ECMA-48 8.3.63
        if (IsNumeric(Params))
            SetCursorPosition(Params);
        break;
    case 'J': EraseInDisplay(Number(0)); break; // ED, ECMA-48 8.3.39
    case 'K': EraseInLine(Number(0)); break;    // EL, ECMA-48 8.3.41
    case 'm': ProcessSGR(Params); break;        // SGR, ECMA-48 8.3.117: any parameter bytes
    default: break;                             // consumed without effect
    }
}
