#include "feed.h"
#include "render/render.h"

#include <cstring>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

using TBytes = std::vector<std::uint8_t>;

TBytes Encode(const RgbImage &Image) {
    TBytes File;
    EncodePng(Image, [&File](const std::uint8_t *Data, std::size_t Size) {
        File.insert(File.end(), Data, Data + Size);
    });
    return File;
}

std::uint32_t BigEndian32(const std::uint8_t *P) {
    return std::uint32_t{P[0]} << 24 | std::uint32_t{P[1]} << 16 | std::uint32_t{P[2]} << 8 | P[3];
}

struct TChunk {
    std::string Type;
    TBytes Data;
};

// Splits a PNG into its chunks, checking every CRC.
std::vector<TChunk> Chunks(const TBytes &File) {
    std::vector<TChunk> Result;
    std::size_t At = 8;
    while (At + 12 <= File.size()) {
        const std::uint32_t Length = BigEndian32(&File[At]);
        EXPECT_LE(At + 12 + Length, File.size());
        TChunk Chunk{std::string(File.data() + At + 4, File.data() + At + 8),
                     TBytes(File.data() + At + 8, File.data() + At + 8 + Length)};
        const uLong Crc = crc32(0, &File[At + 4], static_cast<uInt>(Length + 4));
        EXPECT_EQ(BigEndian32(&File[At + 8 + Length]), Crc) << Chunk.Type;
        Result.push_back(std::move(Chunk));
        At += 12 + Length;
    }
    EXPECT_EQ(At, File.size());
    return Result;
}

TBytes Inflate(const TBytes &Compressed) {
    TBytes Out(1 << 16);
    z_stream Stream{};
    EXPECT_EQ(inflateInit(&Stream), Z_OK);
    Stream.next_in = const_cast<Bytef *>(Compressed.data());
    Stream.avail_in = static_cast<uInt>(Compressed.size());
    int Result = Z_OK;
    while (Result == Z_OK) {
        if (Stream.total_out == Out.size())
            Out.resize(Out.size() * 2);
        Stream.next_out = Out.data() + Stream.total_out;
        Stream.avail_out = static_cast<uInt>(Out.size() - Stream.total_out);
        Result = inflate(&Stream, Z_NO_FLUSH);
    }
    EXPECT_EQ(Result, Z_STREAM_END);
    EXPECT_EQ(Stream.avail_in, 0u); // nothing after the stream
    Out.resize(Stream.total_out);
    inflateEnd(&Stream);
    return Out;
}

const TBytes FIXED_HEAD = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A,                         // signature
    0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x02, 0x80, // IHDR 640
    0x00, 0x00, 0x01, 0x90, 0x10, 0x02, 0x00, 0x00, 0x00, 0xE1, 0x01, 0x9A, 0x31,
    0x00, 0x00, 0x00, 0x09, 0x70, 0x48, 0x59, 0x73, 0x00, 0x00, 0x00, 0x00, // pHYs
    0x00, 0x00, 0x00, 0x00, 0x00, 0x9D, 0x62, 0x26, 0x32};
const TBytes IEND = {0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};

TEST(PngEncoder, WritesTheFixedLayoutAroundOneIdat) {
    RgbImage Image(640, 400);
    Image.SetPixel(0, 0, {0xAAAA, 0x5555, 0x0000});
    Image.SetPixel(639, 399, {0xFFFF, 0xFFFF, 0xFFFF});
    Image.SetPixel(17, 200, {0x5555, 0xFFFF, 0x5555});
    const TBytes File = Encode(Image);
    ASSERT_GE(File.size(), 78u);
    EXPECT_EQ(TBytes(File.begin(), File.begin() + 54), FIXED_HEAD);
    EXPECT_EQ(TBytes(File.end() - 12, File.end()), IEND);
    const std::vector<TChunk> Parts = Chunks(File);
    ASSERT_EQ(Parts.size(), 4u);
    EXPECT_EQ(Parts[2].Type, "IDAT");
    EXPECT_EQ(File.size(), 78 + Parts[2].Data.size());
    EXPECT_EQ(Parts[2].Data[0], 0x78);
    EXPECT_EQ(Parts[2].Data[1], 0x9C);

    const TBytes Raw = Inflate(Parts[2].Data);
    ASSERT_EQ(Raw.size(), 1536400u);
    for (std::size_t Row = 0; Row < 400; ++Row) {
        ASSERT_EQ(Raw[Row * 3841], 0) << Row; // filter None
        for (std::size_t Byte = 1; Byte < 3841; Byte += 2)
            ASSERT_EQ(Raw[Row * 3841 + Byte], Raw[Row * 3841 + Byte + 1]);
    }
    const auto PixelAt = [&Raw](std::size_t X, std::size_t Y) {
        const std::size_t At = Y * 3841 + 1 + 6 * X;
        return TBytes(Raw.data() + At, Raw.data() + At + 6);
    };
    EXPECT_EQ(PixelAt(0, 0), (TBytes{0xAA, 0xAA, 0x55, 0x55, 0, 0}));
    EXPECT_EQ(PixelAt(639, 399), TBytes(6, 0xFF));
    EXPECT_EQ(PixelAt(17, 200), (TBytes{0x55, 0x55, 0xFF, 0xFF, 0x55, 0x55}));
    EXPECT_EQ(PixelAt(1, 0), TBytes(6, 0));
}

// Each of the 16 colours as a foreground (full blocks, plain then bright) and
// as a background (spaces), read back from the encoded picture.
TEST(PngEncoder, CarriesEveryPaletteColourExactly) {
    const std::array<std::uint32_t, 16> WANT = {
        0x000000, 0xAA0000, 0x00AA00, 0xAA5500, 0x0000AA, 0xAA00AA, 0x00AAAA, 0xAAAAAA,
        0x555555, 0xFF5555, 0x55FF55, 0xFFFF55, 0x5555FF, 0xFF55FF, 0x55FFFF, 0xFFFFFF};
    InitScreenBuffer(80, 25);
    std::string Foregrounds, Backgrounds, BrightBackgrounds;
    for (char N = '0'; N < '8'; ++N) {
        Foregrounds += std::string("\x1b[0;3") + N + "m\xdb\x1b[1m\xdb";
        Backgrounds += std::string("\x1b[4") + N + "m ";
        BrightBackgrounds += std::string("\x1b[10") + N + "m ";
    }
    Feed(Foregrounds + "\r\n" + Backgrounds + BrightBackgrounds + "\r\n\x1b[1;37;107mA");
    RgbImage Image(640, 400);
    PaintScreen(Image, TFont{});
    const TBytes Raw = Inflate(Chunks(Encode(Image))[2].Data);
    const auto Expect = [&Raw](std::uint32_t Colour, std::size_t X, std::size_t Y) {
        const TBytes Bytes(Raw.data() + Y * 3841 + 1 + 6 * X, Raw.data() + Y * 3841 + 7 + 6 * X);
        const auto R = static_cast<std::uint8_t>(Colour >> 16);
        const auto G = static_cast<std::uint8_t>(Colour >> 8);
        const auto B = static_cast<std::uint8_t>(Colour);
        EXPECT_EQ(Bytes, (TBytes{R, R, G, G, B, B}))
            << std::hex << Colour << " at " << X << "," << Y;
    };
    for (std::size_t Index = 0; Index < 16; ++Index) {
        Expect(WANT[Index], 8 * (Index % 8 * 2 + Index / 8), 0); // foreground row 0
        Expect(WANT[Index], 8 * Index, 16);                      // background row 1
    }
    Expect(0xFFFFFF, 4, 32);
}

// Noise compresses to more than the encoder's first buffer. For a given zlib
// release the settings (level 6, window 15, memory level 8, default
// strategy) fix the compressed bytes: pinned for the 1.2.13 we build with.
TEST(PngEncoder, NoiseGrowsTheBufferAndKeepsTheSettings) {
    RgbImage Image(640, 400);
    std::uint32_t Seed = 1;
    for (std::size_t I = 0; I < Image.Samples.size(); ++I) {
        Seed = Seed * 1103515245u + 12345u;
        Image.Samples.data()[I] = static_cast<std::uint8_t>(Seed >> 16);
    }
    const std::vector<TChunk> Parts = Chunks(Encode(Image));
    ASSERT_EQ(Parts.size(), 4u);
    const TBytes Raw = Inflate(Parts[2].Data);
    ASSERT_EQ(Raw.size(), 1536400u);
    for (std::int32_t Y = 0; Y < 400; ++Y)
        ASSERT_EQ(std::memcmp(Raw.data() + Y * 3841 + 1, Image.Row(Y), 3840), 0) << Y;
    if (std::string(zlibVersion()) == "1.2.13") {
        EXPECT_EQ(crc32(0, Parts[2].Data.data(), static_cast<uInt>(Parts[2].Data.size())),
                  835603332u);
    }
}

TEST(PngEncoder, TakesTheSizeFromTheImage) {
    RgbImage Image(3, 2);
    Image.SetPixel(2, 1, {0x0102, 0x0304, 0x0506});
    const std::vector<TChunk> Parts = Chunks(Encode(Image));
    ASSERT_EQ(Parts.size(), 4u);
    EXPECT_EQ(BigEndian32(&Parts[0].Data[0]), 3u);
    EXPECT_EQ(BigEndian32(&Parts[0].Data[4]), 2u);
    const TBytes Raw = Inflate(Parts[2].Data);
    ASSERT_EQ(Raw.size(), 2u * 19);
    EXPECT_EQ(TBytes(Raw.end() - 6, Raw.end()), (TBytes{1, 2, 3, 4, 5, 6}));
}

TEST(PngEncoder, SinkFailureStopsTheWriting) {
    RgbImage Image(640, 400);
    std::size_t Calls = 0;
    const auto Failing = [&Calls](const std::uint8_t *, std::size_t) {
        ++Calls;
        throw std::runtime_error("Stream write error");
    };
    EXPECT_THROW(
        {
            try {
                EncodePng(Image, Failing);
            } catch (const std::runtime_error &Error) {
                EXPECT_STREQ(Error.what(), "Stream write error");
                throw;
            }
        },
        std::runtime_error);
    EXPECT_EQ(Calls, 1u);
}

} // namespace
