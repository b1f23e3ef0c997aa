// The floor: only the work every conversion must do for a given picture.
// Reads the input file, deflates the picture's scanlines (1,536,400 bytes for
// tarvex's 400 rows; as many rows as the file holds, for a whole piece) row by
// row at level 6 with the encoder's settings, and writes a PNG of the same
// layout. Usage: floor <input.ans> <scanlines.raw> <output.png>
// scanlines.raw holds the picture's uncompressed scanlines (the bench script
// takes them from tarvex's own output beforehand); it is mapped from the page
// cache, so having the picture costs the floor nothing.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace {

constexpr std::size_t ROW_BYTES = 1 + 6 * 640;

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
    // The input is read whole, as every conversion must.
    const int In = ::open(Argv[1], O_RDONLY);
    struct stat Info;
    if (In < 0 || ::fstat(In, &Info) != 0)
        return 2;
    std::vector<unsigned char> Input(static_cast<std::size_t>(Info.st_size));
    if (!Input.empty() &&
        ::read(In, Input.data(), Input.size()) != static_cast<ssize_t>(Input.size()))
        return 2;
    ::close(In);

    const int RawFd = ::open(Argv[2], O_RDONLY);
    struct stat RawInfo;
    if (RawFd < 0 || ::fstat(RawFd, &RawInfo) != 0)
        return 2;
    const std::size_t ROWS = static_cast<std::size_t>(RawInfo.st_size) / ROW_BYTES;
    void *Raw = ::mmap(nullptr, ROW_BYTES * ROWS, PROT_READ, MAP_PRIVATE | MAP_POPULATE, RawFd, 0);
    if (Raw == MAP_FAILED)
        return 2;
    const auto *Scanlines = static_cast<const unsigned char *>(Raw);

    z_stream Stream{};
    deflateInit2(&Stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
    // Ample for pictures of text (pages touched as used); a tall one needs more.
    const std::size_t Capacity = std::max<std::size_t>(256 * 1024, ROWS * 1024);
    const std::unique_ptr<unsigned char[]> Compressed(new unsigned char[Capacity]);
    Stream.next_out = Compressed.get();
    Stream.avail_out = static_cast<uInt>(Capacity);
    for (std::size_t Row = 0; Row < ROWS; ++Row) {
        Stream.next_in = const_cast<unsigned char *>(Scanlines + Row * ROW_BYTES);
        Stream.avail_in = static_cast<uInt>(ROW_BYTES);
        deflate(&Stream, Z_NO_FLUSH);
    }
    if (deflate(&Stream, Z_FINISH) != Z_STREAM_END)
        return 3;
    const std::size_t Used = Capacity - Stream.avail_out;
    deflateEnd(&Stream);

    std::vector<unsigned char> File = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    const unsigned char Ihdr[13] = {0,
                                    0,
                                    2,
                                    0x80,
                                    0,
                                    0,
                                    static_cast<unsigned char>(ROWS >> 8),
                                    static_cast<unsigned char>(ROWS),
                                    16,
                                    2,
                                    0,
                                    0,
                                    0};
    const unsigned char Phys[9] = {};
    Chunk(File, "IHDR", Ihdr, sizeof Ihdr);
    Chunk(File, "pHYs", Phys, sizeof Phys);
    Chunk(File, "IDAT", Compressed.get(), Used);
    Chunk(File, "IEND", nullptr, 0);
    const int Out = ::open(Argv[3], O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (Out < 0 || ::write(Out, File.data(), File.size()) != static_cast<ssize_t>(File.size()) ||
        ::close(Out) != 0)
        return 4;
    return 0;
}
