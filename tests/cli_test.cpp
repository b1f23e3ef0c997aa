// Runs the built program in scratch directories and checks its reports,
// exit statuses and the files it leaves behind.
#include "app/driver.h"
#include "cli_support.h"

namespace {

const fs::path EXAMPLES = TARVEX_EXAMPLES;

class Cli : public ScratchDirTest {
  protected:
    std::string Art() { // a small input in the scratch directory
        WriteFile(Dir / "art.ans", "\x1b[1;31mHi\r\n");
        return "art.ans";
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
    for (const std::string Input : {"absent.ans", "folder.ans", ""}) {
        ExpectRun({Input},
                  {"Parsing ANSI file: " + Input, "File not found: " + Input,
                   "Please check that the file exists and the path is correct.",
                   "Example usage: tarvex.exe myfile.ans"},
                  1);
    }
    EXPECT_FALSE(fs::exists(Dir / "absent.png"));
    EXPECT_FALSE(fs::exists(Dir / "folder.png"));
}

TEST_F(Cli, ConvertsEveryExampleToAValidPng) {
    const bool HavePngcheck = std::system("command -v pngcheck > /dev/null") == 0;
    for (const auto &Entry : fs::directory_iterator(EXAMPLES)) {
        if (Entry.path().extension() != ".ans")
            continue;
        const std::string Input = Entry.path().string();
        const std::string Output = (Dir / Entry.path().stem()).string() + ".png";
        ExpectRun({Input, Output},
                  {"Parsing ANSI file: " + Input, "Rendering to PNG: " + Output, NO_FONT_1,
                   NO_FONT_2, "Conversion completed successfully!"},
                  0);
        const std::string Png = ReadFile(Output);
        ASSERT_GT(Png.size(), 78u) << Input;
        EXPECT_EQ(Png.substr(0, 8), "\x89PNG\r\n\x1a\n");
        if (HavePngcheck) {
            EXPECT_EQ(std::system(("pngcheck -q '" + Output + "' > /dev/null").c_str()), 0)
                << Input;
        }
    }
    if (!HavePngcheck)
        GTEST_SKIP() << "pngcheck is not installed; its check was skipped";
}

TEST_F(Cli, DefaultOutputBesideTheInputAndExtraArgumentsIgnored) {
    const std::string Input = Art();
    WriteFile(Dir / "cp437.fnt", std::string(4096, '\x18'));
    ExpectRun({Input},
              {"Parsing ANSI file: art.ans", "Rendering to PNG: art.png",
               "Font data loaded successfully", "Conversion completed successfully!"},
              0);
    const std::string First = ReadFile(Dir / "art.png");
    ExpectRun({Input, "other.png", "third", "fourth"},
              {"Parsing ANSI file: art.ans", "Rendering to PNG: other.png",
               "Font data loaded successfully", "Conversion completed successfully!"},
              0);
    EXPECT_EQ(ReadFile(Dir / "other.png"), First);
    EXPECT_FALSE(fs::exists(Dir / "third"));
}

TEST_F(Cli, EmptyInputConvertsToABlankScreen) {
    WriteFile(Dir / "empty.ans", "");
    ExpectRun({"empty.ans"},
              {"Parsing ANSI file: empty.ans", "Rendering to PNG: empty.png", NO_FONT_1, NO_FONT_2,
               "Conversion completed successfully!"},
              0);
    EXPECT_TRUE(fs::exists(Dir / "empty.png"));
}

TEST_F(Cli, OutputThatCannotBeCreated) {
    const std::string Input = Art();
    fs::create_directory(Dir / "taken.png");
    struct TCase {
        std::string Output, Reason;
    };
    for (const TCase &Case : {TCase{"no/such/dir/out.png", "No such file or directory"},
                              TCase{"taken.png", "Is a directory"}}) {
        std::vector<std::string> Want = {"Parsing ANSI file: art.ans",
                                         "Rendering to PNG: " + Case.Output, NO_FONT_1, NO_FONT_2};
        for (const std::string &Line : WriteFailure(
                 Case.Output, "Unable to create file \"" + Case.Output + "\": " + Case.Reason))
            Want.push_back(Line);
        ExpectRun({Input, Case.Output}, Want, 1);
    }
    EXPECT_FALSE(fs::exists(Dir / "no"));
}

TEST_F(Cli, FullDiskIsAStreamWriteError) {
    const std::string Input = Art();
    std::vector<std::string> Want = {"Parsing ANSI file: art.ans", "Rendering to PNG: /dev/full",
                                     NO_FONT_1, NO_FONT_2};
    for (const std::string &Line : WriteFailure("/dev/full", "Stream write error"))
        Want.push_back(Line);
    ExpectRun({Input, "/dev/full"}, Want, 1);
}

TEST_F(Cli, NeverWritesOverTheInput) {
    const std::string Bytes = "\x1b[32mnot really a png\r\n";
    WriteFile(Dir / "art.png", Bytes);
    fs::create_symlink("art.png", Dir / "link.png");
    fs::create_hard_link(Dir / "art.png", Dir / "hard.png");
    struct TCase {
        std::vector<std::string> Args;
        std::string Output;
    };
    for (const TCase &Case :
         {TCase{{"art.png"}, "art.png"}, TCase{{"art.png", "art.png"}, "art.png"},
          TCase{{"art.png", "./art.png"}, "./art.png"}, TCase{{"art.png", "link.png"}, "link.png"},
          TCase{{"link.png", "hard.png"}, "hard.png"}}) {
        std::vector<std::string> Want = {"Parsing ANSI file: " + Case.Args[0],
                                         "Rendering to PNG: " + Case.Output};
        for (const std::string &Line :
             WriteFailure(Case.Output, "Unable to create file \"" + Case.Output +
                                           "\": Output would overwrite the input file"))
            Want.push_back(Line);
        ExpectRun(Case.Args, Want, 1);
        EXPECT_EQ(ReadFile(Dir / "art.png"), Bytes);
    }
}

TEST_F(Cli, HugeInputIsRefusedBeforeReading) {
    for (const std::uintmax_t Size : {std::uintmax_t{1} << 31, (std::uintmax_t{1} << 32) + 3}) {
        { std::ofstream Touch(Dir / "big.ans"); }
        fs::resize_file(Dir / "big.ans", Size);
        std::vector<std::string> Want = {"Parsing ANSI file: big.ans"};
        for (const std::string &Line : ReadFailure("big.ans", "Range check error"))
            Want.push_back(Line);
        ExpectRun({"big.ans"}, Want, 1);
        EXPECT_FALSE(fs::exists(Dir / "big.png"));
    }
}

TEST_F(Cli, ShortReadNamesTheFile) {
    // A regular file whose size reads 4096 while it holds a few bytes.
    const fs::path Liar = "/sys/devices/system/cpu/online";
    if (!fs::exists(Liar) || fs::file_size(Liar) <= ReadFile(Liar).size())
        GTEST_SKIP() << "no file that overstates its size here";
    fs::create_symlink(Liar, Dir / "liar.ans");
    std::vector<std::string> Want = {"Parsing ANSI file: liar.ans"};
    for (const std::string &Line :
         ReadFailure("liar.ans",
                     "Unable to read file \"liar.ans\": File is shorter than its reported size"))
        Want.push_back(Line);
    ExpectRun({"liar.ans"}, Want, 1);
}

TEST_F(Cli, StreamsAreReadToTheirEnd) {
    WriteFile(Dir / "art.ans", "\x1b[44mpiped\r\n");
    TRunOptions Options;
    Options.StdinPath = (Dir / "art.ans").string();
    const TRunResult FromStdin = Run({"/dev/stdin", "piped.png"}, Options);
    EXPECT_EQ(FromStdin.Status, 0) << FromStdin.Out;
    const TRunResult FromFile = Run({"art.ans", "file.png"});
    EXPECT_EQ(FromFile.Status, 0);
    EXPECT_EQ(ReadFile(Dir / "piped.png"), ReadFile(Dir / "file.png"));
    ExpectRun({"/dev/null", "/dev/null"},
              {"Parsing ANSI file: /dev/null", "Rendering to PNG: /dev/null", NO_FONT_1, NO_FONT_2,
               "Conversion completed successfully!"},
              0);
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
    struct TCase {
        TRunOptions Options;
        std::string Reason;
    };
    for (const TCase &Case : {TCase{Full, "No space left on device"},
                              TCase{Closed, "Bad file descriptor"}, TCase{Broken, "Broken pipe"}}) {
        const TRunResult Result = Run({Input}, Case.Options);
        EXPECT_FALSE(Result.Signaled);
        EXPECT_EQ(Result.Status, 217);
        EXPECT_EQ(Result.Err, Report + Case.Reason + "\n\n");
        EXPECT_FALSE(fs::exists(Dir / "art.png")); // stopped at the first line
    }
}

} // namespace
