#include "render/render.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef O_BINARY
#define O_BINARY 0
#endif
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif

namespace {

// Loads the font or raises; the file is closed before this returns.
bool ReadFont(const std::string &FileName, TFont &Font) {
    // Non-blocking, so a FIFO of that name cannot hang the run.
    const int Fd = ::open(FileName.c_str(), O_RDONLY | O_BINARY | O_NONBLOCK | O_CLOEXEC);
    if (Fd < 0)
        RaiseFileError("Unable to open file \"%s\": %s", FileName, errno);
    struct TCloser {
        int Fd;
        ~TCloser() { ::close(Fd); }
    } const Closer{Fd};
    struct stat Info;
    if (::fstat(Fd, &Info) != 0)
        RaiseFileError("Unable to read file \"%s\": %s", FileName, errno);
    if (S_ISDIR(Info.st_mode)) // Linux opens directories; they are no font
        RaiseFileError("Unable to open file \"%s\": %s", FileName, EISDIR);
    if (Info.st_size < static_cast<off_t>(FONT_SIZE))
        return false;
    std::size_t Done = 0;
    while (Done < FONT_SIZE) {
        const ssize_t Got = ::read(Fd, Font.Data.data() + Done, FONT_SIZE - Done);
        if (Got < 0 && errno == EINTR)
            continue;
        if (Got < 0)
            RaiseFileError("Unable to read file \"%s\": %s", FileName, errno);
        if (Got == 0)
            throw std::runtime_error("Unable to read file \"" + FileName +
                                     "\": File is shorter than its reported size");
        Done += static_cast<std::size_t>(Got);
    }
    return true;
}

} // namespace

[[gnu::noinline]] TFont LoadCP437Font(const std::string &FileName) {
    TFont Font;
    bool Loaded = false;
    try {
        Loaded = ReadFont(FileName, Font);
    } catch (const std::exception &Error) {
        WriteLine("Font file not found or cannot be read, using fallback rendering");
        WriteLine(std::string("Error: ") + Error.what());
        return TFont{};
    }
    if (!Loaded) {
        WriteLine("Font file too small, using fallback rendering");
        return TFont{};
    }
    Font.Loaded = true;
    WriteLine("Font data loaded successfully");
    return Font;
}
