// The page's player: plays an input byte by byte as it would have arrived,
// and shows the screen at any byte. The moment at byte N is the screen the
// converter makes of a file holding the first N bytes. Saved states every
// few kilobytes make a seek cost at most one interval of walking; playing
// forward walks only the new bytes. The screen is process-wide, so the page
// gives the player a module of its own.
#include "app/driver.h"
#include "render/render.h"
#include "terminal/terminal.h"

#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace {

// Never fewer than this many bytes between saved states; more for inputs so
// large that the states would take too much memory.
constexpr std::size_t MIN_INTERVAL = 16 * 1024;
constexpr std::size_t MAX_STATES = 2048;
// An open sequence longer than this is not copied into a saved state: a
// hostile input could make every state hold megabytes.
constexpr std::size_t MAX_SAVED_SEQUENCE = 4096;

// Everything the walk changes, so that it can be put back.
struct TScreenState {
    std::size_t Offset; // bytes walked to reach it
    TScreenBuffer Screen;
    std::int32_t X;
    std::int32_t Y;
    TAttributes Attributes;
    TWalkState Walk;
};

std::vector<std::uint8_t> Input;
std::size_t Playable = 0;
std::size_t Interval = MIN_INTERVAL;
std::vector<TScreenState> States; // by offset
TWalkState Walk;
std::size_t Walked = 0;
TFont Font;
RgbImage Image(DEFAULT_WIDTH *CHAR_WIDTH, DEFAULT_HEIGHT *CHAR_HEIGHT);
std::vector<std::uint8_t> Rgba(static_cast<std::size_t>(Image.Width) *
                               static_cast<std::size_t>(Image.Height) * 4);

TScreenState Capture() {
    return TScreenState{Walked, ScreenBuffer, CurX, CurY, CurrentAttributes(), Walk};
}

void Restore(const TScreenState &State) {
    ScreenBuffer = State.Screen;
    CurX = State.X;
    CurY = State.Y;
    SetCurrentAttributes(State.Attributes);
    Walk = State.Walk;
    Walked = State.Offset;
}

void WalkTo(std::size_t Target) {
    WalkBytes(Walk, {Input.data() + Walked, Target - Walked});
    Walked = Target;
}

// Restores the last saved state at or before Target (the start, if none).
void RestoreBefore(std::size_t Target) {
    const auto After = std::upper_bound(
        States.begin(), States.end(), Target,
        [](std::size_t Offset, const TScreenState &State) { return Offset < State.Offset; });
    Restore(*std::prev(After));
}

// Brings the screen to the walk of the first Target bytes.
void GoTo(std::size_t Target) {
    if (Target < Walked || Target - Walked > Interval)
        RestoreBefore(Target);
    if (Walked < Target)
        WalkTo(Target);
}

// Where the cursor's row is, counting scrolls.
std::pair<std::int32_t, std::int32_t> RowMark() { return {CurY, ScreenBuffer.Top}; }

} // namespace

extern "C" {

// Makes room for an input of Size bytes; the page copies it there, then
// calls tarvex_player_start.
EMSCRIPTEN_KEEPALIVE std::uint8_t *tarvex_player_open(std::size_t Size) {
    States.clear();
    Input.assign(Size, 0);
    return Input.data();
}

// Loads the font from the current folder, as a conversion there would, walks
// the whole input once to save states along it, and returns the number of
// bytes played (those before a trailing SAUCE record).
EMSCRIPTEN_KEEPALIVE std::size_t tarvex_player_start() {
    Font = LoadCP437Font(FONT_FILE_NAME);
    Playable = PlayableLength(Input);
    Interval = std::max(MIN_INTERVAL, Playable / MAX_STATES + 1);
    InitScreenBuffer(DEFAULT_WIDTH, DEFAULT_HEIGHT);
    Walk = TWalkState{};
    Walked = 0;
    States.assign(1, Capture());
    for (std::size_t Next = Interval; Next < Playable; Next += Interval) {
        WalkTo(Next);
        if (Walk.Sequence.size() <= MAX_SAVED_SEQUENCE)
            States.push_back(Capture());
    }
    return Playable;
}

// Shows the moment at byte N: the screen of a file holding the first N bytes,
// whose own trailing SAUCE record, should it end in one, is not played.
EMSCRIPTEN_KEEPALIVE void tarvex_player_seek(std::size_t N) {
    N = std::min(N, Playable);
    GoTo(PlayableLength({Input.data(), N}));
}

// The first byte after N at which the cursor changes row or the screen
// scrolls (Forward), or the last such byte before N; the ends of the played
// bytes when there is none. Leaves the screen at that byte.
EMSCRIPTEN_KEEPALIVE std::size_t tarvex_player_line(std::size_t N, bool Forward) {
    N = std::min(N, Playable);
    if (Forward) {
        GoTo(N);
        const auto Mark = RowMark();
        while (Walked < Playable && RowMark() == Mark)
            WalkTo(Walked + 1);
        return Walked;
    }
    // Search back one saved interval at a time for the last byte at or
    // before Upper whose walk leaves another row than the byte before it.
    for (std::size_t Upper = N == 0 ? 0 : N - 1; Upper >= 1;) {
        RestoreBefore(Upper - 1);
        const std::size_t From = Walked;
        std::size_t Found = 0;
        while (Walked < Upper) {
            const auto Mark = RowMark();
            WalkTo(Walked + 1);
            if (RowMark() != Mark)
                Found = Walked;
        }
        if (Found > 0) {
            GoTo(Found);
            return Found;
        }
        Upper = From;
    }
    GoTo(0);
    return 0;
}

// Paints the current screen and returns its pixels as 8-bit RGBA, rows from
// the top: the colours the PNG holds, each 16-bit sample's high byte.
EMSCRIPTEN_KEEPALIVE const std::uint8_t *tarvex_player_paint() {
    PaintScreen(Image, Font);
    const std::uint8_t *From = Image.Samples.data();
    for (std::size_t Pixel = 0; Pixel < Rgba.size(); Pixel += 4, From += BYTES_PER_PIXEL) {
        Rgba[Pixel] = From[0];
        Rgba[Pixel + 1] = From[2];
        Rgba[Pixel + 2] = From[4];
        Rgba[Pixel + 3] = 255;
    }
    return Rgba.data();
}

// Converts a file of the current folder as the command line would, and puts
// the player's screen back afterwards.
EMSCRIPTEN_KEEPALIVE int tarvex_player_convert(const char *Name) {
    const TScreenState Kept = Capture();
    int Status;
    try {
        Status = RunConversion({Name});
    } catch (...) {
        Status = ReportUnhandledError();
    }
    Restore(Kept);
    return Status;
}
}
