// An input file played into an animation file.
#include "anim/anim.h"

#include "app/reading.h"

#include <memory>

TAnimationResult WriteAnimation(const std::string &InputFile, TAnimationFormat Format,
                                const TAnimationOptions &Options, const TFont &Font,
                                const TByteSink &Sink) {
    std::unique_ptr<TFrameEncoder> Encoder;
    if (Format == TAnimationFormat::Gif)
        Encoder = std::make_unique<TGifWriter>(Sink, Options.Once);
    else
        Encoder = std::make_unique<TApngWriter>(Sink, Options.Once);
    TAnimator Animator(Options, Font, *Encoder);
    TInputFeed Feed([&Animator](std::span<const std::uint8_t> Bytes) { Animator.Play(Bytes); });
    PlayOpenFile(Feed, OpenForReading(InputFile), InputFile);
    Animator.Finish();
    return TAnimationResult{Animator.Cut(), Animator.FramesWritten()};
}
