// Size and memory limits of the built program. Slow by nature (each run
// reads hundreds of MiB or more), so CTest labels these "slow".
#include "app/reading.h"
#include "cli_support.h"

namespace {

constexpr long MEMORY_LIMIT_KIB = 24 * 1024;
#if defined(__SANITIZE_ADDRESS__)
constexpr bool SANITIZED = true; // shadow memory makes any limit meaningless
#else
constexpr bool SANITIZED = false;
#endif
// Large enough to show constant memory; under the sanitizers, which cannot
// show it, just large enough for many blocks.
constexpr std::uintmax_t LARGE = std::uintmax_t{SANITIZED ? 16 : 256} << 20;

class Limits : public ScratchDirTest {
  protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        WriteFile(Dir / "art.ans", "\x1b[1;44mart\x1b[0m\r\n\x1b[12;30H\xdb\xdc");
    }
    static void ExpectSmall(const TRunResult &Result) {
        if (!SANITIZED) {
            EXPECT_LE(Result.MaxRssKiB, MEMORY_LIMIT_KIB);
        }
    }
};

TEST_F(Limits, LargeInputsConvertInConstantMemory) {
    // The art, and a last word that only a reader that reaches the end paints.
    const std::string Tail = "\x1b[1;1Hthe end";
    WriteFile(Dir / "whole.ans", ReadFile(Dir / "art.ans") + Tail);
    ExpectRun({"whole.ans"}, Converted("whole.ans", "whole.png"), 0);
    const std::string Picture = ReadFile(Dir / "whole.png");

    // The same with a sparse stretch of NUL bytes between, and a SAUCE record.
    fs::copy_file(Dir / "art.ans", Dir / "sparse.ans");
    fs::resize_file(Dir / "sparse.ans", LARGE);
    std::ofstream(Dir / "sparse.ans", std::ios::binary | std::ios::app)
        << Tail << "\x1a"
        << "SAUCE00" + std::string(121, 'x');
    TRunResult Result = Run({"sparse.ans"});
    Expect(Result, Converted("sparse.ans", "sparse.png"), 0);
    ExpectSmall(Result);
    EXPECT_EQ(ReadFile(Dir / "sparse.png"), Picture);

    // Through a pipe; then a sequence that cannot act, open for 256 MiB (from
    // the middle and from the last byte of a block), and one that may act,
    // open as long: neither keeps its bytes, and neither paints anything.
    WriteFile(Dir / "empty.ans", "");
    ExpectRun({"empty.ans"}, Converted("empty.ans", "empty.png"), 0);
    const std::string Blank = ReadFile(Dir / "empty.png");
    const std::string Zeros = "; head -c " + std::to_string(LARGE) + " /dev/zero";
    for (const auto &[Input, Expected] : std::vector<std::pair<std::string, std::string>>{
             {"cat art.ans" + Zeros + "; cat whole.ans | tail -c " + std::to_string(Tail.size()),
              Picture},
             {"printf '\\033('" + Zeros, Blank},
             {"head -c " + std::to_string(INPUT_BLOCK - 1) + " /dev/zero; printf '\\033('" + Zeros,
              Blank},
             {"printf '\\033[1;'" + Zeros + " | tr '\\0' 7", Blank}}) {
        Result = RunShell("{ " + Input + "; } | \"$@\" /dev/stdin piped.png");
        Expect(Result, Converted("/dev/stdin", "piped.png"), 0);
        ExpectSmall(Result);
        EXPECT_EQ(ReadFile(Dir / "piped.png"), Expected) << Input;
    }
}

// The whole piece of a large input that scrolls all the way (the kept rows
// in random colours, so the compressed picture is large), and of /dev/zero:
// the same memory limit.
TEST_F(Limits, WholePieceInConstantMemory) {
    std::string Art;
    for (unsigned I = 0; Art.size() < (1u << 20); I = I * 1103515245u + 12345u)
        Art += "\x1b[" + std::to_string(I >> 16 & 1) + ";3" + std::to_string(I >> 17 & 7) + ";4" +
               std::to_string(I >> 20 & 7) + "m" + static_cast<char>(33 + (I >> 23) % 200);
    const std::string Script = "i=0; while [ $i -lt " + std::to_string(LARGE >> 20) +
                               " ]; do cat art.ans; i=$((i+1)); done | \"$@\" --whole "
                               "--no-font -o whole.png -";
    WriteFile(Dir / "art.ans", Art);
    const std::vector<std::string> Play = {TARVEX_PLAY_BINARY};
    TRunResult Result = RunProgram("/bin/sh", Join({{"-c", Script, "sh"}, Play}), Dir);
    EXPECT_EQ(Result.Status, 0);
    EXPECT_TRUE(Result.Err.ends_with("scrolled rows left out (the first 2000 are kept)\n"));
    EXPECT_GT(fs::file_size(Dir / "whole.png"), 3u << 20);
    ExpectSmall(Result);
    Result = RunProgram(TARVEX_PLAY_BINARY, {"--whole", "-o", "zero.png", "/dev/zero"}, Dir);
    EXPECT_EQ(Result.Err, "tarvex-play: cp437.fnt: No such file or directory; the fallback "
                          "shapes are drawn\ntarvex-play: /dev/zero: input of 2 GiB or more "
                          "refused\n");
    EXPECT_EQ(Result.Status, 1);
    ExpectSmall(Result);
    EXPECT_FALSE(fs::exists(Dir / "zero.png"));
    EXPECT_FALSE(fs::exists(Dir / "zero.png.tmp"));
}

// Scrolling text through a pipe (the length limit cuts it) and a sparse
// file, as GIF and APNG: frames are streamed, the APNG's through a
// temporary file.
TEST_F(Limits, AnimationsInConstantMemory) {
    const std::string Size = std::to_string(LARGE);
    for (const std::string Mode : {"--gif", "--apng"}) {
        const TRunResult Piped = RunProgram(
            "/bin/sh",
            {"-c",
             "yes 'a line of text that scrolls by' | head -c " + Size + " | \"$0\" --no-font " +
                 Mode + " --max-length 20 -o /dev/null -",
             TARVEX_PLAY_BINARY},
            Dir);
        EXPECT_EQ(Piped.Status, 0) << Piped.Err;
        EXPECT_EQ(Piped.Err, "tarvex-play: standard input: playback cut at 20 s (--max-length); "
                             "the last frame shows the final picture\n");
        ExpectSmall(Piped);
        fs::resize_file(Dir / "art.ans", LARGE);
        const TRunResult Sparse = RunProgram(
            TARVEX_PLAY_BINARY, {"--no-font", Mode, "-o", "/dev/null", "art.ans"}, Dir);
        EXPECT_EQ(Sparse.Status, 0) << Sparse.Err;
        ExpectSmall(Sparse);
    }
}

TEST_F(Limits, InputsStopJustBelow2GiB) {
#if defined(TARVEX_QUICK_TESTS)
    GTEST_SKIP() << "reads 4 GiB: left to the release and sanitizer builds";
#endif
    fs::copy_file(Dir / "art.ans", Dir / "largest.ans");
    fs::resize_file(Dir / "largest.ans", (std::uintmax_t{1} << 31) - 1);
    Expect(Run({"largest.ans"}), Converted("largest.ans", "largest.png"), 0);
    // A pipe has no size to check first: it is refused on reaching the limit.
    const TRunResult Result = RunShell("head -c 2147483648 /dev/zero | \"$@\" /dev/stdin big.png");
    Expect(Result, ReadFailure("/dev/stdin", "Range check error"), 1);
    ExpectSmall(Result);
    EXPECT_FALSE(fs::exists(Dir / "big.png"));
}

} // namespace
