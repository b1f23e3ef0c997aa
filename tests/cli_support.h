// Shared by the tests that run the built program: a scratch directory per
// test, and the report lines it must print.
#pragma once

#include "run_program.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

inline const std::string TARVEX = TARVEX_BINARY;

inline std::string ReadFile(const fs::path &Path) {
    std::ifstream In(Path, std::ios::binary);
    std::ostringstream Text;
    Text << In.rdbuf();
    return Text.str();
}

inline void WriteFile(const fs::path &Path, const std::string &Bytes) {
    std::ofstream(Path, std::ios::binary) << Bytes;
}

inline std::string Lines(const std::vector<std::string> &Each) {
    std::string Text;
    for (const std::string &Line : Each)
        Text += Line + "\n";
    return Text;
}

inline std::vector<std::string> Join(const std::vector<std::vector<std::string>> &Parts) {
    std::vector<std::string> All;
    for (const auto &Part : Parts)
        All.insert(All.end(), Part.begin(), Part.end());
    return All;
}

inline const std::string NO_FONT_1 =
    "Font file not found or cannot be read, using fallback rendering";
inline const std::string NO_FONT_2 =
    "Error: Unable to open file \"cp437.fnt\": No such file or directory";
inline const std::vector<std::string> NO_FONT = {NO_FONT_1, NO_FONT_2};

inline std::vector<std::string> WriteFailure(const std::string &Output,
                                             const std::string &Details) {
    return {"Error creating PNG file: " + Output,
            "Possible causes:",
            " - You might not have permission to write to this location",
            " - The disk might be full",
            "",
            "Technical details: " + Details};
}

inline std::vector<std::string> ReadFailure(const std::string &Input, const std::string &Details) {
    return {"Error reading ANSI file: " + Input,
            "Possible causes:",
            " - The file might be corrupted",
            " - The file might not be a valid ANSI file",
            " - You might not have permission to read the file",
            "",
            "Technical details: " + Details};
}

// Each test gets an empty directory that any user may write, removed after.
class ScratchDirTest : public ::testing::Test {
  protected:
    fs::path Dir;
    void SetUp() override {
        const auto *Info = ::testing::UnitTest::GetInstance()->current_test_info();
        Dir = fs::temp_directory_path() / ("tarvex-" + std::to_string(::getpid()) + "-" +
                                           Info->test_suite_name() + "-" + Info->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir);
        ::chmod(Dir.c_str(), 0777);
    }
    void TearDown() override { fs::remove_all(Dir); }

    TRunResult Run(const std::vector<std::string> &Args, const TRunOptions &Options = {}) {
        return RunProgram(TARVEX, Args, Dir, Options);
    }
    // Exactly these lines on stdout, nothing on stderr, this status.
    static void Expect(const TRunResult &Result, const std::vector<std::string> &Out, int Status) {
        EXPECT_EQ(Result.Out, Lines(Out));
        EXPECT_EQ(Result.Err, "");
        EXPECT_EQ(Result.Status, Status);
        EXPECT_FALSE(Result.Signaled);
    }
    void ExpectRun(const std::vector<std::string> &Args, const std::vector<std::string> &Out,
                   int Status) {
        Expect(Run(Args), Out, Status);
    }
};
