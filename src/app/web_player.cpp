// The page's player: plays an input byte by byte as it would have arrived,
// and shows the screen at any byte. The moment at byte N is the screen the
// converter makes of a file holding the first N bytes. Saved terminals every
// few kilobytes make a seek cost at most one interval of walking; playing
// forward walks only the new bytes. Each player is an object of the page's,
// independent of conversions and of other players.
#include "app/reading.h"
#include "render/render.h"
#include "terminal/terminal.h"

#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace {

// Never fewer than this many bytes between saved terminals; more for inputs
// so large that they would take too much memory.
constexpr std::size_t MIN_INTERVAL = 16 * 1024;
constexpr std::size_t MAX_STATES = 2048;

// A terminal and the number of bytes walked to reach it.
struct TMoment {
    std::size_t Offset;
    TTerminal Terminal;
};

class TPlayer {
  public:
    std::uint8_t *Open(std::size_t Size) {
        States_.clear();
        Input_.assign(Size, 0);
        return Input_.data();
    }

    std::size_t Start() {
        Font_ = LoadCP437Font(FONT_FILE_NAME);
        Playable_ = PlayableLength(Input_);
        Interval_ = std::max(MIN_INTERVAL, Playable_ / MAX_STATES + 1);
        Now_ = TMoment{0, TTerminal{}};
        States_.assign(1, Now_);
        for (std::size_t Next = Interval_; Next < Playable_; Next += Interval_) {
            WalkTo(Next);
            States_.push_back(Now_);
        }
        return Playable_;
    }

    void Seek(std::size_t N) {
        N = std::min(N, Playable_);
        GoTo(PlayableLength({Input_.data(), N}));
    }

    std::size_t Line(std::size_t N, bool Forward) {
        N = std::min(N, Playable_);
        if (Forward) {
            GoTo(N);
            const auto Mark = RowMark();
            while (Now_.Offset < Playable_ && RowMark() == Mark)
                WalkTo(Now_.Offset + 1);
            return Now_.Offset;
        }
        // Search back one saved interval at a time for the last byte at or
        // before Upper whose walk leaves another row than the byte before it.
        for (std::size_t Upper = N == 0 ? 0 : N - 1; Upper >= 1;) {
            RestoreBefore(Upper - 1);
            const std::size_t From = Now_.Offset;
            std::size_t Found = 0;
            while (Now_.Offset < Upper) {
                const auto Mark = RowMark();
                WalkTo(Now_.Offset + 1);
                if (RowMark() != Mark)
                    Found = Now_.Offset;
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

    const std::uint8_t *Paint() {
        PaintScreen(Now_.Terminal.ScreenBuffer, Image_, Font_);
        const std::uint8_t *From = Image_.Samples.data();
        for (std::size_t Pixel = 0; Pixel < Rgba_.size(); Pixel += 4, From += BYTES_PER_PIXEL) {
            Rgba_[Pixel] = From[0];
            Rgba_[Pixel + 1] = From[2];
            Rgba_[Pixel + 2] = From[4];
            Rgba_[Pixel + 3] = 255;
        }
        return Rgba_.data();
    }

  private:
    void WalkTo(std::size_t Target) {
        WalkBytes(Now_.Terminal, {Input_.data() + Now_.Offset, Target - Now_.Offset});
        Now_.Offset = Target;
    }

    // Goes back to the last saved terminal at or before Target (the start,
    // if none).
    void RestoreBefore(std::size_t Target) {
        const auto After = std::upper_bound(
            States_.begin(), States_.end(), Target,
            [](std::size_t Offset, const TMoment &State) { return Offset < State.Offset; });
        Now_ = *std::prev(After);
    }

    // Brings the screen to the walk of the first Target bytes.
    void GoTo(std::size_t Target) {
        if (Target < Now_.Offset || Target - Now_.Offset > Interval_)
            RestoreBefore(Target);
        if (Now_.Offset < Target)
            WalkTo(Target);
    }

    // Where the cursor's row is, counting scrolls.
    std::pair<std::int32_t, std::int32_t> RowMark() const {
        return {Now_.Terminal.CurY, Now_.Terminal.ScreenBuffer.Top};
    }

    std::vector<std::uint8_t> Input_;
    std::size_t Playable_ = 0;
    std::size_t Interval_ = MIN_INTERVAL;
    std::vector<TMoment> States_; // by offset
    TMoment Now_{0, TTerminal{}};
    TFont Font_;
    RgbImage Image_{ScreenWidth * CHAR_WIDTH, ScreenHeight *CHAR_HEIGHT};
    std::vector<std::uint8_t> Rgba_ = std::vector<std::uint8_t>(
        static_cast<std::size_t>(Image_.Width) * static_cast<std::size_t>(Image_.Height) * 4);
};

} // namespace

extern "C" {

// A new player; null when memory runs out.
EMSCRIPTEN_KEEPALIVE TPlayer *tarvex_player_new() { return new (std::nothrow) TPlayer(); }

EMSCRIPTEN_KEEPALIVE void tarvex_player_free(TPlayer *Player) { delete Player; }

// Makes room for an input of Size bytes; the page copies it there, then
// calls tarvex_player_start.
EMSCRIPTEN_KEEPALIVE std::uint8_t *tarvex_player_open(TPlayer *Player, std::size_t Size) {
    return Player->Open(Size);
}

// Loads the font from the current folder, as a conversion there would, walks
// the whole input once to save terminals along it, and returns the number of
// bytes played (those before a trailing SAUCE record).
EMSCRIPTEN_KEEPALIVE std::size_t tarvex_player_start(TPlayer *Player) { return Player->Start(); }

// Shows the moment at byte N: the screen of a file holding the first N bytes,
// whose own trailing SAUCE record, should it end in one, is not played.
EMSCRIPTEN_KEEPALIVE void tarvex_player_seek(TPlayer *Player, std::size_t N) { Player->Seek(N); }

// The first byte after N at which the cursor changes row or the screen
// scrolls (Forward), or the last such byte before N; the ends of the played
// bytes when there is none. Leaves the screen at that byte.
EMSCRIPTEN_KEEPALIVE std::size_t tarvex_player_line(TPlayer *Player, std::size_t N, bool Forward) {
    return Player->Line(N, Forward);
}

// Paints the current screen and returns its pixels as 8-bit RGBA, rows from
// the top: the colours the PNG holds, each 16-bit sample's high byte.
EMSCRIPTEN_KEEPALIVE const std::uint8_t *tarvex_player_paint(TPlayer *Player) {
    return Player->Paint();
}
}
