// Helpers shared by the terminal tests.
#pragma once

#include "screen_shot.h"

#include <gtest/gtest.h>
#include <string_view>
#include <vector>

// The bytes go in a heap block of their exact size, with no terminator, so
// the sanitizer build catches a walk that reads past the end.
inline void Feed(std::string_view Bytes) {
    const std::vector<std::uint8_t> Exact(Bytes.begin(), Bytes.end());
    TWalkState Walk;
    WalkBytes(Walk, Exact);
}

inline const TCharInfo &Cell(std::int32_t Row, std::int32_t Column) {
    return ScreenBuffer[Row][Column];
}

inline bool SameCell(const TCharInfo &A, const TCharInfo &B) {
    return A.Ch == B.Ch && A.Fg == B.Fg && A.Bg == B.Bg && A.Bright == B.Bright;
}

// Every test starts from a fresh 80 x 25 screen.
class ScreenTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetScreen(); }

    static void ExpectRowBlank(std::int32_t Row,
                               TCharInfo Blank = {' ', DEFAULT_ATTRIBUTES.Fg, DEFAULT_ATTRIBUTES.Bg,
                                                  DEFAULT_ATTRIBUTES.Bright}) {
        for (std::int32_t X = 0; X < ScreenWidth; ++X)
            ASSERT_TRUE(SameCell(Cell(Row, X), Blank)) << "row " << Row << " column " << X;
    }
    // Fills every cell with 'x' so that erasing shows.
    static void FillScreen() {
        for (std::int32_t Y = 0; Y < ScreenHeight; ++Y)
            for (std::int32_t X = 0; X < ScreenWidth; ++X)
                ScreenBuffer[Y][X] = TCharInfo{'x', 7, 0, false};
    }
};
