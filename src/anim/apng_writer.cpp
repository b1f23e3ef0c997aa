// Animated PNG: acTL, fcTL and fdAT chunks around a
// 4-bit palette picture, deflated with zlib as the converter's pictures are.
#include "anim/anim.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>
#include <zlib.h>

namespace {

constexpr std::uint8_t BIT_DEPTH = 4;
constexpr std::uint8_t COLOR_TYPE_PALETTE = 3;
constexpr std::uint8_t FILTER_NONE = 0;
constexpr int WINDOW_BITS = 15;
constexpr int MEMORY_LEVEL = 8;
constexpr std::uint16_t CENTISECONDS = 100; // the delay's denominator
constexpr std::uint8_t DISPOSE_NONE = 0;
constexpr std::uint8_t BLEND_SOURCE = 0;

using TBytes = std::vector<std::uint8_t>;

void Put16(TBytes &Out, std::uint16_t Value) {
    Out.push_back(static_cast<std::uint8_t>(Value >> 8));
    Out.push_back(static_cast<std::uint8_t>(Value));
}

// The temporary file failed: the system's reason, as errno holds it.
[[noreturn]] void RaiseSpoolError() {
    throw std::runtime_error(std::string("Temporary file: ") + std::strerror(errno));
}

} // namespace

TSpool::TSpool() : File_(std::tmpfile()) {
    if (!File_)
        RaiseSpoolError();
}

TSpool::~TSpool() { std::fclose(File_); }

void TSpool::Write(const std::uint8_t *Data, std::size_t Size) {
    if (std::fwrite(Data, 1, Size, File_) != Size)
        RaiseSpoolError();
}

void TSpool::CopyTo(const TByteSink &Sink) {
    if (std::fflush(File_) != 0 || std::fseek(File_, 0, SEEK_SET) != 0)
        RaiseSpoolError();
    std::array<std::uint8_t, 64 * 1024> Block;
    for (;;) {
        const std::size_t Got = std::fread(Block.data(), 1, Block.size(), File_);
        if (Got > 0)
            Sink(Block.data(), Got);
        if (Got < Block.size())
            break;
    }
    if (std::ferror(File_))
        RaiseSpoolError();
}

struct TApngWriter::TState {
    TState(TByteSink Output, bool PlayOnce) : Sink(std::move(Output)), Once(PlayOnce) {}
    TByteSink Sink;
    bool Once;
    TSpool Spool;
    z_stream Stream{};
    std::uint32_t Frames = 0;
    std::uint32_t Sequence = 0; // fcTL and fdAT chunks, counted together
    TBytes Raw;                 // a frame's scanlines
    TBytes Data;                // a chunk's data
    TBytes Chunk;               // the chunk itself

    void Spill(const char (&Type)[5]) {
        Chunk.clear();
        AppendChunk(Chunk, Type, Data.data(), Data.size());
        Spool.Write(Chunk.data(), Chunk.size());
    }
};

TApngWriter::TApngWriter(TByteSink Sink, bool Once)
    : State_(std::make_unique<TState>(std::move(Sink), Once)) {
    z_stream &Stream = State_->Stream;
    const int Init = deflateInit2(&Stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, WINDOW_BITS,
                                  MEMORY_LEVEL, Z_DEFAULT_STRATEGY);
    if (Init != Z_OK)
        throw std::runtime_error(zError(Init));
}

TApngWriter::~TApngWriter() { deflateEnd(&State_->Stream); }

void TApngWriter::Frame(const TIndexedPicture &Picture, const TRect &Area, std::uint32_t Delay) {
    TState &S = *State_;
    TBytes &Data = S.Data;
    Data.clear();
    PutBigEndian32(Data, S.Sequence++);
    PutBigEndian32(Data, static_cast<std::uint32_t>(Area.Width));
    PutBigEndian32(Data, static_cast<std::uint32_t>(Area.Height));
    PutBigEndian32(Data, static_cast<std::uint32_t>(Area.X));
    PutBigEndian32(Data, static_cast<std::uint32_t>(Area.Y));
    Put16(Data, static_cast<std::uint16_t>(Delay));
    Put16(Data, CENTISECONDS);
    Data.push_back(DISPOSE_NONE);
    Data.push_back(BLEND_SOURCE);
    S.Spill("fcTL");

    // Two pixels a byte, the left one in the high nibble.
    const std::size_t RowBytes = 1 + (static_cast<std::size_t>(Area.Width) + 1) / 2;
    S.Raw.assign(RowBytes * static_cast<std::size_t>(Area.Height), 0);
    std::uint8_t *Out = S.Raw.data();
    for (std::int32_t Y = Area.Y; Y < Area.Y + Area.Height; ++Y) {
        const std::uint8_t *In = Picture.Row(Y) + Area.X;
        *Out++ = FILTER_NONE;
        for (std::int32_t X = 0; X < Area.Width; X += 2) {
            const std::uint8_t Right = X + 1 < Area.Width ? In[X + 1] : 0;
            *Out++ = static_cast<std::uint8_t>(In[X] << 4 | Right);
        }
    }

    // The first frame is the picture every PNG reader shows: IDAT. The rest
    // carry a sequence number before their data.
    const bool First = S.Frames == 0;
    Data.clear();
    if (!First)
        PutBigEndian32(Data, S.Sequence++);
    const std::size_t Start = Data.size();
    z_stream &Stream = S.Stream;
    const int Reset = deflateReset(&Stream);
    if (Reset != Z_OK)
        throw std::runtime_error(zError(Reset));
    Data.resize(Start + deflateBound(&Stream, static_cast<uLong>(S.Raw.size())));
    Stream.next_in = S.Raw.data();
    Stream.avail_in = static_cast<uInt>(S.Raw.size());
    Stream.next_out = Data.data() + Start;
    Stream.avail_out = static_cast<uInt>(Data.size() - Start);
    const int Result = deflate(&Stream, Z_FINISH);
    if (Result != Z_STREAM_END)
        throw std::runtime_error(zError(Result == Z_OK ? Z_BUF_ERROR : Result));
    Data.resize(Data.size() - Stream.avail_out);
    S.Spill(First ? "IDAT" : "fdAT");
    ++S.Frames;
}

void TApngWriter::Finish() {
    TState &S = *State_;
    TBytes Head(PNG_SIGNATURE.begin(), PNG_SIGNATURE.end());
    TBytes Data;
    PutBigEndian32(Data, static_cast<std::uint32_t>(PICTURE_WIDTH_PX));
    PutBigEndian32(Data, static_cast<std::uint32_t>(PICTURE_HEIGHT_PX));
    Data.insert(Data.end(),
                {BIT_DEPTH, COLOR_TYPE_PALETTE, 0, 0, 0}); // deflate, filter 0, no interlace
    AppendChunk(Head, "IHDR", Data.data(), Data.size());
    Data.clear();
    PutBigEndian32(Data, S.Frames);
    PutBigEndian32(Data, S.Once ? 1 : 0); // plays: 0 is forever
    AppendChunk(Head, "acTL", Data.data(), Data.size());
    Data.clear();
    for (const std::uint32_t RGB : ANSI_COLORS)
        Data.insert(Data.end(),
                    {static_cast<std::uint8_t>(RGB >> 16), static_cast<std::uint8_t>(RGB >> 8),
                     static_cast<std::uint8_t>(RGB)});
    AppendChunk(Head, "PLTE", Data.data(), Data.size());
    S.Sink(Head.data(), Head.size());
    S.Spool.CopyTo(S.Sink);
    TBytes End;
    AppendChunk(End, "IEND", nullptr, 0);
    S.Sink(End.data(), End.size());
}
