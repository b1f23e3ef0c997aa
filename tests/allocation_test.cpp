// Counts heap allocations while sequences are played: the common path (short
// numeric fields) must not allocate at all.
#include "feed.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {
std::atomic<long> Allocations{0};
}

// These replace the global allocator itself, so malloc and free are the
// matching pair here whatever the compiler infers.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void *operator new(std::size_t Size) {
    ++Allocations;
    if (void *P = std::malloc(Size ? Size : 1))
        return P;
    throw std::bad_alloc();
}
void operator delete(void *P) noexcept { std::free(P); }
void operator delete(void *P, std::size_t) noexcept { std::free(P); }

namespace {

class Allocation : public ScreenTest {};

TEST_F(Allocation, CommonSequencesAllocateNothing) {
    std::string Art;
    for (int I = 0; I < 200; ++I)
        Art += "\x1b[0;1;3" + std::to_string(I % 8) + ";4" + std::to_string(I % 8) +
               "m\xdb\xdc\x1b[" + std::to_string(I % 30) + "C\x1b[" + std::to_string(I % 25) + ";" +
               std::to_string(I % 80) + "H\x1b[K\x1b[2J\x1b[A\x1b[m\x1b[\"31\";44mtext\r\n";
    const std::vector<std::uint8_t> Bytes(Art.begin(), Art.end());
    const long Before = Allocations.load();
    WalkBytes(Term, Bytes);
    EXPECT_EQ(Allocations.load() - Before, 0);
}

} // namespace
