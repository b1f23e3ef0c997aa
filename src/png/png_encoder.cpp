// PNG encoding (ISO/IEC 15948): one fixed configuration, no options.
#include "png/png.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <zlib.h>

namespace {

constexpr std::uint8_t BIT_DEPTH = 16;
constexpr std::uint8_t COLOR_TYPE_TRUECOLOR = 2;
constexpr std::uint8_t FILTER_NONE = 0;
constexpr std::size_t PHYS_SIZE = 9;
// zlib's defaults, named: a 32 KiB window with the zlib header and trailer
// (not raw deflate, not gzip), and its usual memory level.
constexpr int WINDOW_BITS = 15;
constexpr int MEMORY_LEVEL = 8;
// The compressed stream is kept in pieces of this size: it grows without
// copying, and pictures of text need one.
constexpr std::size_t OUTPUT_PIECE = 256 * 1024;

[[noreturn]] void RaiseZlibError(int Code) { throw std::runtime_error(zError(Code)); }

} // namespace

void PutBigEndian32(std::vector<std::uint8_t> &Out, std::uint32_t Value) {
    for (int Shift = 24; Shift >= 0; Shift -= 8)
        Out.push_back(static_cast<std::uint8_t>(Value >> Shift));
}

bool HasPngSignature(std::string_view Head) {
    return Head.size() >= PNG_SIGNATURE.size() &&
           std::equal(PNG_SIGNATURE.begin(), PNG_SIGNATURE.end(), Head.begin(),
                      [](std::uint8_t A, char B) { return A == static_cast<std::uint8_t>(B); });
}

void AppendChunk(std::vector<std::uint8_t> &Out, const char (&Type)[5], const std::uint8_t *Data,
                 std::size_t Size) {
    PutBigEndian32(Out, static_cast<std::uint32_t>(Size));
    const std::size_t TypeAt = Out.size();
    Out.insert(Out.end(), Type, Type + 4);
    Out.insert(Out.end(), Data, Data + Size);
    const uInt Covered = static_cast<uInt>(Out.size() - TypeAt);
    PutBigEndian32(Out, static_cast<std::uint32_t>(crc32(0L, Out.data() + TypeAt, Covered)));
}

struct TPngStream::TZlib {
    z_stream Stream{};
};

TPngStream::TPngStream(std::int32_t Width) : Width_(Width), Zlib_(std::make_unique<TZlib>()) {
    Compressed_.emplace_back(OUTPUT_PIECE);
    const int Init = deflateInit2(&Zlib_->Stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, WINDOW_BITS,
                                  MEMORY_LEVEL, Z_DEFAULT_STRATEGY);
    if (Init != Z_OK) {
        Zlib_.reset(); // nothing to end
        RaiseZlibError(Init);
    }
}

TPngStream::~TPngStream() {
    if (Zlib_)
        deflateEnd(&Zlib_->Stream);
}

// Deflates Size bytes, adding a piece whenever deflate fills the last.
void TPngStream::Deflate(const std::uint8_t *Data, std::size_t Size, int Flush) {
    z_stream &Stream = Zlib_->Stream;
    Stream.next_in = const_cast<Bytef *>(Data);
    Stream.avail_in = static_cast<uInt>(Size);
    for (;;) {
        if (Used_ == OUTPUT_PIECE) {
            Compressed_.emplace_back(OUTPUT_PIECE);
            Used_ = 0;
        }
        Stream.next_out = Compressed_.back().data() + Used_;
        Stream.avail_out = static_cast<uInt>(OUTPUT_PIECE - Used_);
        const int Result = deflate(&Stream, Flush);
        Used_ = OUTPUT_PIECE - Stream.avail_out;
        if (Result == Z_STREAM_END)
            return;
        if (Result != Z_OK && Result != Z_BUF_ERROR)
            RaiseZlibError(Result);
        if (Flush == Z_NO_FLUSH && Stream.avail_out > 0) // room left: all input taken
            return;
    }
}

void TPngStream::AddRow(const std::uint8_t *Samples) {
    const std::uint8_t Filter = FILTER_NONE;
    Deflate(&Filter, 1, Z_NO_FLUSH);
    Deflate(Samples, static_cast<std::size_t>(Width_) * BYTES_PER_PIXEL, Z_NO_FLUSH);
    ++Height_;
}

void TPngStream::AddRows(const RgbImage &Image) {
    if (Image.Width != Width_)
        throw std::invalid_argument("Picture of another width");
    for (std::int32_t Y = 0; Y < Image.Height; ++Y)
        AddRow(Image.Row(Y));
}

void TPngStream::Finish(const TByteSink &Sink) {
    Deflate(nullptr, 0, Z_FINISH);
    std::vector<std::uint8_t> Header(PNG_SIGNATURE.begin(), PNG_SIGNATURE.end());
    std::vector<std::uint8_t> Ihdr;
    PutBigEndian32(Ihdr, static_cast<std::uint32_t>(Width_));
    PutBigEndian32(Ihdr, static_cast<std::uint32_t>(Height_));
    Ihdr.insert(Ihdr.end(),
                {BIT_DEPTH, COLOR_TYPE_TRUECOLOR, 0, 0, 0}); // deflate, filter 0, no interlace
    AppendChunk(Header, "IHDR", Ihdr.data(), Ihdr.size());
    const std::array<std::uint8_t, PHYS_SIZE> NoResolution{}; // no unit, no size
    AppendChunk(Header, "pHYs", NoResolution.data(), NoResolution.size());
    // IDAT is written a piece at a time, its CRC taken as it goes.
    const std::size_t Size = (Compressed_.size() - 1) * OUTPUT_PIECE + Used_;
    PutBigEndian32(Header, static_cast<std::uint32_t>(Size));
    const std::size_t TypeAt = Header.size();
    Header.insert(Header.end(), {'I', 'D', 'A', 'T'});
    uLong Crc = crc32(0L, Header.data() + TypeAt, 4);
    Sink(Header.data(), Header.size());
    for (std::size_t Piece = 0; Piece < Compressed_.size(); ++Piece) {
        const std::size_t Length = Piece + 1 == Compressed_.size() ? Used_ : OUTPUT_PIECE;
        Crc = crc32(Crc, Compressed_[Piece].data(), static_cast<uInt>(Length));
        Sink(Compressed_[Piece].data(), Length);
    }
    std::vector<std::uint8_t> Trailer;
    PutBigEndian32(Trailer, static_cast<std::uint32_t>(Crc));
    AppendChunk(Trailer, "IEND", nullptr, 0);
    Sink(Trailer.data(), Trailer.size());
}

// Out of line: a stage of its own in profiles (scripts/bench_report.py).
[[gnu::noinline]] void EncodePng(const RgbImage &Image, const TByteSink &Sink) {
    TPngStream Stream(Image.Width);
    Stream.AddRows(Image);
    Stream.Finish(Sink);
}
