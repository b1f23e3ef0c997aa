// tarvex-play run in scratch directories: its statuses, the one-line
// reports on standard error, and the files it writes, refuses and leaves.
#include "cli_support.h"
#include "png_facts.h"

namespace {

// This build's tarvex-play, or the one TARVEX_PLAY_UNDER_TEST names.
const std::vector<std::string> PLAY = ProgramCommand("TARVEX_PLAY_UNDER_TEST", TARVEX_PLAY_BINARY);

const std::string NO_FONT_NOTE =
    "tarvex-play: cp437.fnt: No such file or directory; the fallback shapes are drawn\n";

class Play : public ScratchDirTest {
  protected:
    TRunResult Play_(const TLines &Args, const TRunOptions &Options = {}) {
        return RunCommand(PLAY, Args, Options);
    }
    // The run's report lines on standard error and its status.
    void ExpectPlay(const TLines &Args, const std::string &Err, int Status) {
        const TRunResult Result = Play_(Args);
        EXPECT_EQ(Result.Err, Err);
        EXPECT_EQ(Result.Status, Status);
    }
    // A long piece: 2100 lines scroll 2076 rows off.
    void WriteLong(const std::string &Name) {
        std::string Text;
        for (int I = 0; I < 2100; ++I)
            Text += "\x1b[3" + std::to_string(I % 8) + "mline " + std::to_string(I) + "\r\n";
        WriteFile(Dir / Name, Text);
    }
    std::vector<std::string> Listing() {
        std::vector<std::string> Names;
        for (const auto &Entry : fs::directory_iterator(Dir))
            Names.push_back(Entry.path().filename().string());
        std::sort(Names.begin(), Names.end());
        return Names;
    }
};

std::string Range(const std::string &Option, const std::string &Bounds, const std::string &Given) {
    return "option '--" + Option + "' takes a whole number from " + Bounds + ", not '" + Given +
           "'";
}

// Mistaken command lines: status 2, one line, nothing written.
TEST_F(Play, MistakenCommandLines) {
    WriteFile(Dir / "a.ans", "a");
    const std::vector<std::pair<TLines, std::string>> Cases = {
        {{}, "no mode given (--whole, --gif or --apng)"},
        {{"a.ans"}, "no mode given (--whole, --gif or --apng)"},
        {{"--whole"}, "no input file given"},
        {{"--whole", "--bogus", "a.ans"}, "unrecognized option '--bogus'"},
        {{"--whole", "-x", "a.ans"}, "invalid option -- 'x'"},
        {{"--whole", "a.ans", "-o"}, "option requires an argument -- 'o'"},
        {{"--whole", "--font"}, "option '--font' requires an argument"},
        {{"--whole=yes", "a.ans"}, "option '--whole' doesn't allow an argument"},
        {{"--whole", "-o", "x.png", "a.ans", "a.ans"}, "-o names the output of a single input"},
        {{"--whole", "-"}, "standard input ('-') needs -o"},
        {{"--whole", "--font=f", "--no-font", "a.ans"}, "--font and --no-font exclude each other"},
        {{"--gif", "--bps", "299", "a.ans"}, Range("bps", "300 to 921600", "299")},
        {{"--gif", "--bps=921601", "a.ans"}, Range("bps", "300 to 921600", "921601")},
        {{"--gif", "--bps", "96OO", "a.ans"}, Range("bps", "300 to 921600", "96OO")},
        {{"--gif", "--bps=", "a.ans"}, Range("bps", "300 to 921600", "")},
        {{"--apng", "--delay", "1", "a.ans"}, Range("delay", "2 to 65535", "1")},
        {{"--apng", "--delay=65536", "a.ans"}, Range("delay", "2 to 65535", "65536")},
        {{"--gif", "--hold", "601", "a.ans"}, Range("hold", "0 to 600", "601")},
        {{"--gif", "--max-length=-1", "a.ans"}, Range("max-length", "0 to 42949672", "-1")},
        {{"--gif", "--once=1", "a.ans"}, "option '--once' doesn't allow an argument"},
        {{"--whole", "--bps", "9600", "a.ans"}, "option '--bps' does not apply to --whole"},
        {{"--gif", "--apng", "a.ans"}, "only one of --gif and --apng may be given"},
        {{"--gif", "--delay"}, "option '--delay' requires an argument"},
    };
    for (const auto &[Args, Line] : Cases) {
        const TRunResult Result = Play_(Args);
        EXPECT_EQ(Result.Status, 2) << Line;
        EXPECT_EQ(Result.Err, "tarvex-play: " + Line + " (see tarvex-play --help)\n");
        EXPECT_EQ(Result.Out, "");
    }
    EXPECT_EQ(Listing(), TLines{"a.ans"});
}

TEST_F(Play, HelpAndVersion) {
    for (const TLines &Args : std::vector<TLines>{{"--help"}, {"-h"}, {"--whole", "--he", "x"}}) {
        const TRunResult Result = Play_(Args);
        EXPECT_EQ(Result.Status, 0);
        EXPECT_TRUE(Result.Out.starts_with("Usage: tarvex-play MODE [OPTION]... INPUT...\n"));
        EXPECT_NE(Result.Out.find("  --whole"), std::string::npos);
        EXPECT_NE(Result.Out.find("\nOptions of --gif and --apng:\n      --bps=N "),
                  std::string::npos);
        EXPECT_EQ(Result.Err, "");
    }
    const TRunResult Version = Play_({"--version"});
    EXPECT_EQ(Version.Out, "tarvex-play (tarvex) " TARVEX_VERSION "\n");
    EXPECT_EQ(Version.Status, 0);
}

// Several inputs, one missing: the others are written, status 1. Without a
// scroll the whole piece is tarvex's picture, byte for byte.
TEST_F(Play, SeveralInputsOneMissing) {
    fs::create_directory(Dir / "art");
    WriteFile(Dir / "art" / "ONE.ANS", "\x1b[1;31mOne\r\n");
    WriteFile(Dir / "two.ans", "\x1b[44mTwo");
    fs::create_directory(Dir / "dir.ans");
    const TRunResult Result = Play_({"--whole", "art/ONE.ANS", "gone.ans", "dir.ans", "two.ans"});
    EXPECT_EQ(Result.Status, 1);
    EXPECT_EQ(Result.Err, NO_FONT_NOTE + "tarvex-play: gone.ans: No such file or directory\n" +
                              "tarvex-play: dir.ans: Is a directory\n");
    EXPECT_EQ(Result.Out, "");
    EXPECT_EQ(Listing(), (TLines{"art", "dir.ans", "two.ans", "two.whole.png"}));
    for (const std::string Name : {"art/ONE", "two"}) {
        ASSERT_EQ(Run({Name + (Name == "two" ? ".ans" : ".ANS"), Name + ".png"}).Status, 0);
        EXPECT_EQ(ReadFile(Dir / (Name + ".whole.png")), ReadFile(Dir / (Name + ".png"))) << Name;
    }
}

// Quiet when all went well; the limit's note, standard input and output.
TEST_F(Play, QuietNotesAndStandardStreams) {
    WriteLong("long.ans");
    ExpectPlay({"--no-font", "long.ans", "--whole"},
               "tarvex-play: long.ans: 76 scrolled rows left out (the first 2000 are kept)\n", 0);
    const TBytes Picture = [&] {
        const std::string S = ReadFile(Dir / "long.whole.png");
        return TBytes(S.begin(), S.end());
    }();
    EXPECT_TRUE(Scanlines(Picture, 640, 16 * 2025));

    TRunOptions FromStdin;
    FromStdin.StdinPath = (Dir / "long.ans").string();
    const TRunResult Piped = Play_({"--whole", "--no-font", "-o", "-", "--", "-"}, FromStdin);
    EXPECT_EQ(Piped.Status, 0);
    EXPECT_EQ(Piped.Out, ReadFile(Dir / "long.whole.png"));
    EXPECT_EQ(Piped.Err,
              "tarvex-play: standard input: 76 scrolled rows left out (the first 2000 are kept)\n");

    const TRunResult Quiet = Play_({"--whole", "--no-font", "-oquiet.png", "long.ans"});
    EXPECT_EQ(Quiet.Status, 0);
    EXPECT_EQ(ReadFile(Dir / "quiet.png"), ReadFile(Dir / "long.whole.png"));
    WriteFile(Dir / "short.ans", "short");
    EXPECT_EQ(Play_({"--whole", "--no-font", "short.ans", "-o", "/dev/null"}).Err, "");

    ExpectPlay({"--whole", "--font", "none.fnt", "short.ans"},
               "tarvex-play: none.fnt: No such file or directory\n", 1);
}

// Never over an input, never over a file that is no PNG; an existing PNG is
// replaced with its permissions kept, and no temporary file stays behind.
TEST_F(Play, RefusalsAndReplacing) {
    WriteFile(Dir / "a.ans", "a");
    WriteFile(Dir / "b.ans", "b");
    WriteFile(Dir / "b.whole.png", "notes");
    ExpectPlay({"--whole", "--no-font", "a.ans", "b.ans"},
               "tarvex-play: b.whole.png: existing file is not a PNG; not replaced\n", 1);
    EXPECT_EQ(ReadFile(Dir / "b.whole.png"), "notes");
    const TRunResult Input = Play_({"--whole", "--no-font", "-o", "a.ans", "a.ans"});
    EXPECT_EQ(Input.Err, "tarvex-play: a.ans: would write over an input; not replaced\n");
    EXPECT_EQ(ReadFile(Dir / "a.ans"), "a");
    WriteFile(Dir / "a.whole.png", "\x89PNG\r\n\x1a\n");
    ::chmod((Dir / "a.whole.png").c_str(), 0640);
    EXPECT_EQ(Play_({"--whole", "--no-font", "a.ans"}).Status, 0);
    EXPECT_GT(fs::file_size(Dir / "a.whole.png"), 8u);
    struct stat Info;
    ASSERT_EQ(::stat((Dir / "a.whole.png").c_str(), &Info), 0);
    EXPECT_EQ(Info.st_mode & 0777, 0640u);
    EXPECT_EQ(Listing(), (TLines{"a.ans", "a.whole.png", "b.ans", "b.whole.png"}));
    // Temporary names already taken are left alone; with none free, nothing is written.
    fs::create_directory(Dir / "busy");
    for (int I = 0; I < 100; ++I)
        WriteFile(Dir / "busy" / ("x.png.tmp" + (I == 0 ? std::string() : std::to_string(I))), "mine");
    ExpectPlay({"--whole", "--no-font", "-o", "busy/x.png", "a.ans"},
               "tarvex-play: busy/x.png: no free temporary name beside it\n", 1);
    EXPECT_FALSE(fs::exists(Dir / "busy" / "x.png"));
    EXPECT_EQ(ReadFile(Dir / "busy" / "x.png.tmp"), "mine");
    fs::remove(Dir / "busy" / "x.png.tmp50");
    ExpectPlay({"--whole", "--no-font", "-o", "busy/x.png", "a.ans"}, "", 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir / "busy"), {}), 100);
    fs::remove_all(Dir / "busy");
    // A failed write leaves nothing under the final name.
    fs::create_directory(Dir / "ro");
    ::chmod((Dir / "ro").c_str(), 0555);
    if (::geteuid() != 0) {
        ExpectPlay({"--whole", "--no-font", "-o", "ro/x.png", "a.ans"},
                   "tarvex-play: ro/x.png.tmp: Permission denied\n", 1);
    }
    ExpectPlay({"--whole", "--no-font", "-o", "/dev/full", "a.ans"},
               "tarvex-play: /dev/full: No space left on device\n", 1);
}

// An animation replaces only its own kind: GIF over GIF, APNG over APNG,
// never text, a still PNG or the other format; to standard output as to a file.
TEST_F(Play, AnimationsReplaceOnlyTheirOwnKind) {
    WriteFile(Dir / "art.ans", "\x1b[1;44mart\x1b[0m\r\n\x1b[12;30H\xdb\xdc");
    const auto Animate = [&](const TLines &Args) { return Play_(Join({{"--no-font"}, Args})); };
    ExpectPlay({"--no-font", "--gif", "--bps=300", "--delay", "2", "--hold=0", "--once",
                "--max-length", "0", "art.ans"},
               "", 0);
    EXPECT_TRUE(ReadFile(Dir / "art.gif").starts_with("GIF89a"));
    EXPECT_EQ(Animate({"--apng", "art.ans"}).Status, 0);
    const std::string Animated = ReadFile(Dir / "art.anim.png");
    EXPECT_TRUE(Animated.starts_with("\x89PNG\r\n\x1a\n") && Animated.substr(37, 4) == "acTL");
    EXPECT_EQ(Animate({"--apng", "art.ans"}).Status, 0);
    EXPECT_EQ(ReadFile(Dir / "art.anim.png"), Animated);
    EXPECT_EQ(Animate({"--gif", "-o", "art.gif", "art.ans"}).Status, 0);
    EXPECT_EQ(Animate({"--gif", "-o", "-", "art.ans"}).Out, ReadFile(Dir / "art.gif"));

    WriteFile(Dir / "notes.gif", "not a picture");
    EXPECT_EQ(Animate({"--gif", "-o", "notes.gif", "art.ans"}).Err,
              "tarvex-play: notes.gif: existing file is not a GIF; not replaced\n");
    EXPECT_EQ(ReadFile(Dir / "notes.gif"), "not a picture");
    ASSERT_EQ(Animate({"--whole", "art.ans"}).Status, 0);
    const std::string Still = ReadFile(Dir / "art.whole.png");
    ExpectPlay({"--no-font", "--apng", "-o", "art.whole.png", "art.ans"},
               "tarvex-play: art.whole.png: existing file is not a PNG animation; not replaced\n",
               1);
    EXPECT_EQ(ReadFile(Dir / "art.whole.png"), Still);
    EXPECT_EQ(Animate({"--apng", "-o", "art.gif", "art.ans"}).Status, 1);
    EXPECT_EQ(Animate({"--gif", "-o", "art.anim.png", "art.ans"}).Status, 1);
}

} // namespace
