// The animation writers' failures: a sink that fails at any point raises its
// own error, through giflib's C code as much as through ours.
#include "anim/anim.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Takes Room bytes, then fails.
TByteSink FailingAfter(std::size_t Room) {
    auto Left = std::make_shared<std::size_t>(Room);
    return [Left](const std::uint8_t *, std::size_t Size) {
        if (Size > *Left)
            throw std::runtime_error("No space left on device");
        *Left -= Size;
    };
}

// Writes two frames and finishes; returns the error raised, if any.
template <typename TWriter> std::string WriteWith(const TByteSink &Sink) {
    try {
        TWriter Writer(Sink, false);
        TIndexedPicture Picture;
        Writer.Frame(Picture, TRect{0, 0, PICTURE_WIDTH_PX, PICTURE_HEIGHT_PX}, 4);
        Writer.Frame(Picture, TRect{8, 16, 16, 32}, 500);
        Writer.Finish();
    } catch (const std::runtime_error &Error) {
        return Error.what();
    }
    return "";
}

} // namespace

TEST(AnimationWriters, SinkFailureIsRaisedWhereverItHappens) {
    std::size_t Size = 0;
    const TByteSink Count = [&Size](const std::uint8_t *, std::size_t Bytes) { Size += Bytes; };
    EXPECT_EQ(WriteWith<TGifWriter>(Count), "");
    const std::size_t GifSize = Size;
    for (std::size_t Room = 0; Room < GifSize; Room += 97)
        EXPECT_EQ(WriteWith<TGifWriter>(FailingAfter(Room)), "No space left on device") << Room;
    Size = 0;
    EXPECT_EQ(WriteWith<TApngWriter>(Count), "");
    for (std::size_t Room = 0; Room < Size; Room += 97)
        EXPECT_EQ(WriteWith<TApngWriter>(FailingAfter(Room)), "No space left on device") << Room;
}

// Each frame after the first stores only the cells that changed since the
// frame before.
TEST(Animator, FramesStoreOnlyWhatChanged) {
    struct TRecorder final : TFrameEncoder {
        std::vector<TRect> Areas;
        void Frame(const TIndexedPicture &, const TRect &Area, std::uint32_t) override {
            Areas.push_back(Area);
        }
        void Finish() override {}
    } Recorder;
    const TFont Font;
    TAnimationOptions Options;
    Options.BitsPerSecond = 300; // a byte or less a frame
    Options.Delay = 2;
    TAnimator Animator(Options, Font, Recorder);
    const std::string Input = "\x1b[12;30HA\x1b[1;1HB";
    Animator.Play({reinterpret_cast<const std::uint8_t *>(Input.data()), Input.size()});
    Animator.Finish();
    EXPECT_EQ(Recorder.Areas, (std::vector<TRect>{{0, 0, PICTURE_WIDTH_PX, PICTURE_HEIGHT_PX},
                                                  {29 * 8, 11 * 16, 8, 16},
                                                  {0, 0, 8, 16}}));
}
