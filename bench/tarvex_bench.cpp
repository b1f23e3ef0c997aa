// Micro-benchmarks of each stage: the walk over bytes in memory, painting
// and encoding. Figures only; nothing is asserted.
#include "render/render.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t ART_TARGET = std::size_t{64} << 20;

std::string ReadWhole(const fs::path &Path) {
    std::ifstream In(Path, std::ios::binary);
    std::ostringstream Bytes;
    Bytes << In.rdbuf();
    return Bytes.str();
}

// Art: the folder TARVEX_CORPUS names (scripts/bench.sh fills one), else the
// real art in bench/art, repeated to at least 64 MiB.
const std::string &ArtBytes() {
    static const std::string Art = [] {
        std::vector<fs::path> Roots;
        if (const char *Env = std::getenv("TARVEX_CORPUS"))
            Roots.emplace_back(Env);
        Roots.emplace_back(fs::path(TARVEX_SOURCE_DIR) / "bench" / "art");
        std::string One;
        for (const fs::path &Root : Roots) {
            if (!fs::is_directory(Root))
                continue;
            for (const auto &Entry : fs::recursive_directory_iterator(Root)) {
                if (Entry.is_regular_file() && Entry.path().extension() == ".ans")
                    One += ReadWhole(Entry.path());
            }
            if (!One.empty())
                break;
        }
        std::string All;
        All.reserve(ART_TARGET + One.size());
        while (All.size() < ART_TARGET)
            All += One;
        return All;
    }();
    return Art;
}

const std::string &PlainText() {
    static const std::string Text = [] {
        const std::string Line =
            "The quick brown fox jumps over the lazy dog, 0123456789 times (and more).\r\n";
        std::string All;
        while (All.size() < ART_TARGET)
            All += Line;
        return All;
    }();
    return Text;
}

const std::string &CursorHeavy() {
    static const std::string Moves = [] {
        std::string All;
        for (int I = 0; All.size() < ART_TARGET; ++I)
            All += "\x1b[" + std::to_string(I % 25 + 1) + ";" + std::to_string(I % 80 + 1) +
                   "Hx\x1b[2C\x1b[A\x1b[K";
        return All;
    }();
    return Moves;
}

void Walk(benchmark::State &State, const std::string &Bytes) {
    const std::span<const std::uint8_t> Data(reinterpret_cast<const std::uint8_t *>(Bytes.data()),
                                             Bytes.size());
    for (auto _ : State) {
        TTerminal Terminal;
        WalkBytes(Terminal, Data);
        benchmark::DoNotOptimize(Terminal.ScreenBuffer.Cells.data());
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) *
                            static_cast<std::int64_t>(Bytes.size()));
}

void BM_WalkPlainText(benchmark::State &State) { Walk(State, PlainText()); }
void BM_WalkArt(benchmark::State &State) { Walk(State, ArtBytes()); }
void BM_WalkCursorMoves(benchmark::State &State) { Walk(State, CursorHeavy()); }

// A busy screen: the end of the art.
TTerminal ScreenOfArt() {
    const std::string &Art = ArtBytes();
    const std::size_t Tail = std::min<std::size_t>(Art.size(), 1 << 20);
    TTerminal Terminal;
    WalkBytes(Terminal,
              std::span<const std::uint8_t>(
                  reinterpret_cast<const std::uint8_t *>(Art.data() + Art.size() - Tail), Tail));
    return Terminal;
}

void Paint(benchmark::State &State, bool WithFont) {
    const TTerminal Terminal = ScreenOfArt();
    TFont Font;
    if (WithFont) {
        Font.Loaded = true;
        for (std::size_t I = 0; I < Font.Data.size(); ++I)
            Font.Data[I] = static_cast<std::uint8_t>(I * 37);
    }
    RgbImage Image(640, 400);
    for (auto _ : State) {
        PaintScreen(Terminal.ScreenBuffer, Image, Font);
        benchmark::DoNotOptimize(Image.Samples.data());
    }
}
void BM_PaintNoFont(benchmark::State &State) { Paint(State, false); }
void BM_PaintWithFont(benchmark::State &State) { Paint(State, true); }

void BM_EncodePng(benchmark::State &State) {
    RgbImage Image(640, 400);
    PaintScreen(ScreenOfArt().ScreenBuffer, Image, TFont{});
    std::vector<std::uint8_t> File;
    for (auto _ : State) {
        File.clear();
        EncodePng(Image, [&File](const std::uint8_t *Data, std::size_t Size) {
            File.insert(File.end(), Data, Data + Size);
        });
        benchmark::DoNotOptimize(File.data());
    }
    State.SetBytesProcessed(static_cast<std::int64_t>(State.iterations()) *
                            static_cast<std::int64_t>(Image.Height) *
                            static_cast<std::int64_t>(Image.RowBytes() + 1));
}

} // namespace

BENCHMARK(BM_WalkPlainText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkArt)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkCursorMoves)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintNoFont)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PaintWithFont)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EncodePng)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
