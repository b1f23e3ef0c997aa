// PNG output: the in-memory picture and its encoder.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "common/page_buffer.h"

// Every PNG file starts with these bytes.
constexpr std::array<std::uint8_t, 8> PNG_SIGNATURE = {0x89, 0x50, 0x4E, 0x47,
                                                       0x0D, 0x0A, 0x1A, 0x0A};
// A pixel as the encoder takes it: red, green, blue, 16 bits each.
constexpr std::size_t BYTES_PER_PIXEL = 6;

// One colour with 16-bit components.
struct TRgb16 {
    std::uint16_t R;
    std::uint16_t G;
    std::uint16_t B;
};

// A picture with 16-bit red, green and blue per pixel, created black. Pixels
// are stored as the PNG encoder needs them: six bytes each, every sample most
// significant byte first, rows from the top.
struct RgbImage {
    std::int32_t Width;
    std::int32_t Height;
    TPageBuffer Samples;

    RgbImage(std::int32_t ImageWidth, std::int32_t ImageHeight);
    // One pixel at a time, checked: raises std::out_of_range outside the
    // picture. The painter writes whole rows instead; the tests use these.
    void SetPixel(std::int32_t X, std::int32_t Y, TRgb16 Color);
    TRgb16 GetPixel(std::int32_t X, std::int32_t Y) const;
    std::uint8_t *Row(std::int32_t Y) { return Samples.data() + RowOffset(Y); }
    const std::uint8_t *Row(std::int32_t Y) const { return Samples.data() + RowOffset(Y); }
    std::size_t RowBytes() const { return static_cast<std::size_t>(Width) * BYTES_PER_PIXEL; }

  private:
    std::size_t RowOffset(std::int32_t Y) const { return static_cast<std::size_t>(Y) * RowBytes(); }
    // Where the pixel's bytes start; raises std::out_of_range outside the picture.
    std::size_t PixelOffset(std::int32_t X, std::int32_t Y) const;
};

// Writes a pixel's six bytes as the picture stores them: red, green, blue,
// each sample most significant byte first.
void StoreSamples(std::uint8_t *Out, TRgb16 Color);

// Receives the bytes of the file; must store all of them or raise.
using TByteSink = std::function<void(const std::uint8_t *Data, std::size_t Size)>;

// True when Head, the first bytes of a file, begins with the PNG signature.
bool HasPngSignature(std::string_view Head);

// Appends Value to Out, most significant byte first, as PNG numbers are stored.
void PutBigEndian32(std::vector<std::uint8_t> &Out, std::uint32_t Value);
// Appends one chunk to Out: length, type, data and the CRC over type and data.
void AppendChunk(std::vector<std::uint8_t> &Out, const char (&Type)[5], const std::uint8_t *Data,
                 std::size_t Size);

// A 16-bit truecolour PNG taken a pixel row at a time, its height known only
// at the end. Rows are deflated as they arrive; only the compressed stream is
// kept, since IHDR (with the height) and the IDAT length come before it.
// zlib failures raise zlib's text for the error.
class TPngStream {
  public:
    explicit TPngStream(std::int32_t Width);
    ~TPngStream();
    TPngStream(const TPngStream &) = delete;
    TPngStream &operator=(const TPngStream &) = delete;
    // One row of Width pixels, six bytes each, as RgbImage stores them.
    void AddRow(const std::uint8_t *Samples);
    // Every row of Image, from the top (Image.Width must be this width).
    void AddRows(const RgbImage &Image);
    std::int32_t Height() const { return Height_; }
    // Writes the whole file: IHDR, an empty pHYs, one IDAT and IEND. Nothing
    // may be added after it.
    void Finish(const TByteSink &Sink);

  private:
    void Deflate(const std::uint8_t *Data, std::size_t Size, int Flush);

    std::int32_t Width_;
    std::int32_t Height_ = 0;
    struct TZlib;
    std::unique_ptr<TZlib> Zlib_;
    std::vector<TPageBuffer> Compressed_; // pieces, all full but the last
    std::size_t Used_ = 0;                // in the last piece
};

// Writes the picture as a 16-bit truecolour PNG: IHDR, an empty pHYs, one IDAT
// and IEND. zlib failures raise zlib's text for the error.
void EncodePng(const RgbImage &Image, const TByteSink &Sink);
