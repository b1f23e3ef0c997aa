// The animation export against its floor, in the same run: the floor is
// the encoder's own work on the same frames (the same changed rectangles of
// the same pictures, through the same library), which every export must do.
// Each frame is handed to the export's encoder and to a second encoder of
// the same format; the second one's time is the floor, and the rest of the
// run is the export's. Both write to sinks that only count.
//
// Usage: anim_floor gif|apng BPS [--pngs] INPUT...
// Prints one line a file: frames, changed pixels, playback length, export
// and floor seconds, their ratio, the export's speed against real time, the
// output's size and the input's; with --pngs, also the sum of the sizes of
// the frames' own PNGs (each frame's whole picture as the converter writes it).
#include "anim/anim.h"
#include "app/reading.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

double Seconds(TClock::duration Span) { return std::chrono::duration<double>(Span).count(); }

// Passes each frame to the export's encoder and, timed apart, to the floor's.
class TTwoEncoders final : public TFrameEncoder {
  public:
    TTwoEncoders(TFrameEncoder &Export, TFrameEncoder &Floor, bool Pngs)
        : Export_(Export), Floor_(Floor), Pngs_(Pngs) {}
    void Frame(const TIndexedPicture &Picture, const TRect &Area, std::uint32_t Delay) override {
        Export_.Frame(Picture, Area, Delay);
        const auto Start = TClock::now();
        Floor_.Frame(Picture, Area, Delay);
        FloorTime += TClock::now() - Start;
        ChangedPixels += static_cast<std::uint64_t>(Area.Width) * Area.Height;
        ++Frames;
        if (Pngs_) { // left out of both times
            const auto Sizing = TClock::now();
            PngBytes += OwnPngSize(Picture);
            OtherTime += TClock::now() - Sizing;
        }
    }
    void Finish() override {
        Export_.Finish();
        const auto Start = TClock::now();
        Floor_.Finish();
        FloorTime += TClock::now() - Start;
    }

    TClock::duration FloorTime{};
    TClock::duration OtherTime{};
    std::uint64_t ChangedPixels = 0;
    std::uint64_t Frames = 0;
    std::uint64_t PngBytes = 0;

  private:
    static std::uint64_t OwnPngSize(const TIndexedPicture &Picture) {
        RgbImage Image(PICTURE_WIDTH_PX, PICTURE_HEIGHT_PX);
        for (std::int32_t Y = 0; Y < PICTURE_HEIGHT_PX; ++Y)
            for (std::int32_t X = 0; X < PICTURE_WIDTH_PX; ++X)
                StoreSamples(Image.Row(Y) + static_cast<std::size_t>(X) * BYTES_PER_PIXEL,
                             PaletteColor(Picture.Row(Y)[X]));
        std::uint64_t Size = 0;
        EncodePng(Image, [&Size](const std::uint8_t *, std::size_t Bytes) { Size += Bytes; });
        return Size;
    }

    TFrameEncoder &Export_;
    TFrameEncoder &Floor_;
    bool Pngs_;
};

std::unique_ptr<TFrameEncoder> Writer(bool Gif, const TByteSink &Sink) {
    if (Gif)
        return std::make_unique<TGifWriter>(Sink, false);
    return std::make_unique<TApngWriter>(Sink, false);
}

} // namespace

int main(int Argc, char **Argv) {
    if (Argc < 4)
        return 2;
    const bool Gif = std::string(Argv[1]) == "gif";
    TAnimationOptions Options;
    Options.BitsPerSecond = static_cast<std::uint32_t>(std::strtoul(Argv[2], nullptr, 10));
    int First = 3;
    const bool Pngs = std::string(Argv[First]) == "--pngs";
    First += Pngs ? 1 : 0;
    const TFont Font = LoadCP437Font(FONT_FILE_NAME);
    std::printf("file\tframes\tchanged px\tplayback s\texport s\tfloor s\tratio\tx real time\t"
                "output B\tinput B%s\n",
                Pngs ? "\tframe PNGs B" : "");
    for (int I = First; I < Argc; ++I) {
        std::ifstream File(Argv[I], std::ios::binary);
        const std::vector<std::uint8_t> Input((std::istreambuf_iterator<char>(File)),
                                              std::istreambuf_iterator<char>());
        std::uint64_t OutputBytes = 0;
        const auto Export = Writer(
            Gif, [&OutputBytes](const std::uint8_t *, std::size_t Size) { OutputBytes += Size; });
        const auto Floor = Writer(Gif, [](const std::uint8_t *, std::size_t) {});
        TTwoEncoders Both(*Export, *Floor, Pngs);
        const auto Start = TClock::now();
        TAnimator Animator(Options, Font, Both);
        TInputFeed Feed([&Animator](std::span<const std::uint8_t> Bytes) { Animator.Play(Bytes); });
        Feed.Feed(Input);
        Feed.Finish();
        Animator.Finish();
        const double Total = Seconds(TClock::now() - Start);
        const double FloorSeconds = Seconds(Both.FloorTime);
        const double ExportSeconds = Total - FloorSeconds - Seconds(Both.OtherTime);
        // The playback's length: every delay, the final hold left out.
        const double Playback = static_cast<double>(PlayableLength(Input)) * 10.0 /
                                static_cast<double>(Options.BitsPerSecond);
        std::printf("%s\t%llu\t%llu\t%.1f\t%.3f\t%.3f\t%.2f\t%.0f\t%llu\t%zu", Argv[I],
                    static_cast<unsigned long long>(Both.Frames),
                    static_cast<unsigned long long>(Both.ChangedPixels), Playback, ExportSeconds,
                    FloorSeconds, ExportSeconds / FloorSeconds, Playback / ExportSeconds,
                    static_cast<unsigned long long>(OutputBytes), Input.size());
        if (Pngs)
            std::printf("\t%llu", static_cast<unsigned long long>(Both.PngBytes));
        std::printf("\n");
    }
    return 0;
}
