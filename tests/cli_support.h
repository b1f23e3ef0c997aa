// Shared by the tests that work with files: a scratch directory per test,
// the program under test, and the report lines it must print.
#pragma once

#include "run_program.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

// The command that runs a program under test: this build's (Built), or the
// one the environment variable UnderTest names, through TARVEX_LAUNCHER (an
// emulator) when set.
inline std::vector<std::string> ProgramCommand(const char *UnderTest, const char *Built) {
    std::vector<std::string> Command;
    const char *Launcher = std::getenv("TARVEX_LAUNCHER");
    if (Launcher && *Launcher)
        Command.emplace_back(Launcher);
    const char *Other = std::getenv(UnderTest);
    Command.emplace_back(Other && *Other ? Other : Built);
    return Command;
}
inline std::vector<std::string> TarvexCommand() {
    return ProgramCommand("TARVEX_UNDER_TEST", TARVEX_BINARY);
}
inline const std::vector<std::string> TARVEX = TarvexCommand();

inline std::string ReadFile(const fs::path &Path) {
    std::ifstream In(Path, std::ios::binary);
    std::ostringstream Text;
    Text << In.rdbuf();
    return Text.str();
}

inline void WriteFile(const fs::path &Path, const std::string &Bytes) {
    std::ofstream(Path, std::ios::binary) << Bytes;
}

using TLines = std::vector<std::string>;

inline std::string Lines(const TLines &Each) {
    std::string Text;
    for (const std::string &Line : Each)
        Text += Line + "\n";
    return Text;
}

inline TLines Join(const std::vector<TLines> &Parts) {
    TLines All;
    for (const auto &Part : Parts)
        All.insert(All.end(), Part.begin(), Part.end());
    return All;
}

inline TLines FontUnreadable(const std::string &Error) {
    return {"Font file not found or cannot be read, using fallback rendering", "Error: " + Error};
}
inline const TLines NO_FONT =
    FontUnreadable("Unable to open file \"cp437.fnt\": No such file or directory");
inline const TLines FONT_LOADED = {"Font data loaded successfully"};
inline const TLines FONT_TOO_SMALL = {"Font file too small, using fallback rendering"};

// A failure report: its first lines, the causes, an empty line, the details.
inline TLines Failure(TLines Head, const TLines &Causes, const std::string &Details) {
    Head.push_back("Possible causes:");
    Head.insert(Head.end(), Causes.begin(), Causes.end());
    Head.insert(Head.end(), {"", "Technical details: " + Details});
    return Head;
}

// The lines of a run that cannot read In.
inline TLines ReadFailure(const std::string &In, const std::string &Details) {
    return Failure({"Parsing ANSI file: " + In, "Error reading ANSI file: " + In},
                   {" - The file might be corrupted", " - The file might not be a valid ANSI file",
                    " - You might not have permission to read the file"},
                   Details);
}

// The lines of a run whose input In does not exist.
inline TLines NotFound(const std::string &In) {
    return {"Parsing ANSI file: " + In, "File not found: " + In,
            "Please check that the file exists and the path is correct.",
            "Example usage: tarvex.exe myfile.ans"};
}

// The lines of a run that reads In but cannot write Out, with the font lines
// given (none when the output is refused before the font is looked up).
inline TLines WriteFailure(const std::string &In, const std::string &Out,
                           const std::string &Details, const TLines &Font = NO_FONT) {
    return Failure(
        Join({{"Parsing ANSI file: " + In, "Rendering to PNG: " + Out},
              Font,
              {"Error creating PNG file: " + Out}}),
        {" - You might not have permission to write to this location", " - The disk might be full"},
        Details);
}

// The lines of a run that converts In to Out, with the font lines given.
inline TLines Converted(const std::string &In, const std::string &Out,
                        const TLines &Font = NO_FONT) {
    return Join({{"Parsing ANSI file: " + In, "Rendering to PNG: " + Out},
                 Font,
                 {"Conversion completed successfully!"}});
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

    // Runs Command with Args after it; Run the program, RunWrapped Program
    // with the program's command after Before.
    TRunResult RunCommand(const TLines &Command, const TLines &Args,
                          const TRunOptions &Options = {}) {
        return RunProgram(Command[0], Join({{Command.begin() + 1, Command.end()}, Args}), Dir,
                          Options);
    }
    TRunResult Run(const TLines &Args, const TRunOptions &Options = {}) {
        return RunCommand(TARVEX, Args, Options);
    }
    TRunResult RunWrapped(const std::string &Program, const TLines &Before, const TLines &Args) {
        return RunProgram(Program, Join({Before, TARVEX, Args}), Dir);
    }
    // Script runs in sh with the program's command as its arguments ("$@").
    TRunResult RunShell(const std::string &Script) {
        return RunWrapped("/bin/sh", {"-c", Script, "sh"}, {});
    }
    // Exactly these lines on stdout, nothing on stderr, this status.
    static void Expect(const TRunResult &Result, const TLines &Out, int Status) {
        EXPECT_EQ(Result.Out, Lines(Out));
        EXPECT_EQ(Result.Err, "");
        EXPECT_EQ(Result.Status, Status);
        EXPECT_FALSE(Result.Signaled);
    }
    void ExpectRun(const TLines &Args, const TLines &Out, int Status) {
        Expect(Run(Args), Out, Status);
    }
};
