// Runs the built program in scratch directories and checks its reports,
// exit statuses and the files it leaves behind.
#include "app/driver.h"
#include "app/reading.h"
#include "cli_support.h"
#include "png_facts.h"

namespace {

const fs::path EXAMPLES = TARVEX_EXAMPLES;

class Cli : public ScratchDirTest {
  protected:
    std::string Art() { // a small input in the scratch directory
        WriteFile(Dir / "art.ans", "\x1b[1;31mHi\r\n");
        return "art.ans";
    }
    // The output is refused before the font is looked up.
    void ExpectRefused(const TLines &Args, const std::string &Reason) {
        const std::string &Output = Args.size() > 1 ? Args[1] : Args[0];
        ExpectRun(Args,
                  WriteFailure(Args[0], Output,
                               "Unable to create file \"" + Output + "\": " + Reason, {}),
                  1);
    }
};

TEST(DefaultOutputName, ReplacesTheExtension) {
    const std::vector<std::pair<std::string, std::string>> Cases = {
        {"art.ans", "art.png"},
        {"ART.ANS", "ART.png"},
        {"pic.tar.ans", "pic.tar.png"},
        {"art.", "art.png"},
        {"art", "art.png"},
        {"dir.d/art", "dir.d/art.png"},
        {".ans", ".ans.png"},
        {"dir/.ans", "dir/.ans.png"},
        {"C:art", "C:art.png"},
        {"", ".png"},
        {"dir\\.ans", "dir\\.ans.png"},
        {"a.b\\c", "a.b\\c.png"},
        {"C:.ans", "C:.png"},
    };
    for (const auto &[Input, Output] : Cases)
        EXPECT_EQ(DefaultOutputName(Input), Output) << Input;
}

TEST_F(Cli, NoArgumentPrintsUsage) {
    ExpectRun({}, {"Usage: tarvex.exe <input.ans> [output.png]"}, 0);
}

TEST_F(Cli, MissingInputDirectoryOrEmptyPathIsNotFound) {
    fs::create_directory(Dir / "folder.ans");
    for (const std::string Input : {"absent.ans", "folder.ans", ""})
        ExpectRun({Input}, NotFound(Input), 1);
    EXPECT_FALSE(fs::exists(Dir / "absent.png"));
    EXPECT_FALSE(fs::exists(Dir / "folder.png"));
}

// Each example's picture is pinned by the Adler-32 of its scanlines: the
// last four bytes of the zlib stream, the same whatever zlib release.
TEST_F(Cli, ConvertsEachExampleToItsPicture) {
    const bool HavePngcheck = std::system("command -v pngcheck > /dev/null") == 0;
    for (const auto &[Name, Adler] : std::vector<std::pair<std::string, std::uint32_t>>{
             {"blocks", 0xbf93a3c5}, {"colours", 0xbfcca637}, {"cursor", 0x0122bd58}}) {
        const std::string Input = (EXAMPLES / (Name + ".ans")).string();
        const std::string Output = (Dir / (Name + ".png")).string();
        ExpectRun({Input, Output}, Converted(Input, Output), 0);
        const std::string Png = ReadFile(Output);
        ASSERT_GT(Png.size(), FILE_OVERHEAD) << Name;
        std::uint32_t Found = 0;
        for (const char Byte : Png.substr(Png.size() - 20, 4))
            Found = Found << 8 | static_cast<std::uint8_t>(Byte);
        EXPECT_EQ(Found, Adler) << Name;
        if (HavePngcheck) {
            EXPECT_EQ(std::system(("pngcheck -q '" + Output + "' > /dev/null").c_str()), 0);
        }
    }
}

TEST_F(Cli, DefaultOutputBesideTheInputAndExtraArgumentsIgnored) {
    const std::string Input = Art();
    WriteFile(Dir / "cp437.fnt", std::string(4096, '\x18'));
    ExpectRun({Input}, Converted("art.ans", "art.png", FONT_LOADED), 0);
    const std::string First = ReadFile(Dir / "art.png");
    ExpectRun({Input, "other.png", "third", "fourth"},
              Converted("art.ans", "other.png", FONT_LOADED), 0);
    EXPECT_EQ(ReadFile(Dir / "other.png"), First);
    TRunOptions NoStdin; // the files opened may get descriptor 0
    NoStdin.CloseStdin = true;
    Expect(Run({Input, "closed.png"}, NoStdin), Converted("art.ans", "closed.png", FONT_LOADED), 0);
    EXPECT_FALSE(fs::exists(Dir / "third"));
    WriteFile(Dir / "empty.ans", ""); // an empty input is a blank screen
    ExpectRun({"empty.ans"}, Converted("empty.ans", "empty.png", FONT_LOADED), 0);
    EXPECT_TRUE(fs::exists(Dir / "empty.png"));
}

TEST_F(Cli, OutputThatCannotBeCreated) {
    const std::string Input = Art();
    fs::create_directory(Dir / "taken.png");
    for (const auto &[Output, Reason] : std::vector<std::pair<std::string, std::string>>{
             {"no/such/dir/out.png", "No such file or directory"},
             {"taken.png", "Is a directory"}}) {
        ExpectRun(
            {Input, Output},
            WriteFailure(Input, Output, "Unable to create file \"" + Output + "\": " + Reason), 1);
    }
    EXPECT_FALSE(fs::exists(Dir / "no"));
}

TEST_F(Cli, NeverWritesOverTheInput) {
    const std::string Bytes = "\x1b[32mnot really a png\r\n";
    WriteFile(Dir / "art.png", Bytes);
    fs::create_symlink("art.png", Dir / "link.png");
    fs::create_hard_link(Dir / "art.png", Dir / "hard.png");
    for (const TLines &Args :
         {TLines{"art.png"}, TLines{"art.png", "art.png"}, TLines{"art.png", "./art.png"},
          TLines{"art.png", "link.png"}, TLines{"link.png", "hard.png"}}) {
        ExpectRefused(Args, "Output would overwrite the input file");
        EXPECT_EQ(ReadFile(Dir / "art.png"), Bytes);
    }
}

TEST_F(Cli, NeverWritesOverAFileThatIsNoPng) {
    const std::string Input = Art();
    const std::string Signature(PNG_SIGNATURE.begin(), PNG_SIGNATURE.end());
    // "tarvex *.ans": the second piece of art, as a file or through a link.
    for (const std::string &Kept : {std::string("\x1b[0mart"), std::string("x"),
                                    Signature.substr(0, 7), Signature.substr(0, 7) + "!rest"}) {
        WriteFile(Dir / "second.ans", Kept);
        ExpectRefused({Input, "second.ans"}, "Existing file is not a PNG picture");
        EXPECT_EQ(ReadFile(Dir / "second.ans"), Kept);
    }
    fs::create_symlink("second.ans", Dir / "link.png");
    ExpectRefused({Input, "link.png"}, "Existing file is not a PNG picture");
    // Empty files and PNGs, also partial ones, are replaced; devices written.
    for (const std::string &Replaced : {std::string(), Signature, Signature + "partial"}) {
        WriteFile(Dir / "old.png", Replaced);
        ExpectRun({Input, "old.png"}, Converted(Input, "old.png"), 0);
        EXPECT_EQ(ReadFile(Dir / "old.png").substr(0, 8), Signature);
        EXPECT_GT(ReadFile(Dir / "old.png").size(), FILE_OVERHEAD);
    }
    ExpectRun({Input, "/dev/null"}, Converted(Input, "/dev/null"), 0);
}

TEST_F(Cli, HugeInputIsRefusedBeforeReading) {
    for (const std::uintmax_t Size : {std::uintmax_t{1} << 31, (std::uintmax_t{1} << 32) + 3}) {
        { std::ofstream Touch(Dir / "big.ans"); }
        fs::resize_file(Dir / "big.ans", Size);
        ExpectRun({"big.ans"}, ReadFailure("big.ans", "Range check error"), 1);
        EXPECT_FALSE(fs::exists(Dir / "big.png"));
    }
}

TEST_F(Cli, ShortReadsAreErrorsForInputAndFont) {
    // A regular file whose size reads 4096 while it holds a few bytes.
    const fs::path Liar = "/sys/devices/system/cpu/online";
    if (!fs::exists(Liar) || fs::file_size(Liar) <= ReadFile(Liar).size())
        GTEST_SKIP() << "no file that overstates its size here";
    fs::create_symlink(Liar, Dir / "liar.ans");
    ExpectRun({"liar.ans"},
              ReadFailure("liar.ans", "Unable to read file \"liar.ans\": File is shorter "
                                      "than its reported size"),
              1);
    fs::create_symlink(Liar, Dir / "cp437.fnt");
    ExpectRun({Art()},
              Converted("art.ans", "art.png",
                        FontUnreadable("Unable to read file \"cp437.fnt\": File is shorter "
                                       "than its reported size")),
              0);
}

TEST_F(Cli, DeviceThatFailsToReadIsAReadFailure) {
    if (::access("/dev/net/tun", R_OK) != 0)
        GTEST_SKIP() << "no /dev/net/tun to read from";
    const TRunResult Result = Run({"/dev/net/tun", "out.png"});
    EXPECT_EQ(Result.Status, 1);
    EXPECT_NE(Result.Out.find("Technical details: Unable to read file \"/dev/net/tun\": "),
              std::string::npos);
}

TEST_F(Cli, PipesAreReadToTheirEnd) {
    // Several blocks' worth, a sequence across the first block's end, and a
    // SAUCE record that is not painted; the pipe delivers odd-sized pieces.
    std::string Bytes;
    for (int Line = 0; Bytes.size() < 3 * INPUT_BLOCK; ++Line) {
        if (Bytes.size() < INPUT_BLOCK && Bytes.size() + 30 > INPUT_BLOCK)
            Bytes += std::string(INPUT_BLOCK - 3 - Bytes.size(), ' ') + "\x1b[1;32m";
        Bytes +=
            "\x1b[3" + std::to_string(Line % 8) + "m\xdb line " + std::to_string(Line) + "\r\n";
    }
    WriteFile(Dir / "art.ans", Bytes + "\x1a" + "SAUCE00" + std::string(121, '\0'));
    WriteFile(Dir / "plain.ans", Bytes);
    Expect(RunShell("dd if=art.ans bs=4099 status=none | \"$@\" /dev/stdin piped.png"),
           Converted("/dev/stdin", "piped.png"), 0);
    ExpectRun({"plain.ans", "plain.png"}, Converted("plain.ans", "plain.png"), 0);
    EXPECT_EQ(ReadFile(Dir / "piped.png"), ReadFile(Dir / "plain.png"));
    ExpectRun({"/dev/null", "/dev/null"}, Converted("/dev/null", "/dev/null"), 0);
}

TEST_F(Cli, NonBlockingStandardOutputWaitsInsteadOfFailing) {
    TRunOptions Options;
    Options.FullNonBlockingPipe = true;
    Expect(Run({Art()}, Options), Converted("art.ans", "art.png"), 0);
    // A line longer than the pipe takes at once goes in parts, none repeated.
    const std::string Long(10000, 'x');
    Expect(Run({Long}, Options), NotFound(Long), 1);
}

TEST_F(Cli, BrokenStandardOutputEscapesWithStatus217) {
    const std::string Input = Art();
    const std::string Report = "An unhandled exception occurred at $0000000000000000:\n"
                               "TOutputError: Unable to write to standard output: ";
    TRunOptions Full;
    Full.StdoutPath = "/dev/full";
    TRunOptions Closed;
    Closed.CloseStdout = true;
    TRunOptions Broken;
    Broken.BrokenPipe = true;
    for (const auto &[Options, Reason] :
         std::vector<std::pair<TRunOptions, std::string>>{{Full, "No space left on device"},
                                                          {Closed, "Bad file descriptor"},
                                                          {Broken, "Broken pipe"}}) {
        const TRunResult Result = Run({Input}, Options);
        EXPECT_FALSE(Result.Signaled);
        EXPECT_EQ(Result.Status, 217);
        EXPECT_EQ(Result.Err, Report + Reason + "\n\n");
        EXPECT_FALSE(fs::exists(Dir / "art.png")); // stopped at the first line
    }
}

} // namespace
