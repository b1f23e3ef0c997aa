// The playback as an animation: the screen as it was drawn, byte by byte at
// a modem's speed, kept as a GIF or an animated PNG. Frames are taken at a
// fixed interval, equal pictures merge, and each frame stores only the
// cells that changed, in the 16 colours of the palette.
#pragma once

#include "png/png.h"
#include "render/render.h"
#include "terminal/terminal.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

struct TAnimationOptions {
    std::uint32_t BitsPerSecond = 9600; // ten bits a byte
    std::uint32_t Delay = 4;            // centiseconds between frames
    std::uint32_t Hold = 5;             // seconds the final picture shows
    bool Once = false;                  // play once instead of looping
    std::uint32_t MaxLength = 600;      // seconds of playback at most; 0: no limit
};

// The longest delay one frame can carry, in centiseconds (GIF's 16 bits).
constexpr std::uint32_t MAX_FRAME_DELAY = 65535;

// When frames are taken: frame k shows the screen after the first
// BytesAt(k) played bytes, until the playback ends or the limit is reached.
class TFrameSchedule {
  public:
    explicit TFrameSchedule(const TAnimationOptions &Options);
    std::uint64_t BytesAt(std::uint64_t Frame) const;
    // The last frame the length limit allows.
    std::uint64_t LastAllowed() const { return LastAllowed_; }
    // How long the final picture shows, in centiseconds.
    std::uint32_t FinalDelay() const { return FinalDelay_; }
    std::uint32_t Delay() const { return Delay_; }

  private:
    std::uint64_t BytesPerFrameTimes1000_;
    std::uint64_t LastAllowed_;
    std::uint32_t FinalDelay_;
    std::uint32_t Delay_;
};

// A rectangle of pixels.
struct TRect {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    bool operator==(const TRect &) const = default;
};

constexpr std::int32_t PICTURE_WIDTH_PX = ScreenWidth * CHAR_WIDTH;
constexpr std::int32_t PICTURE_HEIGHT_PX = ScreenHeight * CHAR_HEIGHT;

// The painted screen as palette indexes, one byte a pixel, rows from the top.
struct TIndexedPicture {
    std::vector<std::uint8_t> Pixels =
        std::vector<std::uint8_t>(static_cast<std::size_t>(PICTURE_WIDTH_PX) * PICTURE_HEIGHT_PX);
    std::uint8_t *Row(std::int32_t Y) {
        return Pixels.data() + static_cast<std::size_t>(Y) * PICTURE_WIDTH_PX;
    }
    const std::uint8_t *Row(std::int32_t Y) const {
        return Pixels.data() + static_cast<std::size_t>(Y) * PICTURE_WIDTH_PX;
    }
};

// Paints one cell's 8 x 16 pixels as palette indexes, as the converter
// paints it in colour.
void PaintIndexedCell(const TCharInfo &Cell, const TFont &Font, TIndexedPicture &Picture,
                      std::int32_t Row, std::int32_t Column);

// Takes the frames one by one: the part of the picture given by Area, shown
// for Delay centiseconds (at most MAX_FRAME_DELAY) over the frames before it.
class TFrameEncoder {
  public:
    virtual void Frame(const TIndexedPicture &Picture, const TRect &Area, std::uint32_t Delay) = 0;
    // After the last frame: completes the file.
    virtual void Finish() = 0;
    virtual ~TFrameEncoder() = default;
};

// Writes a GIF with giflib: a 16-entry colour table, every frame left in
// place, looping forever unless Once.
class TGifWriter final : public TFrameEncoder {
  public:
    TGifWriter(TByteSink Sink, bool Once);
    ~TGifWriter();
    void Frame(const TIndexedPicture &Picture, const TRect &Area, std::uint32_t Delay) override;
    void Finish() override;

  private:
    struct TState;
    std::unique_ptr<TState> State_;
};

// Bytes set aside until their length or a count before them is known, in a
// temporary file: an animation of any length costs no memory.
class TSpool {
  public:
    TSpool();
    ~TSpool();
    TSpool(const TSpool &) = delete;
    TSpool &operator=(const TSpool &) = delete;
    void Write(const std::uint8_t *Data, std::size_t Size);
    // Hands everything written so far to Sink, in order.
    void CopyTo(const TByteSink &Sink);

  private:
    std::FILE *File_;
};

// Writes an animated PNG: a 4-bit palette, each frame replacing its area
// (no blending, no transparency), deflated as the converter deflates. The
// frame count comes before the first frame, so the frames are spooled and
// the file is written whole by Finish.
class TApngWriter final : public TFrameEncoder {
  public:
    TApngWriter(TByteSink Sink, bool Once);
    ~TApngWriter();
    void Frame(const TIndexedPicture &Picture, const TRect &Area, std::uint32_t Delay) override;
    void Finish() override;

  private:
    struct TState;
    std::unique_ptr<TState> State_;
};

// Turns played bytes into frames: walks a terminal, takes the screen at each
// frame's byte, merges equal pictures, and hands each changed area with its
// delay to an encoder.
class TAnimator {
  public:
    TAnimator(const TAnimationOptions &Options, const TFont &Font, TFrameEncoder &Encoder);
    ~TAnimator();
    // The next played bytes, in pieces of any size.
    void Play(std::span<const std::uint8_t> Bytes);
    // The played bytes have ended: takes the final frame and completes the file.
    void Finish();
    // After Finish: whether the length limit stopped the frames early.
    bool Cut() const { return Cut_; }
    // After Finish: frames handed to the encoder.
    std::uint64_t FramesWritten() const { return FramesWritten_; }

  private:
    void Take(std::uint64_t Frame);
    void Emit(const TRect &Area, std::uint64_t Delay);

    TFrameSchedule Schedule_;
    const TFont &Font_;
    TFrameEncoder &Encoder_;
    TTerminal Terminal_;
    std::uint64_t Walked_ = 0;
    std::uint64_t NextFrame_ = 0;
    // The picture of the last frame taken (its delay still open) and the
    // screen it was painted from; the next picture is painted beside it.
    TIndexedPicture Shown_;
    TIndexedPicture Next_;
    TScreenBuffer ShownScreen_;
    std::uint64_t ShownSince_ = 0;
    TRect ShownArea_;
    bool Cut_ = false;
    std::uint64_t FramesWritten_ = 0;
};

enum class TAnimationFormat { Gif, Apng };
