// Input arrives in blocks: wherever the blocks split it, and whatever trailing
// SAUCE record it carries, the screen must be the one that playing the
// whole input at once gives.
#include "screen_shot.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using TBytes = std::vector<std::uint8_t>;

// The bundled art and the generated inputs (a CTest fixture makes those).
std::vector<std::pair<std::string, TBytes>> Inputs() {
    std::vector<std::pair<std::string, TBytes>> All;
    for (const fs::path &Folder : {fs::path(TARVEX_SOURCE_DIR) / "examples",
                                  fs::path(TARVEX_SOURCE_DIR) / "bench" / "art",
                                  fs::path(TARVEX_GENERATED_INPUTS)}) {
        EXPECT_TRUE(fs::is_directory(Folder)) << Folder;
        for (const auto &Entry : fs::directory_iterator(Folder))
            if (Entry.path().extension() == ".ans") {
                std::ifstream In(Entry.path(), std::ios::binary);
                All.emplace_back(Entry.path().filename().string(),
                                 TBytes(std::istreambuf_iterator<char>(In), {}));
            }
    }
    EXPECT_GT(All.size(), 20u);
    return All;
}

const std::vector<std::pair<std::string, TBytes>> &AllInputs() {
    static const auto All = Inputs();
    return All;
}

// Cuts Input into pieces of the sizes Next gives and hands each to Take in a
// heap block of its own size, so a read past a piece shows under ASan.
template <typename TNext, typename TTake>
void InPieces(std::span<const std::uint8_t> Input, TNext Next, TTake Take) {
    for (std::size_t At = 0; At < Input.size();) {
        const std::size_t Piece = std::min<std::size_t>(Next(), Input.size() - At);
        const TBytes Exact(Input.begin() + static_cast<long>(At),
                           Input.begin() + static_cast<long>(At + Piece));
        Take(std::span<const std::uint8_t>(Exact));
        At += Piece;
    }
}

// The screen the program leaves: the input at once, without its SAUCE record.
TScreenShot PlayedAtOnce(std::span<const std::uint8_t> Input) {
    InitScreenBuffer(DEFAULT_WIDTH, DEFAULT_HEIGHT);
    const TBytes Exact(Input.begin(), Input.begin() + static_cast<long>(PlayableLength(Input)));
    TWalkState Walk;
    WalkBytes(Walk, Exact);
    return TakeScreenShot();
}

template <typename TNext> TScreenShot WalkedInPieces(std::span<const std::uint8_t> Input, TNext Next) {
    InitScreenBuffer(DEFAULT_WIDTH, DEFAULT_HEIGHT);
    TWalkState Walk;
    InPieces(Input.first(PlayableLength(Input)), Next,
             [&Walk](std::span<const std::uint8_t> Piece) { WalkBytes(Walk, Piece); });
    return TakeScreenShot();
}

template <typename TNext> TScreenShot FedInPieces(std::span<const std::uint8_t> Input, TNext Next) {
    InitScreenBuffer(DEFAULT_WIDTH, DEFAULT_HEIGHT);
    TInputFeed Feed;
    InPieces(Input, Next, [&Feed](std::span<const std::uint8_t> Piece) { Feed.Feed(Piece); });
    Feed.Finish();
    return TakeScreenShot();
}

// Input followed by the end-of-file byte, Comments comment lines and a SAUCE
// record that announces them.
TBytes WithSauce(const TBytes &Input, std::uint8_t Comments) {
    TBytes Out = Input;
    Out.push_back(26);
    if (Comments > 0) {
        const std::string Block = "COMNT" + std::string(64u * Comments, 'c');
        Out.insert(Out.end(), Block.begin(), Block.end());
    }
    std::string Record = "SAUCE00" + std::string(121, 'x');
    Record[104] = static_cast<char>(Comments);
    Out.insert(Out.end(), Record.begin(), Record.end());
    return Out;
}

TEST(Blocks, EveryInputWalksTheSameInPiecesOfAnySize) {
    std::mt19937 Random(1209);
    for (const auto &[Name, Input] : AllInputs()) {
        const TScreenShot Once = PlayedAtOnce(Input);
        for (std::size_t Size = 1; Size <= 64; ++Size)
            ASSERT_EQ(WalkedInPieces(Input, [Size] { return Size; }), Once)
                << Name << " in pieces of " << Size;
        ASSERT_EQ(WalkedInPieces(Input, [&Random] { return Random() % 4096 + 1; }), Once) << Name;
    }
}

TEST(Blocks, FeedNeverPlaysATrailingSauceRecord) {
    std::mt19937 Random(437);
    for (const auto &[Name, Art] : AllInputs()) {
        // Long enough that bytes are played before the end is known.
        TBytes Long;
        while (Long.size() <= SAUCE_HOLD)
        while (Long.size() <= SAUCE_HOLD) {
            Long.insert(Long.end(), Art.begin(), Art.end());
            Long.push_back('\n');
        }
        for (const TBytes &Input : {Art, WithSauce(Art, 0), WithSauce(Art, 3), Long,
                                    WithSauce(Long, 1), WithSauce(Long, 255)}) {
            const TScreenShot Once = PlayedAtOnce(Input);
            for (const std::size_t Size : {std::size_t{1}, std::size_t{7}, std::size_t{64},
                                           Input.size() + 1})
                ASSERT_EQ(FedInPieces(Input, [Size] { return Size; }), Once)
                    << Name << " (" << Input.size() << " bytes) in pieces of " << Size;
            ASSERT_EQ(FedInPieces(Input, [&Random] { return Random() % 40000 + 1; }), Once) << Name;
        }
    }
}

} // namespace
