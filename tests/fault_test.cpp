// Fault injection: failing outputs, permissions, special files and limits.
// Each case checks the exact report, the exit status, standard error, and
// that the input file is left exactly as it was.
#include "cli_support.h"

namespace {

const std::string INPUT = "\x1b[1;33;44mfault injection\r\n\x1b[0m";

class Fault : public ScratchDirTest {
  protected:
    void SetUp() override {
        ScratchDirTest::SetUp();
        WriteFile(Dir / "in.ans", INPUT);
        ::chmod((Dir / "in.ans").c_str(), 0644);
    }
    void TearDown() override {
        EXPECT_EQ(ReadFile(Dir / "in.ans"), INPUT) << "the input changed";
        ScratchDirTest::TearDown();
    }
    // Runs as an unprivileged user, where permissions bite even for root. The
    // program must be reachable by that user (a checkout in a private home
    // folder is not); otherwise these cases are skipped.
    bool CanDropPrivileges() {
        return ::geteuid() == 0 && fs::exists("/usr/bin/setpriv") &&
               RunAsNobody({}).Out == "Usage: tarvex.exe <input.ans> [output.png]\n";
    }
    TRunResult RunAsNobody(const TLines &Args) {
        return RunWrapped("/usr/bin/setpriv",
                          {"--reuid=65534", "--regid=65534", "--clear-groups", "--"}, Args);
    }
};

TEST_F(Fault, OutputToAFullDevice) {
    Expect(Run({"in.ans", "/dev/full"}), WriteFailure("in.ans", "/dev/full", "Stream write error"),
           1);
}

TEST_F(Fault, PermissionsAsAnUnprivilegedUser) {
    if (!CanDropPrivileges())
        GTEST_SKIP() << "needs root, setpriv, and a build that user 65534 can run";
    fs::create_directory(Dir / "locked");
    ::chmod((Dir / "locked").c_str(), 0555);
    Expect(RunAsNobody({"in.ans", "locked/out.png"}),
           WriteFailure("in.ans", "locked/out.png",
                        "Unable to create file \"locked/out.png\": Permission denied"),
           1);
    EXPECT_FALSE(fs::exists(Dir / "locked" / "out.png"));

    WriteFile(Dir / "secret.ans", "hidden");
    ::chmod((Dir / "secret.ans").c_str(), 0);
    Expect(RunAsNobody({"secret.ans"}),
           ReadFailure("secret.ans", "Unable to open file \"secret.ans\": Permission denied"), 1);
    EXPECT_FALSE(fs::exists(Dir / "secret.png"));

    // A file we may write but not read is not looked into: it is replaced.
    WriteFile(Dir / "blind.png", "not a png");
    ::chmod((Dir / "blind.png").c_str(), 0222);
    Expect(RunAsNobody({"in.ans", "blind.png"}), Converted("in.ans", "blind.png"), 0);
    EXPECT_EQ(ReadFile(Dir / "blind.png").substr(1, 3), "PNG");

    WriteFile(Dir / "cp437.fnt", std::string(4096, '\xff'));
    ::chmod((Dir / "cp437.fnt").c_str(), 0);
    Expect(RunAsNobody({"in.ans"}),
           Converted("in.ans", "in.png",
                     FontUnreadable("Unable to open file \"cp437.fnt\": Permission denied")),
           0);
}

TEST_F(Fault, FifoFontNeverHangs) {
    ASSERT_EQ(::mkfifo((Dir / "cp437.fnt").c_str(), 0644), 0);
    Expect(Run({"in.ans"}), Converted("in.ans", "in.png", FONT_TOO_SMALL), 0);
}

TEST_F(Fault, FileSizeLimitIsAWriteErrorNotAKill) {
    // 1 block of 512 bytes: the PNG header fits, its data does not.
    Expect(RunShell("ulimit -f 1; exec \"$@\" in.ans out.png"),
           WriteFailure("in.ans", "out.png", "Stream write error"), 1);
    EXPECT_EQ(fs::file_size(Dir / "out.png"), 512u);
}

TEST_F(Fault, FailingSuccessLineEscapesWithStatus217) {
    // Standard output is a file that reaches the size limit inside the last
    // line: its write-failure report cannot be written either.
    const std::string Before =
        Lines(Join({{"Parsing ANSI file: in.ans", "Rendering to PNG: /dev/null"}, NO_FONT}));
    const std::size_t Prefill = 512 - Before.size() - 5;
    WriteFile(Dir / "log.txt", std::string(Prefill, '.'));
    const TRunResult Result = RunShell("ulimit -f 1; exec \"$@\" in.ans /dev/null >> log.txt");
    EXPECT_EQ(Result.Status, 217);
    EXPECT_FALSE(Result.Signaled);
    EXPECT_EQ(Result.Err, "An unhandled exception occurred at $0000000000000000:\n"
                          "TOutputError: Unable to write to standard output: File too large\n\n");
    EXPECT_EQ(ReadFile(Dir / "log.txt"), std::string(Prefill, '.') + Before + "Conve");
}

} // namespace
