#include "terminal/terminal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <unistd.h>

std::string SystemErrorText(int ErrorCode) {
    std::string Text = std::strerror(ErrorCode);
    while (!Text.empty() && (Text.back() == '\n' || Text.back() == '\r'))
        Text.pop_back();
    return Text;
}

// Format holds two %s: the path as given and the system's text for the error.
void RaiseFileError(const char *Format, const std::string &Path, int ErrorCode) {
    const std::string Reason = SystemErrorText(ErrorCode);
    std::string Message(std::strlen(Format) + Path.size() + Reason.size(), '\0');
    const int Length =
        std::snprintf(Message.data(), Message.size() + 1, Format, Path.c_str(), Reason.c_str());
    Message.resize(Length > 0 ? static_cast<std::size_t>(Length) : 0);
    throw std::runtime_error(Message);
}

void WriteLine(std::string_view Text) {
    std::string Line(Text);
    Line.push_back('\n');
    std::size_t Done = 0;
    while (Done < Line.size()) {
        const ssize_t Written = ::write(1, Line.data() + Done, Line.size() - Done);
        if (Written < 0 && errno == EINTR)
            continue;
        if (Written <= 0)
            throw TOutputError("Unable to write to standard output: " +
                               SystemErrorText(Written < 0 ? errno : EIO));
        Done += static_cast<std::size_t>(Written);
    }
}
