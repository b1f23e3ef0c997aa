#include "run_program.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

int Check(int Result, const char *What) {
    if (Result < 0)
        throw std::runtime_error(std::string(What) + " failed");
    return Result;
}

// Fills a pipe until it takes no more; returns how many bytes went in.
std::size_t FillNonBlocking(int WriteEnd) {
    Check(::fcntl(WriteEnd, F_SETPIPE_SZ, 4096), "F_SETPIPE_SZ");
    Check(::fcntl(WriteEnd, F_SETFL, O_NONBLOCK), "F_SETFL");
    const char Byte = '.';
    std::size_t Count = 0;
    while (::write(WriteEnd, &Byte, 1) == 1)
        ++Count;
    return Count;
}

} // namespace

TRunResult RunProgram(const std::string &Program, const std::vector<std::string> &Args,
                      const std::filesystem::path &Dir, const TRunOptions &Options) {
    // Everything the child uses is made here: a child forked from a threaded
    // process must not allocate.
    std::vector<std::string> Words = {Program};
    Words.insert(Words.end(), Args.begin(), Args.end());
    std::vector<char *> Argv;
    for (std::string &Word : Words)
        Argv.push_back(Word.data());
    Argv.push_back(nullptr);
    const std::string Where = Dir.string();
    int Out[2];
    int Err[2];
    Check(::pipe2(Out, O_CLOEXEC), "pipe");
    Check(::pipe2(Err, O_CLOEXEC), "pipe");
    const int In = Check(::open(Options.StdinPath.c_str(), O_RDONLY | O_CLOEXEC), "open stdin");
    int Stdout = Out[1];
    if (!Options.StdoutPath.empty())
        Stdout = Check(
            ::open(Options.StdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644),
            "open stdout");
    const std::size_t Prefilled = Options.FullNonBlockingPipe ? FillNonBlocking(Out[1]) : 0;
    if (Options.BrokenPipe) { // no reader from the start: every write fails
        ::close(Out[0]);
        Out[0] = -1;
    }

    const pid_t Child = Check(::fork(), "fork");
    if (Child == 0) {
        // A group of its own, so that the deadline also stops what a shell started.
        if (::setpgid(0, 0) != 0 || ::chdir(Where.c_str()) != 0 ||
            (Options.CloseStdin ? ::close(0) : ::dup2(In, 0)) < 0 || ::dup2(Err[1], 2) < 0 ||
            (Options.CloseStdout ? ::close(1) : ::dup2(Stdout, 1)) < 0)
            ::_exit(126);
        ::execv(Argv[0], Argv.data());
        ::_exit(127);
    }
    for (const int Fd : {In, Out[1], Err[1]})
        ::close(Fd);
    if (Stdout != Out[1])
        ::close(Stdout);

    if (Options.FullNonBlockingPipe) // let the child meet the full pipe first
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // Both pipes at once, so a child that fills one cannot stall on it.
    TRunResult Result;
    std::string *Into[2] = {&Result.Out, &Result.Err};
    pollfd Fds[2] = {{Out[0], POLLIN, 0}, {Err[0], POLLIN, 0}};
    const auto Deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(RUN_DEADLINE_SECONDS);
    while (Fds[0].fd >= 0 || Fds[1].fd >= 0) {
        const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
            Deadline - std::chrono::steady_clock::now());
        if (Left.count() <= 0) {
            ::kill(-Child, SIGKILL);
            break;
        }
        if (::poll(Fds, 2, static_cast<int>(Left.count())) < 0 && errno != EINTR)
            break;
        for (int I = 0; I < 2; ++I) {
            if (Fds[I].fd < 0 || Fds[I].revents == 0)
                continue;
            char Chunk[4096];
            const ssize_t Got = ::read(Fds[I].fd, Chunk, sizeof Chunk);
            if (Got > 0) {
                Into[I]->append(Chunk, static_cast<std::size_t>(Got));
            } else if (Got == 0 || errno != EINTR) {
                ::close(Fds[I].fd);
                Fds[I].fd = -1;
            }
        }
    }
    for (const pollfd &Fd : Fds)
        if (Fd.fd >= 0)
            ::close(Fd.fd);
    int Status = 0;
    rusage Usage{};
    while (::wait4(Child, &Status, 0, &Usage) < 0 && errno == EINTR) {
    }
    Result.MaxRssKiB = Usage.ru_maxrss;
    Result.Signaled = WIFSIGNALED(Status);
    Result.Status = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    Result.Out.erase(0, Prefilled);
    return Result;
}

std::string CaptureOutput(const std::function<void()> &Fn) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> Temp(std::tmpfile(), std::fclose);
    const int Saved = Check(::dup(1), "dup");
    Check(::dup2(::fileno(Temp.get()), 1), "dup2");
    struct TRestore {
        int Saved;
        ~TRestore() {
            ::dup2(Saved, 1);
            ::close(Saved);
        }
    };
    {
        const TRestore Restore{Saved};
        Fn();
    }
    std::string Text;
    std::rewind(Temp.get());
    for (int C; (C = std::fgetc(Temp.get())) != EOF;)
        Text.push_back(static_cast<char>(C));
    return Text;
}
