// Runs the built tarvex in a directory and collects what it printed.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct TRunResult {
    std::string Out;
    std::string Err;
    int Status = -1;       // exit status, when it exited
    bool Signaled = false; // killed by a signal
};

struct TRunOptions {
    std::string StdoutPath; // write standard output there instead of capturing it
    bool CloseStdout = false;
    std::string StdinPath = "/dev/null";
    bool BrokenPipe = false; // standard output is a pipe nobody reads
};

TRunResult RunProgram(const std::string &Program, const std::vector<std::string> &Args,
                      const std::filesystem::path &Dir, const TRunOptions &Options = {});
