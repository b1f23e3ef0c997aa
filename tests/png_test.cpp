#include "feed.h"
#include "png_facts.h"
#include "render/render.h"

#include <cstring>
#include <stdexcept>

namespace {

const TBytes FIXED_HEAD = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A,                         // signature
    0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x02, 0x80, // IHDR 640
    0x00, 0x00, 0x01, 0x90, 0x10, 0x02, 0x00, 0x00, 0x00, 0xE1, 0x01, 0x9A, 0x31,
    0x00, 0x00, 0x00, 0x09, 0x70, 0x48, 0x59, 0x73, 0x00, 0x00, 0x00, 0x00, // pHYs
    0x00, 0x00, 0x00, 0x00, 0x00, 0x9D, 0x62, 0x26, 0x32};
const TBytes IEND = {0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};

// The bytes of pixel (X, Y) in the scanline data.
TBytes PixelAt(const TBytes &Raw, std::size_t X, std::size_t Y) {
    const std::size_t At = Y * SCANLINE_BYTES + 1 + BYTES_PER_PIXEL * X;
    return TBytes(Raw.data() + At, Raw.data() + At + BYTES_PER_PIXEL);
}

TEST(PngEncoder, WritesTheFixedLayoutAroundOneIdat) {
    RgbImage Image(640, 400);
    Image.SetPixel(0, 0, {0xAAAA, 0x5555, 0x0000});
    Image.SetPixel(639, 399, {0xFFFF, 0xFFFF, 0xFFFF});
    Image.SetPixel(17, 200, {0x5555, 0xFFFF, 0x5555});
    const TBytes File = Encode(Image);
    ASSERT_GE(File.size(), FILE_OVERHEAD);
    EXPECT_EQ(TBytes(File.begin(), File.begin() + 54), FIXED_HEAD);
    EXPECT_EQ(TBytes(File.end() - 12, File.end()), IEND);
    const auto Chunks = ReadChunks(File);
    ASSERT_TRUE(Chunks);
    EXPECT_EQ((*Chunks)[2].Data[0], 0x78); // zlib header: deflate, 32 KiB window, level 6
    EXPECT_EQ((*Chunks)[2].Data[1], 0x9C);

    const auto Raw = Scanlines(File, 640, 400);
    ASSERT_TRUE(Raw);
    ASSERT_EQ(Raw->size(), SCANLINE_DATA_BYTES);
    for (std::size_t Row = 0; Row < 400; ++Row)
        for (std::size_t Byte = 1; Byte < SCANLINE_BYTES; Byte += 2)
            ASSERT_EQ((*Raw)[Row * SCANLINE_BYTES + Byte], (*Raw)[Row * SCANLINE_BYTES + Byte + 1]);
    EXPECT_EQ(PixelAt(*Raw, 0, 0), (TBytes{0xAA, 0xAA, 0x55, 0x55, 0, 0}));
    EXPECT_EQ(PixelAt(*Raw, 639, 399), TBytes(6, 0xFF));
    EXPECT_EQ(PixelAt(*Raw, 17, 200), (TBytes{0x55, 0x55, 0xFF, 0xFF, 0x55, 0x55}));
    EXPECT_EQ(PixelAt(*Raw, 1, 0), TBytes(6, 0));
}

// Each of the 16 colours as a foreground (full blocks, plain then bright) and
// as a background (spaces), read back from the encoded picture.
class PngColours : public ScreenTest {};

TEST_F(PngColours, CarriesEveryPaletteColourExactly) {
    const std::array<std::uint32_t, 16> WANT = {
        0x000000, 0xAA0000, 0x00AA00, 0xAA5500, 0x0000AA, 0xAA00AA, 0x00AAAA, 0xAAAAAA,
        0x555555, 0xFF5555, 0x55FF55, 0xFFFF55, 0x5555FF, 0xFF55FF, 0x55FFFF, 0xFFFFFF};
    std::string Foregrounds, Backgrounds, BrightBackgrounds;
    for (char N = '0'; N < '8'; ++N) {
        Foregrounds += std::string("\x1b[0;3") + N + "m\xdb\x1b[1m\xdb";
        Backgrounds += std::string("\x1b[4") + N + "m ";
        BrightBackgrounds += std::string("\x1b[10") + N + "m ";
    }
    Feed(Foregrounds + "\r\n" + Backgrounds + BrightBackgrounds + "\r\n\x1b[1;37;107mA");
    RgbImage Image(640, 400);
    PaintScreen(Term.ScreenBuffer, Image, TFont{});
    const TBytes Raw = Scanlines(Encode(Image), 640, 400).value();
    const auto Expect = [&Raw](std::uint32_t Colour, std::size_t X, std::size_t Y) {
        const auto R = static_cast<std::uint8_t>(Colour >> 16);
        const auto G = static_cast<std::uint8_t>(Colour >> 8);
        const auto B = static_cast<std::uint8_t>(Colour);
        EXPECT_EQ(PixelAt(Raw, X, Y), (TBytes{R, R, G, G, B, B}))
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
    const TBytes File = Encode(Image);
    const auto Raw = Scanlines(File, 640, 400);
    ASSERT_TRUE(Raw);
    for (std::int32_t Y = 0; Y < 400; ++Y)
        ASSERT_EQ(std::memcmp(&(*Raw)[static_cast<std::size_t>(Y) * SCANLINE_BYTES + 1],
                              Image.Row(Y), ROW_PIXELS_BYTES),
                  0)
            << Y;
    if (std::string(zlibVersion()) == "1.2.13") {
        const TBytes Idat = (*ReadChunks(File))[2].Data;
        EXPECT_EQ(crc32(0, Idat.data(), static_cast<uInt>(Idat.size())), 835603332u);
    }
}

TEST(PngEncoder, TakesTheSizeFromTheImage) {
    RgbImage Image(3, 2);
    Image.SetPixel(2, 1, {0x0102, 0x0304, 0x0506});
    const auto Raw = Scanlines(Encode(Image), 3, 2);
    ASSERT_TRUE(Raw);
    ASSERT_EQ(Raw->size(), 2u * 19);
    EXPECT_EQ(TBytes(Raw->end() - 6, Raw->end()), (TBytes{1, 2, 3, 4, 5, 6}));
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
