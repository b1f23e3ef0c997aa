// The commands of control sequences, shared by the two ways a sequence
// reaches them: whole from a block, or folded across blocks.
#pragma once

#include "terminal/terminal.h"

// A longer text never converts, whatever it holds (even zeros before a valid
// code): art written for this limit pads fields to have them ignored.
constexpr std::size_t MAX_NUMBER_TEXT = 255;

// The range rule of the integer conversion: Value from a magnitude read in
// Base, or false when it does not fit.
bool NumberInRange(bool Negative, unsigned Base, std::uint64_t Magnitude, std::int32_t &Value);
// Cursor up, down, right or left ('A' to 'D') by Steps, clamped on one side.
void MoveCursor(TTerminal &Terminal, std::uint8_t Final, std::int32_t Steps);
// Cursor position from 1-based Row and Column; not clamped.
void SetCursorPosition(TTerminal &Terminal, std::int32_t Row, std::int32_t Column);
void EraseInDisplay(TTerminal &Terminal, std::int32_t Mode);
void EraseInLine(TTerminal &Terminal, std::int32_t Mode);
// One colour code applied to the attributes.
void ApplySgrCode(std::int32_t Code, TAttributes &Now);
