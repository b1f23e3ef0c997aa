// Runs the built tarvex in a directory and collects what it printed.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct TRunResult {
    std::string Out;
    std::string Err;
    int Status = -1;       // exit status, when it exited
    bool Signaled = false; // killed by a signal, or by the deadline
    long MaxRssKiB = 0;    // the child's peak resident memory
};

struct TRunOptions {
    std::string StdinPath = "/dev/null";
    bool CloseStdin = false;
    std::string StdoutPath; // write standard output there instead of capturing it
    bool CloseStdout = false;
    bool BrokenPipe = false; // standard output is a pipe nobody reads
    // Standard output is a full pipe in non-blocking mode, drained only after
    // a pause: every early write meets EAGAIN.
    bool FullNonBlockingPipe = false;
};

// The child is killed when it runs longer than this.
constexpr int RUN_DEADLINE_SECONDS = 30;

TRunResult RunProgram(const std::string &Program, const std::vector<std::string> &Args,
                      const std::filesystem::path &Dir, const TRunOptions &Options = {});

// What Fn writes to standard output (file descriptor 1) while it runs.
std::string CaptureOutput(const std::function<void()> &Fn);
