// The PNG files tarvex writes: their sizes, and a reader that checks their
// layout. Shared by the tests and the fuzz targets.
#pragma once

#include "png/png.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>
#include <zlib.h>

using TBytes = std::vector<std::uint8_t>;

// The 640 x 400 picture as deflate sees it: each row a filter byte, then the
// row's pixels.
constexpr std::size_t PICTURE_WIDTH = 640;
constexpr std::size_t PICTURE_HEIGHT = 400;
constexpr std::size_t ROW_PIXELS_BYTES = PICTURE_WIDTH * BYTES_PER_PIXEL;
constexpr std::size_t SCANLINE_BYTES = 1 + ROW_PIXELS_BYTES;
constexpr std::size_t SCANLINE_DATA_BYTES = PICTURE_HEIGHT * SCANLINE_BYTES;
// Signature, IHDR, pHYs, IEND and the frame of IDAT: all but the zlib stream.
constexpr std::size_t FILE_OVERHEAD = 78;

inline std::uint32_t BigEndian32(const std::uint8_t *P) {
    return std::uint32_t{P[0]} << 24 | std::uint32_t{P[1]} << 16 | std::uint32_t{P[2]} << 8 | P[3];
}

inline TBytes Encode(const RgbImage &Image) {
    TBytes File;
    EncodePng(Image, [&File](const std::uint8_t *Data, std::size_t Size) {
        File.insert(File.end(), Data, Data + Size);
    });
    return File;
}

struct TChunk {
    std::string Type;
    TBytes Data;
};

// The chunks after the signature; nothing when the signature, a length or a
// CRC is wrong, or bytes follow the last chunk.
inline std::optional<std::vector<TChunk>> ReadChunks(const TBytes &File) {
    if (File.size() < PNG_SIGNATURE.size() ||
        !std::equal(PNG_SIGNATURE.begin(), PNG_SIGNATURE.end(), File.begin()))
        return std::nullopt;
    std::vector<TChunk> Chunks;
    std::size_t At = PNG_SIGNATURE.size();
    while (At < File.size()) {
        if (File.size() - At < 12 || File.size() - At - 12 < BigEndian32(&File[At]))
            return std::nullopt;
        const std::uint32_t Length = BigEndian32(&File[At]);
        if (BigEndian32(&File[At + 8 + Length]) !=
            crc32(0, &File[At + 4], static_cast<uInt>(Length + 4)))
            return std::nullopt;
        Chunks.push_back({std::string(File.begin() + static_cast<long>(At) + 4,
                                      File.begin() + static_cast<long>(At) + 8),
                          TBytes(File.begin() + static_cast<long>(At) + 8,
                                 File.begin() + static_cast<long>(At + 8 + Length))});
        At += 12 + Length;
    }
    return Chunks;
}

// The scanline data of a file laid out as tarvex writes them: IHDR for a
// Width x Height 16-bit truecolour picture, pHYs, one IDAT holding one whole
// zlib stream and nothing after it, IEND, every row filtered with None.
// Nothing when anything differs.
inline std::optional<TBytes> Scanlines(const TBytes &File, std::uint32_t Width,
                                       std::uint32_t Height) {
    const auto Chunks = ReadChunks(File);
    std::string Types;
    for (const TChunk &Chunk : Chunks.value_or(std::vector<TChunk>{}))
        Types += Chunk.Type;
    if (Types != "IHDRpHYsIDATIEND" || (*Chunks)[0].Data.size() != 13 ||
        BigEndian32(&(*Chunks)[0].Data[0]) != Width ||
        BigEndian32(&(*Chunks)[0].Data[4]) != Height || (*Chunks)[0].Data[8] != 16 ||
        (*Chunks)[0].Data[9] != 2)
        return std::nullopt;
    const TBytes &Idat = (*Chunks)[2].Data;
    const std::size_t RowBytes = 1 + BYTES_PER_PIXEL * Width;
    TBytes Raw(RowBytes * Height + 1); // one byte more shows a longer stream
    uLongf RawSize = Raw.size();
    uLong Used = Idat.size();
    if (uncompress2(Raw.data(), &RawSize, Idat.data(), &Used) != Z_OK || Used != Idat.size() ||
        RawSize != RowBytes * Height)
        return std::nullopt;
    Raw.resize(RawSize);
    for (std::size_t Row = 0; Row < Height; ++Row)
        if (Raw[Row * RowBytes] != 0)
            return std::nullopt;
    return Raw;
}
