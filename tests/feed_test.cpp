// Input arrives in blocks: wherever the blocks split it, and whatever trailing
// SAUCE record it carries, the screen must be the one that playing the
// whole input at once gives.
#include "app/reading.h"
#include "feed.h"
#include "inputs.h"

#include <random>

namespace {

// The terminal the walk leaves, without a trailing SAUCE record.
template <typename TNext>
TTerminal WalkedInPieces(std::span<const std::uint8_t> Input, TNext Next) {
    TTerminal Terminal;
    InPieces(Input.first(PlayableLength(Input)), Next,
             [&Terminal](std::span<const std::uint8_t> Piece) { WalkBytes(Terminal, Piece); });
    return Terminal;
}

template <typename TNext> TTerminal FedInPieces(std::span<const std::uint8_t> Input, TNext Next) {
    TTerminal Terminal;
    TInputFeed Feed(Terminal);
    InPieces(Input, Next, [&Feed](std::span<const std::uint8_t> Piece) { Feed.Feed(Piece); });
    Feed.Finish();
    return Terminal;
}

TEST(Sauce, PlayableLengthStopsBeforeTheRecord) {
    const TBytes Art = {'a', 'r', 't', '\r', '\n'};
    for (const TBytes &Input :
         {WithSauce(Art, 0), WithSauce(Art, 0, false), WithSauce(Art, 1), WithSauce(Art, 255), Art})
        EXPECT_EQ(PlayableLength(Input), Art.size()) << Input.size();
    // Nothing before the end-of-file byte or the comment block.
    EXPECT_EQ(PlayableLength(WithSauce({}, 0)), 0u);
    EXPECT_EQ(PlayableLength(WithSauce({}, 2, false)), 0u);
    // A record without comments keeps a "COMNT" that happens to precede it.
    TBytes Art5 = Art;
    Art5.insert(Art5.end(), {'C', 'O', 'M', 'N', 'T'});
    EXPECT_EQ(PlayableLength(WithSauce(Art5, 0, false)), Art5.size());
    TBytes Record = WithSauce({}, 0, false);
    Record[104] = 1; // a comment count without its block: only the record goes
    EXPECT_EQ(PlayableLength(Record), 0u);
    Record[0] = 'x'; // no record
    EXPECT_EQ(PlayableLength(Record), 128u);
    TBytes Damaged = WithSauce(Art, 2);
    Damaged[Art.size() + 5] = 'X'; // "COMNX": only the record goes
    EXPECT_EQ(PlayableLength(Damaged), Damaged.size() - 128);
    EXPECT_EQ(PlayableLength(TBytes(Record.begin() + 1, Record.begin() + 8)), 7u); // too short
    Record[0] = 'S';
    Record[6] = '1'; // "SAUCE01"
    EXPECT_EQ(PlayableLength(Record), 128u);
}

// Where a block ends inside a sequence: the pieces as they arrive, and the
// cell that the X lands in.
TEST(Blocks, SequencesSplitAtTheEdgeOfABlock) {
    const std::vector<std::pair<std::vector<std::string>, TCharInfo>> Cases = {
        {{"\x1b", "", "[31mX"}, {'X', 1, 0, false}}, // an empty block changes nothing
        {{"\x1b", "[3", "", "1mX"}, {'X', 1, 0, false}},
        {{"\x1b(", "[31mX"}, {'X', 7, 0, false}}, // "(" cannot act: all of it is skipped
        {{"\x1b", "(", "[31mX"}, {'X', 7, 0, false}},
        {{"\x1b[3", "\x1b[32mX"}, {'X', 2, 0, false}}, // ESC starts over
        {{"\x1b(", "\x1b[32mX"}, {'X', 2, 0, false}},
    };
    for (const auto &[Pieces, Want] : Cases) {
        TTerminal Terminal;
        for (const std::string &Piece : Pieces)
            WalkBytes(Terminal, TBytes(Piece.begin(), Piece.end()));
        EXPECT_EQ(Terminal.ScreenBuffer[0][0], Want) << Pieces[0] << "|" << Pieces[1];
    }
    // Runs of NUL bytes of any length, skipped a word at a time.
    for (std::size_t Nuls = 0; Nuls < 20; ++Nuls) {
        TTerminal Terminal;
        WalkBytes(Terminal, TBytes(Nuls, 0));
        const std::string Text = std::string(Nuls, '\0') + "AB";
        WalkBytes(Terminal, TBytes(Text.begin(), Text.end()));
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(Terminal.ScreenBuffer[0]), 8),
                  std::string("A\x07\0\0B\x07\0\0", 8))
            << Nuls;
    }
}

// Long enough for many blocks, and every byte counts: a letter after each
// colour change and no line ends, so one byte lost or repeated anywhere
// shifts the whole last screen.
TEST(Blocks, FeedKeepsEveryByteAcrossManyBlocks) {
    TBytes Input;
    for (int I = 0; Input.size() < 3 * (SAUCE_HOLD + INPUT_BLOCK); ++I) {
        const std::string Chunk = "\x1b[3" + std::to_string(I % 8) + "m" + char('A' + I % 26);
        Input.insert(Input.end(), Chunk.begin(), Chunk.end());
    }
    Input = WithSauce(Input, 3);
    const TTerminal Once = WalkedInPieces(Input, [&Input] { return Input.size(); });
    std::mt19937 Random(2026);
    for (const std::size_t Most : {std::size_t{7}, std::size_t{5000}, std::size_t{300000}})
        ASSERT_EQ(FedInPieces(Input, [&] { return Random() % Most + 1; }), Once) << Most;
}

TEST(Blocks, EveryInputWalksTheSameInPiecesOfAnySize) {
    std::mt19937 Random(1209);
    for (const auto &[Name, Input] : AllInputs()) {
        const TTerminal Once = WalkedInPieces(Input, [&Input] { return Input.size(); });
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
        while (Long.size() <= SAUCE_HOLD) {
            Long.insert(Long.end(), Art.begin(), Art.end());
            Long.push_back('\n');
        }
        for (const TBytes &Input : {Art, WithSauce(Art, 0), WithSauce(Art, 3), Long,
                                    WithSauce(Long, 1), WithSauce(Long, 255)}) {
            const TTerminal Once = WalkedInPieces(Input, [&Input] { return Input.size(); });
            for (const std::size_t Size :
                 {std::size_t{1}, std::size_t{7}, std::size_t{64}, Input.size() + 1})
                ASSERT_EQ(FedInPieces(Input, [Size] { return Size; }), Once)
                    << Name << " (" << Input.size() << " bytes) in pieces of " << Size;
            ASSERT_EQ(FedInPieces(Input, [&Random] { return Random() % 40000 + 1; }), Once) << Name;
        }
    }
}

} // namespace
