// tarvex-play --gif and --apng on the command line: their options, their
// outputs, what they refuse to replace, and their memory on long inputs.
// What the frames show is proved by anim_proof.py.
#include "run_program.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr long MEMORY_LIMIT_KIB = 24 * 1024;
#if defined(__SANITIZE_ADDRESS__)
constexpr bool SANITIZED = true; // shadow memory makes any limit meaningless
#else
constexpr bool SANITIZED = false;
#endif

std::string ReadAll(const fs::path &Path) {
    std::ifstream File(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path &Path, const std::string &Bytes) {
    std::ofstream(Path, std::ios::binary) << Bytes;
}

class PlayAnimation : public ::testing::Test {
  protected:
    fs::path Dir;
    void SetUp() override {
        const auto *Info = ::testing::UnitTest::GetInstance()->current_test_info();
        Dir = fs::temp_directory_path() /
              ("tarvex-play-" + std::to_string(::getpid()) + "-" + Info->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir);
        WriteAll(Dir / "art.ans", "\x1b[1;44mart\x1b[0m\r\n\x1b[12;30H\xdb\xdc");
    }
    void TearDown() override { fs::remove_all(Dir); }
    TRunResult Play(const std::vector<std::string> &Args, const TRunOptions &Options = {}) {
        std::vector<std::string> All = {"--no-font"};
        All.insert(All.end(), Args.begin(), Args.end());
        return RunProgram(TARVEX_PLAY_BINARY, All, Dir, Options);
    }
};

bool IsApng(const std::string &File) {
    return File.starts_with("\x89PNG\r\n\x1a\n") && File.size() > 41 &&
           File.substr(37, 4) == "acTL";
}

} // namespace

TEST_F(PlayAnimation, MistakenOptionsAreRefusedWithStatus2) {
    const std::vector<std::vector<std::string>> Mistakes = {
        {"--gif", "--bps", "299", "art.ans"},    {"--gif", "--bps=921601", "art.ans"},
        {"--apng", "--delay", "1", "art.ans"},   {"--apng", "--delay=65536", "art.ans"},
        {"--gif", "--hold", "601", "art.ans"},   {"--gif", "--bps", "96OO", "art.ans"},
        {"--gif", "--max-length=-1", "art.ans"}, {"--gif", "--bps=", "art.ans"},
        {"--gif", "--once=1", "art.ans"},        {"--whole", "--bps", "9600", "art.ans"},
        {"--gif", "--apng", "art.ans"},          {"--gif", "--delay"},
    };
    for (const auto &Args : Mistakes) {
        const TRunResult Result = Play(Args);
        EXPECT_EQ(Result.Status, 2) << Args[1];
        EXPECT_TRUE(Result.Err.starts_with("tarvex-play: ")) << Result.Err;
        EXPECT_EQ(Result.Out, "");
    }
    const TRunResult Result = Play({"--gif", "--bps", "299", "art.ans"});
    EXPECT_EQ(Result.Err, "tarvex-play: option '--bps' takes a whole number from 300 to 921600, "
                          "not '299' (see tarvex-play --help)\n");
    EXPECT_FALSE(fs::exists(Dir / "art.gif"));
}

TEST_F(PlayAnimation, WritesBesideTheInputAndReplacesOnlyItsOwnKind) {
    const TRunResult Gif = Play({"--gif", "--bps=300", "--delay", "2", "--hold=0", "--once",
                                 "--max-length", "0", "art.ans"});
    EXPECT_EQ(Gif.Status, 0);
    EXPECT_EQ(Gif.Err, "");
    EXPECT_TRUE(ReadAll(Dir / "art.gif").starts_with("GIF89a"));
    EXPECT_EQ(Play({"--apng", "art.ans"}).Status, 0);
    EXPECT_TRUE(IsApng(ReadAll(Dir / "art.anim.png")));
    // Again: each replaces its own kind, the same bytes.
    const std::string Animated = ReadAll(Dir / "art.anim.png");
    EXPECT_EQ(Play({"--apng", "art.ans"}).Status, 0);
    EXPECT_EQ(ReadAll(Dir / "art.anim.png"), Animated);
    EXPECT_EQ(Play({"--gif", "-o", "art.gif", "art.ans"}).Status, 0);
    // To standard output, the same bytes as to a file.
    const std::string Gif2 = ReadAll(Dir / "art.gif");
    EXPECT_EQ(Play({"--gif", "-o", "-", "art.ans"}).Out, Gif2);

    // Anything else stays: text, a still PNG, the other format.
    WriteAll(Dir / "notes.gif", "not a picture");
    EXPECT_EQ(Play({"--gif", "-o", "notes.gif", "art.ans"}).Err,
              "tarvex-play: notes.gif: existing file is not a GIF; not replaced\n");
    EXPECT_EQ(ReadAll(Dir / "notes.gif"), "not a picture");
    ASSERT_EQ(Play({"--whole", "art.ans"}).Status, 0);
    const std::string Still = ReadAll(Dir / "art.whole.png");
    const TRunResult Refused = Play({"--apng", "-o", "art.whole.png", "art.ans"});
    EXPECT_EQ(Refused.Status, 1);
    EXPECT_EQ(Refused.Err,
              "tarvex-play: art.whole.png: existing file is not a PNG animation; not replaced\n");
    EXPECT_EQ(ReadAll(Dir / "art.whole.png"), Still);
    EXPECT_EQ(Play({"--apng", "-o", "art.gif", "art.ans"}).Status, 1);
    EXPECT_EQ(Play({"--gif", "-o", "art.anim.png", "art.ans"}).Status, 1);
}

TEST_F(PlayAnimation, LongInputsInConstantMemory) {
    // 256 MiB of scrolling text through a pipe (the length limit cuts it), and
    // a sparse file of that size: frames are streamed, the animated PNG's
    // through a temporary file.
    const std::string Size = std::to_string(SANITIZED ? 8 << 20 : 256 << 20);
    for (const std::string Mode : {"--gif", "--apng"}) {
        const TRunResult Piped =
            RunProgram("/bin/sh",
                       {"-c",
                        "yes 'a line of text that scrolls by' | head -c " + Size +
                            " | \"$0\" --no-font " + Mode + " --max-length 20 -o /dev/null -",
                        TARVEX_PLAY_BINARY},
                       Dir);
        EXPECT_EQ(Piped.Status, 0) << Piped.Err;
        EXPECT_EQ(Piped.Err, "tarvex-play: standard input: playback cut at 20 s (--max-length); "
                             "the last frame shows the final picture\n");
        fs::resize_file(Dir / "art.ans", std::stoull(Size));
        const TRunResult Sparse = Play({Mode, "-o", "/dev/null", "art.ans"});
        EXPECT_EQ(Sparse.Status, 0) << Sparse.Err;
        if (!SANITIZED) {
            EXPECT_LE(Piped.MaxRssKiB, MEMORY_LIMIT_KIB);
            EXPECT_LE(Sparse.MaxRssKiB, MEMORY_LIMIT_KIB);
        }
    }
}
