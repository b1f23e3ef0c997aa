// Fault injection: failing outputs, permissions, special files and limits.
// Each case checks the exact report, the exit status, standard error, and
// that the input file is left exactly as it was.
#include "run_program.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string TARVEX = TARVEX_BINARY;
const std::string INPUT = "\x1b[1;33;44mfault injection\r\n\x1b[0m";

std::string ReadFile(const fs::path &Path) {
    std::ifstream In(Path, std::ios::binary);
    std::ostringstream Text;
    Text << In.rdbuf();
    return Text.str();
}

std::string Lines(const std::vector<std::string> &Each) {
    std::string Text;
    for (const std::string &Line : Each)
        Text += Line + "\n";
    return Text;
}

const std::vector<std::string> NO_FONT = {
    "Font file not found or cannot be read, using fallback rendering",
    "Error: Unable to open file \"cp437.fnt\": No such file or directory"};

std::vector<std::string> WriteFailure(const std::string &Output, const std::string &Details) {
    return {"Error creating PNG file: " + Output,
            "Possible causes:",
            " - You might not have permission to write to this location",
            " - The disk might be full",
            "",
            "Technical details: " + Details};
}

std::vector<std::string> Join(std::vector<std::vector<std::string>> Parts) {
    std::vector<std::string> All;
    for (const auto &Part : Parts)
        All.insert(All.end(), Part.begin(), Part.end());
    return All;
}

class Fault : public ::testing::Test {
  protected:
    fs::path Dir;
    void SetUp() override {
        const auto *Info = ::testing::UnitTest::GetInstance()->current_test_info();
        Dir = fs::temp_directory_path() /
              ("tarvex-fault-" + std::to_string(::getpid()) + "-" + Info->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir);
        ::chmod(Dir.c_str(), 0777);
        std::ofstream(Dir / "in.ans", std::ios::binary) << INPUT;
        ::chmod((Dir / "in.ans").c_str(), 0644);
    }
    void TearDown() override {
        EXPECT_EQ(ReadFile(Dir / "in.ans"), INPUT) << "the input changed";
        fs::remove_all(Dir);
    }
    void Expect(const TRunResult &Result, const std::vector<std::string> &Out, int Status) {
        EXPECT_EQ(Result.Out, Lines(Out));
        EXPECT_EQ(Result.Err, "");
        EXPECT_EQ(Result.Status, Status);
        EXPECT_FALSE(Result.Signaled);
    }
    // Runs as an unprivileged user, where permissions bite even for root.
    bool CanDropPrivileges() { return ::geteuid() == 0 && fs::exists("/usr/bin/setpriv"); }
    TRunResult RunAsNobody(const std::vector<std::string> &Args) {
        std::vector<std::string> Full = {"--reuid=65534", "--regid=65534", "--clear-groups", "--",
                                         TARVEX};
        Full.insert(Full.end(), Args.begin(), Args.end());
        return RunProgram("/usr/bin/setpriv", Full, Dir);
    }
    TRunResult RunShell(const std::string &Script, const TRunOptions &Options = {}) {
        return RunProgram("/bin/sh", {"-c", Script, "sh", TARVEX}, Dir, Options);
    }
};

TEST_F(Fault, OutputToAFullDevice) {
    Expect(RunProgram(TARVEX, {"in.ans", "/dev/full"}, Dir),
           Join({{"Parsing ANSI file: in.ans", "Rendering to PNG: /dev/full"},
                 NO_FONT,
                 WriteFailure("/dev/full", "Stream write error")}),
           1);
}

TEST_F(Fault, OutputInAReadOnlyDirectory) {
    if (!CanDropPrivileges())
        GTEST_SKIP() << "needs root and setpriv to run as an unprivileged user";
    fs::create_directory(Dir / "locked");
    ::chmod((Dir / "locked").c_str(), 0555);
    Expect(RunAsNobody({"in.ans", "locked/out.png"}),
           Join({{"Parsing ANSI file: in.ans", "Rendering to PNG: locked/out.png"},
                 NO_FONT,
                 WriteFailure("locked/out.png",
                              "Unable to create file \"locked/out.png\": Permission denied")}),
           1);
    EXPECT_FALSE(fs::exists(Dir / "locked" / "out.png"));
}

TEST_F(Fault, UnreadableInput) {
    if (!CanDropPrivileges())
        GTEST_SKIP() << "needs root and setpriv to run as an unprivileged user";
    std::ofstream(Dir / "secret.ans") << "hidden";
    ::chmod((Dir / "secret.ans").c_str(), 0);
    Expect(RunAsNobody({"secret.ans"}),
           {"Parsing ANSI file: secret.ans", "Error reading ANSI file: secret.ans",
            "Possible causes:", " - The file might be corrupted",
            " - The file might not be a valid ANSI file",
            " - You might not have permission to read the file", "",
            "Technical details: Unable to open file \"secret.ans\": Permission denied"},
           1);
    EXPECT_FALSE(fs::exists(Dir / "secret.png"));
}

TEST_F(Fault, UnreadableFontFallsBack) {
    if (!CanDropPrivileges())
        GTEST_SKIP() << "needs root and setpriv to run as an unprivileged user";
    std::ofstream(Dir / "cp437.fnt") << std::string(4096, '\xff');
    ::chmod((Dir / "cp437.fnt").c_str(), 0);
    Expect(RunAsNobody({"in.ans"}),
           {"Parsing ANSI file: in.ans", "Rendering to PNG: in.png",
            "Font file not found or cannot be read, using fallback rendering",
            "Error: Unable to open file \"cp437.fnt\": Permission denied",
            "Conversion completed successfully!"},
           0);
}

TEST_F(Fault, FifoInputIsReadToItsEnd) {
    ASSERT_EQ(::mkfifo((Dir / "pipe.ans").c_str(), 0644), 0);
    std::thread Writer([this] { std::ofstream(Dir / "pipe.ans", std::ios::binary) << INPUT; });
    const TRunResult FromFifo = RunProgram(TARVEX, {"pipe.ans", "fifo.png"}, Dir);
    Writer.join();
    Expect(FromFifo,
           Join({{"Parsing ANSI file: pipe.ans", "Rendering to PNG: fifo.png"},
                 NO_FONT,
                 {"Conversion completed successfully!"}}),
           0);
    RunProgram(TARVEX, {"in.ans", "file.png"}, Dir);
    EXPECT_EQ(ReadFile(Dir / "fifo.png"), ReadFile(Dir / "file.png"));
}

TEST_F(Fault, FifoFontNeverHangs) {
    ASSERT_EQ(::mkfifo((Dir / "cp437.fnt").c_str(), 0644), 0);
    Expect(RunProgram(TARVEX, {"in.ans"}, Dir),
           {"Parsing ANSI file: in.ans", "Rendering to PNG: in.png",
            "Font file too small, using fallback rendering", "Conversion completed successfully!"},
           0);
}

TEST_F(Fault, FileSizeLimitIsAWriteErrorNotAKill) {
    // 1 block of 512 bytes: the PNG header fits, its data does not.
    Expect(RunShell("ulimit -f 1; exec \"$1\" in.ans out.png"),
           Join({{"Parsing ANSI file: in.ans", "Rendering to PNG: out.png"},
                 NO_FONT,
                 WriteFailure("out.png", "Stream write error")}),
           1);
    EXPECT_EQ(fs::file_size(Dir / "out.png"), 512u);
}

TEST_F(Fault, FailingSuccessLineEscapesWithStatus217) {
    // Standard output is a file that reaches the size limit inside the last
    // line: its write-failure report cannot be written either.
    const std::string Before =
        Lines(Join({{"Parsing ANSI file: in.ans", "Rendering to PNG: /dev/null"}, NO_FONT}));
    const std::size_t Prefill = 512 - Before.size() - 5;
    std::ofstream(Dir / "log.txt", std::ios::binary) << std::string(Prefill, '.');
    const TRunResult Result = RunShell("ulimit -f 1; exec \"$1\" in.ans /dev/null >> log.txt");
    EXPECT_EQ(Result.Status, 217);
    EXPECT_FALSE(Result.Signaled);
    EXPECT_EQ(Result.Err, "An unhandled exception occurred at $0000000000000000:\n"
                          "TOutputError: Unable to write to standard output: File too large\n\n");
    EXPECT_EQ(ReadFile(Dir / "log.txt"), std::string(Prefill, '.') + Before + "Conve");
}

} // namespace
