// tarvex-play --gif and --apng: the playback at a modem's speed, kept as an
// animation. The two modes differ only in the file they write.
#include "anim/anim.h"
#include "app/play_mode.h"

#include <array>
#include <limits>
#include <memory>

namespace {

constexpr std::uint64_t MOST_SECONDS = std::numeric_limits<std::uint32_t>::max() / 100;

constexpr std::array<TModeOption, 5> ANIMATION_OPTIONS = {{
    {"bps", true, 300, 921600, "N", "bits per second, ten a byte (9600)"},
    {"delay", true, 2, MAX_FRAME_DELAY, "CS", "centiseconds between frames (4)"},
    {"hold", true, 0, 600, "S", "seconds the final picture shows (5)"},
    {"once", false, 0, 0, "", "play once instead of looping"},
    {"max-length", true, 0, MOST_SECONDS, "S", "seconds of playback at most, 0 for no limit (600)"},
}};

// The options as given, the last of each winning; their ranges are checked.
TAnimationOptions ReadOptions(const TModeSettings &Settings) {
    TAnimationOptions Options;
    for (const auto &[Name, Value] : Settings) {
        const auto Number = static_cast<std::uint32_t>(std::stoul(Value.empty() ? "0" : Value));
        if (Name == "bps")
            Options.BitsPerSecond = Number;
        else if (Name == "delay")
            Options.Delay = Number;
        else if (Name == "hold")
            Options.Hold = Number;
        else if (Name == "once")
            Options.Once = true;
        else if (Name == "max-length")
            Options.MaxLength = Number;
    }
    return Options;
}

void Animate(TAnimationFormat Format, const TPlayInput &Input, const TPlayContext &Context,
             const TByteSink &Sink) {
    const TAnimationOptions Options = ReadOptions(Context.Settings);
    std::unique_ptr<TFrameEncoder> Encoder;
    if (Format == TAnimationFormat::Gif)
        Encoder = std::make_unique<TGifWriter>(Sink, Options.Once);
    else
        Encoder = std::make_unique<TApngWriter>(Sink, Options.Once);
    TAnimator Animator(Options, Context.Font, *Encoder);
    Input.PlayInto([&Animator](std::span<const std::uint8_t> Bytes) { Animator.Play(Bytes); });
    Animator.Finish();
    if (Animator.Cut())
        Context.Note("playback cut at " + std::to_string(Options.MaxLength) +
                     " s (--max-length); the last frame shows the final picture");
}

bool IsGif(std::string_view Head) {
    return Head.starts_with("GIF87a") || Head.starts_with("GIF89a");
}

// A PNG with an animation control chunk among the chunks that Head shows.
bool IsApng(std::string_view Head) {
    if (!HasPngSignature(Head))
        return false;
    for (std::size_t At = PNG_SIGNATURE.size(); At + 8 <= Head.size();) {
        const std::string_view Type = Head.substr(At + 4, 4);
        if (Type == "acTL")
            return true;
        if (Type == "IDAT")
            return false;
        std::uint64_t Length = 0;
        for (std::size_t I = 0; I < 4; ++I)
            Length = Length << 8 | static_cast<std::uint8_t>(Head[At + I]);
        At += 12 + Length;
    }
    return false;
}

void PlayGif(const TPlayInput &Input, const TPlayContext &Context, const TByteSink &Sink) {
    Animate(TAnimationFormat::Gif, Input, Context, Sink);
}

void PlayApng(const TPlayInput &Input, const TPlayContext &Context, const TByteSink &Sink) {
    Animate(TAnimationFormat::Apng, Input, Context, Sink);
}

} // namespace

const TPlayMode GIF_MODE{"gif", ".gif", "GIF", "the playback as an animated GIF", ANIMATION_OPTIONS,
                         IsGif, PlayGif};
const TPlayMode APNG_MODE{
    "apng", ".anim.png", "PNG animation", "the playback as an animated PNG", ANIMATION_OPTIONS,
    IsApng, PlayApng};
