#include "run_program.h"

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string ReadAll(int Fd) {
    std::string Text;
    if (Fd < 0)
        return Text;
    char Chunk[4096];
    for (;;) {
        const ssize_t Got = ::read(Fd, Chunk, sizeof Chunk);
        if (Got < 0 && errno == EINTR)
            continue;
        if (Got <= 0)
            break;
        Text.append(Chunk, static_cast<std::size_t>(Got));
    }
    ::close(Fd);
    return Text;
}

} // namespace

TRunResult RunProgram(const std::string &Program, const std::vector<std::string> &Args,
                      const std::filesystem::path &Dir, const TRunOptions &Options) {
    int OutPipe[2];
    int ErrPipe[2];
    if (::pipe(OutPipe) != 0 || ::pipe(ErrPipe) != 0)
        throw std::runtime_error("pipe failed");
    if (Options.BrokenPipe) { // no reader from the start: every write fails
        ::close(OutPipe[0]);
        OutPipe[0] = -1;
    }
    const pid_t Child = ::fork();
    if (Child < 0)
        throw std::runtime_error("fork failed");
    if (Child == 0) {
        if (::chdir(Dir.c_str()) != 0)
            ::_exit(126);
        const int In = ::open(Options.StdinPath.c_str(), O_RDONLY);
        ::dup2(In, 0);
        if (Options.CloseStdout) {
            ::close(1);
        } else if (!Options.StdoutPath.empty()) {
            const int Out = ::open(Options.StdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(Out, 1);
        } else {
            ::dup2(OutPipe[1], 1);
        }
        ::dup2(ErrPipe[1], 2);
        for (int Fd : {OutPipe[0], OutPipe[1], ErrPipe[0], ErrPipe[1]})
            if (Fd >= 0)
                ::close(Fd);
        std::vector<char *> Argv{const_cast<char *>(Program.c_str())};
        for (const std::string &Arg : Args)
            Argv.push_back(const_cast<char *>(Arg.c_str()));
        Argv.push_back(nullptr);
        ::execv(Program.c_str(), Argv.data());
        ::_exit(127);
    }
    ::close(OutPipe[1]);
    ::close(ErrPipe[1]);
    TRunResult Result;
    Result.Out = ReadAll(OutPipe[0]);
    Result.Err = ReadAll(ErrPipe[0]);
    int Status = 0;
    while (::waitpid(Child, &Status, 0) < 0 && errno == EINTR) {
    }
    Result.Signaled = WIFSIGNALED(Status);
    Result.Status = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    return Result;
}
