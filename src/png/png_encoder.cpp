// PNG encoding (ISO/IEC 15948): one fixed configuration, no options.
#include "png/png.h"

#include <array>
#include <cstring>
#include <memory>
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
constexpr std::size_t INITIAL_OUTPUT = 256 * 1024;

void PutBigEndian32(std::vector<std::uint8_t> &Out, std::uint32_t Value) {
    for (int Shift = 24; Shift >= 0; Shift -= 8)
        Out.push_back(static_cast<std::uint8_t>(Value >> Shift));
}

// Appends length, type, data and the CRC over type and data.
void AppendChunk(std::vector<std::uint8_t> &Out, const char (&Type)[5], const std::uint8_t *Data,
                 std::size_t Size) {
    PutBigEndian32(Out, static_cast<std::uint32_t>(Size));
    const std::size_t TypeAt = Out.size();
    Out.insert(Out.end(), Type, Type + 4);
    Out.insert(Out.end(), Data, Data + Size);
    const uInt Covered = static_cast<uInt>(Out.size() - TypeAt);
    PutBigEndian32(Out, static_cast<std::uint32_t>(crc32(0L, Out.data() + TypeAt, Covered)));
}

[[noreturn]] void RaiseZlibError(int Code) { throw std::runtime_error(zError(Code)); }

// Deflates Size bytes into Out, growing it whenever deflate fills it.
void Deflate(z_stream &Stream, TPageBuffer &Out, std::size_t &Used, const std::uint8_t *Data,
             std::size_t Size, int Flush) {
    Stream.next_in = const_cast<Bytef *>(Data);
    Stream.avail_in = static_cast<uInt>(Size);
    for (;;) {
        if (Used == Out.size())
            Out.Grow();
        Stream.next_out = Out.data() + Used;
        Stream.avail_out = static_cast<uInt>(Out.size() - Used);
        const int Result = deflate(&Stream, Flush);
        Used = Out.size() - Stream.avail_out;
        if (Result == Z_STREAM_END)
            return;
        if (Result != Z_OK && Result != Z_BUF_ERROR)
            RaiseZlibError(Result);
        if (Flush == Z_NO_FLUSH && Stream.avail_out > 0) // room left: all input taken
            return;
    }
}

} // namespace

// Out of line: a stage of its own in profiles (scripts/bench_report.py).
[[gnu::noinline]] void EncodePng(const RgbImage &Image, const TByteSink &Sink) {
    std::vector<std::uint8_t> Header(PNG_SIGNATURE.begin(), PNG_SIGNATURE.end());
    std::vector<std::uint8_t> Ihdr;
    PutBigEndian32(Ihdr, static_cast<std::uint32_t>(Image.Width));
    PutBigEndian32(Ihdr, static_cast<std::uint32_t>(Image.Height));
    Ihdr.insert(Ihdr.end(),
                {BIT_DEPTH, COLOR_TYPE_TRUECOLOR, 0, 0, 0}); // deflate, filter 0, no interlace
    AppendChunk(Header, "IHDR", Ihdr.data(), Ihdr.size());
    const std::array<std::uint8_t, PHYS_SIZE> NoResolution{}; // no unit, no size
    AppendChunk(Header, "pHYs", NoResolution.data(), NoResolution.size());
    Sink(Header.data(), Header.size());

    // The IDAT length comes first, so the stream is collected in memory.
    z_stream Stream{};
    const int Init = deflateInit2(&Stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, WINDOW_BITS,
                                  MEMORY_LEVEL, Z_DEFAULT_STRATEGY);
    if (Init != Z_OK)
        RaiseZlibError(Init);
    const std::unique_ptr<z_stream, int (*)(z_streamp)> StreamGuard(&Stream, deflateEnd);
    const std::size_t RowBytes = Image.RowBytes();
    // Pictures of text compress well: start small, so few pages are touched.
    TPageBuffer Compressed(INITIAL_OUTPUT);
    std::size_t Used = 0;
    const std::uint8_t Filter = FILTER_NONE;
    for (std::int32_t Y = 0; Y < Image.Height; ++Y) {
        Deflate(Stream, Compressed, Used, &Filter, 1, Z_NO_FLUSH);
        Deflate(Stream, Compressed, Used, Image.Row(Y), RowBytes, Z_NO_FLUSH);
    }
    Deflate(Stream, Compressed, Used, nullptr, 0, Z_FINISH);

    std::vector<std::uint8_t> Trailer;
    AppendChunk(Trailer, "IDAT", Compressed.data(), Used);
    AppendChunk(Trailer, "IEND", nullptr, 0);
    Sink(Trailer.data(), Trailer.size());
}
