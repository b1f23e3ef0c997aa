// The floor: only the work every conversion must do for a given picture.
// Reads the input file, deflates the picture's 1,536,400 scanline bytes at
// level 6 with the encoder's settings, and writes a PNG of the same layout.
// Usage: floor <input.ans> <scanlines.raw> <output.png>
// scanlines.raw holds the uncompressed scanlines of the picture (the bench
// script takes them from tarvex's own output beforehand).
#include <cstdio>
#include <cstdlib>
#include <vector>
#include <zlib.h>

namespace {

std::vector<unsigned char> ReadAll(const char *Path) {
    std::vector<unsigned char> Data;
    FILE *In = std::fopen(Path, "rb");
    if (!In)
        std::exit(2);
    unsigned char Chunk[1 << 16];
    std::size_t Got;
    while ((Got = std::fread(Chunk, 1, sizeof Chunk, In)) > 0)
        Data.insert(Data.end(), Chunk, Chunk + Got);
    std::fclose(In);
    return Data;
}

void Put32(std::vector<unsigned char> &Out, unsigned long Value) {
    for (int Shift = 24; Shift >= 0; Shift -= 8)
        Out.push_back(static_cast<unsigned char>(Value >> Shift));
}

void Chunk(std::vector<unsigned char> &Out, const char *Type, const unsigned char *Data,
           std::size_t Size) {
    Put32(Out, Size);
    const std::size_t At = Out.size();
    Out.insert(Out.end(), Type, Type + 4);
    Out.insert(Out.end(), Data, Data + Size);
    Put32(Out, crc32(0, Out.data() + At, static_cast<uInt>(Size + 4)));
}

} // namespace

int main(int Argc, char **Argv) {
    if (Argc != 4)
        return 2;
    const std::vector<unsigned char> Input = ReadAll(Argv[1]);
    const std::vector<unsigned char> Raw = ReadAll(Argv[2]);
    const std::size_t RowBytes = 1 + 6 * 640;
    if (Raw.size() != RowBytes * 400)
        return 2;
    z_stream Stream{};
    deflateInit2(&Stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
    std::vector<unsigned char> Compressed(deflateBound(&Stream, Raw.size()));
    Stream.next_out = Compressed.data();
    Stream.avail_out = static_cast<uInt>(Compressed.size());
    for (std::size_t Row = 0; Row < 400; ++Row) { // one row at a time, as the encoder does
        Stream.next_in = const_cast<unsigned char *>(Raw.data() + Row * RowBytes);
        Stream.avail_in = static_cast<uInt>(RowBytes);
        deflate(&Stream, Z_NO_FLUSH);
    }
    if (deflate(&Stream, Z_FINISH) != Z_STREAM_END)
        return 3;
    const std::size_t Used = Compressed.size() - Stream.avail_out;
    deflateEnd(&Stream);

    std::vector<unsigned char> File = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    const unsigned char Ihdr[13] = {0, 0, 2, 0x80, 0, 0, 1, 0x90, 16, 2, 0, 0, 0};
    const unsigned char Phys[9] = {};
    Chunk(File, "IHDR", Ihdr, sizeof Ihdr);
    Chunk(File, "pHYs", Phys, sizeof Phys);
    Chunk(File, "IDAT", Compressed.data(), Used);
    Chunk(File, "IEND", nullptr, 0);
    FILE *Out = std::fopen(Argv[3], "wb");
    if (!Out || std::fwrite(File.data(), 1, File.size(), Out) != File.size() || std::fclose(Out) != 0)
        return 4;
    return Input.empty() ? 0 : 0;
}
