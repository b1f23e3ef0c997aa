// Large zero-filled buffers taken straight from the system. Fresh pages are
// zero already, so nothing is cleared twice, and on Linux the kernel is asked
// for huge pages: a buffer then faults in once per 2 MiB instead of once per
// 4 KiB, which is most of the cost of a short run on a virtual machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

class TPageBuffer {
  public:
    explicit TPageBuffer(std::size_t Size) : Size_(Size) {
        if (Size == 0)
            return; // an empty image needs no memory, and mmap refuses a length of 0
#if defined(__linux__)
        constexpr std::size_t PAGE = 4096;
        constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;
        const bool Huge = Size >= HUGE_PAGE / 2;
        const std::size_t Mapped =
            Huge ? RoundUp(Size, HUGE_PAGE) + HUGE_PAGE : RoundUp(Size, PAGE);
        void *Base =
            ::mmap(nullptr, Mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (Base == MAP_FAILED)
            throw std::bad_alloc();
        Map_ = Data_ = static_cast<std::uint8_t *>(Base);
        MapSize_ = Mapped;
        if (Huge) { // align to a huge page and ask for huge pages
            const auto Address = reinterpret_cast<std::uintptr_t>(Base);
            Data_ = Map_ + (RoundUp(Address, HUGE_PAGE) - Address);
            ::madvise(Data_, RoundUp(Size, HUGE_PAGE), MADV_HUGEPAGE);
        }
#if defined(__SANITIZE_ADDRESS__)
        // The slack around the buffer is mapped too: let the sanitizer see
        // any access to it.
        ASAN_POISON_MEMORY_REGION(Map_, static_cast<std::size_t>(Data_ - Map_));
        ASAN_POISON_MEMORY_REGION(Data_ + Size,
                                  static_cast<std::size_t>(Map_ + Mapped - Data_) - Size);
#endif
#else
        Data_ = static_cast<std::uint8_t *>(std::calloc(Size, 1));
        if (!Data_)
            throw std::bad_alloc();
#endif
    }
    TPageBuffer(TPageBuffer &&Other) noexcept { Swap(Other); }
    TPageBuffer(const TPageBuffer &) = delete;
    TPageBuffer &operator=(const TPageBuffer &) = delete;
    ~TPageBuffer() {
#if defined(__linux__)
        if (Map_) {
#if defined(__SANITIZE_ADDRESS__)
            ASAN_UNPOISON_MEMORY_REGION(Map_, MapSize_);
#endif
            ::munmap(Map_, MapSize_); // the benchmarks and tests make many
        }
#else
        std::free(Data_);
#endif
    }

    std::uint8_t *data() { return Data_; }
    const std::uint8_t *data() const { return Data_; }
    std::size_t size() const { return Size_; }
    // Doubles the size of a buffer that is not empty, keeping the contents.
    void Grow() {
        TPageBuffer Larger(2 * Size_);
        std::memcpy(Larger.Data_, Data_, Size_);
        Swap(Larger);
    }

  private:
    static std::size_t RoundUp(std::size_t Value, std::size_t Unit) {
        return (Value + Unit - 1) / Unit * Unit;
    }
    void Swap(TPageBuffer &Other) noexcept {
        std::swap(Data_, Other.Data_);
        std::swap(Size_, Other.Size_);
        std::swap(Map_, Other.Map_);
        std::swap(MapSize_, Other.MapSize_);
    }

    std::uint8_t *Data_ = nullptr;
    std::size_t Size_ = 0;
    std::uint8_t *Map_ = nullptr;
    std::size_t MapSize_ = 0;
};
