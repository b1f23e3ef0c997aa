// The page's "Save as GIF" and "Save as APNG": tarvex-play --gif and --apng
// at a chosen speed, its other options at their defaults, with the font in
// the current folder (the fallback shapes without one). The page feeds the
// input in pieces, so that it can stop between them; the file comes out in
// blocks through a function of the page's, so that neither the input nor
// the animation is ever whole in the module's memory.
#include "anim/anim.h"
#include "app/reading.h"

#include <emscripten/emscripten.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>

// Hands a block of the animation to the page's Module.onAnimationBytes.
EM_JS(void, tarvex_animation_out, (const std::uint8_t *Data, std::size_t Size),
      { Module.onAnimationBytes(HEAPU8.slice(Data, Data + Size)); });

namespace {

constexpr std::size_t OUT_BLOCK = 1024 * 1024;
// The most the page feeds at a time.
constexpr std::size_t IN_BLOCK = 64 * 1024;

// The encoders write in small pieces (giflib a sub-block at a time); the
// page gets them in blocks.
class TOutBlocks {
  public:
    void Write(const std::uint8_t *Data, std::size_t Size) {
        while (Size > 0) {
            const std::size_t Count = std::min(Size, Block_.size() - Used_);
            std::memcpy(Block_.data() + Used_, Data, Count);
            Used_ += Count;
            Data += Count;
            Size -= Count;
            if (Used_ == Block_.size())
                Flush();
        }
    }
    void Flush() {
        if (Used_ > 0)
            tarvex_animation_out(Block_.data(), Used_);
        Used_ = 0;
    }

  private:
    std::array<std::uint8_t, OUT_BLOCK> Block_;
    std::size_t Used_ = 0;
};

std::unique_ptr<TFrameEncoder> EncoderFor(bool Apng, TOutBlocks &Out) {
    TByteSink Sink = [&Out](const std::uint8_t *Data, std::size_t Size) { Out.Write(Data, Size); };
    if (Apng)
        return std::make_unique<TApngWriter>(std::move(Sink), false);
    return std::make_unique<TGifWriter>(std::move(Sink), false);
}

TAnimationOptions AtSpeed(std::uint32_t BitsPerSecond) {
    TAnimationOptions Options;
    Options.BitsPerSecond = BitsPerSecond;
    return Options;
}

// One animation being made. The output's blocks come first: the encoder
// may still write to them as it goes.
class TExport {
  public:
    TExport(bool Apng, std::uint32_t BitsPerSecond)
        : Font_(ReadCP437Font(FONT_FILE_NAME).Font), Encoder_(EncoderFor(Apng, Out_)),
          Animator_(AtSpeed(BitsPerSecond), Font_, *Encoder_),
          Feed_([this](std::span<const std::uint8_t> Bytes) { Animator_.Play(Bytes); }) {}
    std::uint8_t *Input() { return Input_.data(); }
    void Play(std::size_t Count) { Feed_.Feed({Input_.data(), std::min(Count, Input_.size())}); }
    void Finish() {
        Feed_.Finish();
        Animator_.Finish();
        Out_.Flush();
    }
    bool Cut() const { return Animator_.Cut(); }

  private:
    TOutBlocks Out_;
    TFont Font_;
    std::unique_ptr<TFrameEncoder> Encoder_;
    TAnimator Animator_;
    TInputFeed Feed_;
    std::array<std::uint8_t, IN_BLOCK> Input_;
};

std::string LastError;

// Runs a step; false, with LastError set, when it failed.
template <typename TStep> bool Guarded(TStep Step) {
    try {
        Step();
        return true;
    } catch (const std::bad_alloc &) {
        LastError = "out of memory";
    } catch (const std::exception &Error) {
        LastError = Error.what();
    }
    return false;
}

} // namespace

extern "C" {

// A new animation at BitsPerSecond, a GIF or (Apng) an animated PNG, with
// the font in the current folder; null, with the reason in
// tarvex_animation_error, when it cannot be started.
EMSCRIPTEN_KEEPALIVE TExport *tarvex_animation_new(bool Apng, std::uint32_t BitsPerSecond) {
    TExport *Export = nullptr;
    Guarded([&] { Export = new TExport(Apng, BitsPerSecond); });
    return Export;
}

// Where the page puts the next bytes of the input: room for tarvex_animation_room.
EMSCRIPTEN_KEEPALIVE std::uint8_t *tarvex_animation_input(TExport *Export) {
    return Export->Input();
}

EMSCRIPTEN_KEEPALIVE std::size_t tarvex_animation_room() { return IN_BLOCK; }

// Plays the Count bytes put there; false when that failed.
EMSCRIPTEN_KEEPALIVE bool tarvex_animation_play(TExport *Export, std::size_t Count) {
    return Guarded([&] { Export->Play(Count); });
}

// The input has ended: the final frame, and the rest of the file.
EMSCRIPTEN_KEEPALIVE bool tarvex_animation_finish(TExport *Export) {
    return Guarded([&] { Export->Finish(); });
}

// After finishing: whether the length limit cut the playback.
EMSCRIPTEN_KEEPALIVE bool tarvex_animation_cut(TExport *Export) { return Export->Cut(); }

// Ends an animation, finished or not; an unfinished one writes nothing more.
EMSCRIPTEN_KEEPALIVE void tarvex_animation_free(TExport *Export) { delete Export; }

EMSCRIPTEN_KEEPALIVE const char *tarvex_animation_error() { return LastError.c_str(); }
}
