#include "common/system.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

void RaiseFileError(TFileAction Action, const std::string &Path, std::string_view Reason) {
    const char *Verb = Action == TFileAction::Open   ? "open"
                       : Action == TFileAction::Read ? "read"
                                                     : "create";
    throw TFileError("Unable to " + std::string(Verb) + " file \"" + Path +
                         "\": " + std::string(Reason),
                     Path, std::string(Reason));
}

void RaiseFileError(TFileAction Action, const std::string &Path, int ErrorCode) {
    RaiseFileError(Action, Path, SystemErrorText(ErrorCode));
}

void RaiseWriteError() { throw std::runtime_error("Stream write error"); }

namespace {
[[noreturn]] void RaiseOutputError(int ErrorCode) {
    throw TOutputError("Unable to write to standard output: " + SystemErrorText(ErrorCode));
}
} // namespace

std::size_t ReadExactly(const TFile &File, std::uint8_t *Into, std::size_t Count,
                        const std::string &Path) {
    if (ReadFully(File, Into, Count, Path) < Count)
        RaiseFileError(TFileAction::Read, Path, "File is shorter than its reported size");
    return Count;
}

std::optional<std::string> ReadFileHead(const std::string &Path, std::size_t Count) {
    try {
        const TFile File = OpenForReading(Path, true);
        if (QueryFile(File, Path).Kind != TFileKind::Regular)
            return std::nullopt;
        std::string Head(Count, '\0');
        Head.resize(ReadFully(File, reinterpret_cast<std::uint8_t *>(Head.data()), Count, Path));
        return Head;
    } catch (const std::runtime_error &) {
        return std::nullopt; // missing, a directory, or not readable
    }
}

// Closes on every path, errors included: the page runs many conversions in
// one process.
TFile::~TFile() { Close(); }

namespace {

// Error texts end in a line end (and on Windows a blank before it).
std::string WithoutTrailingBlanks(std::string Text) {
    while (!Text.empty() && (Text.back() == '\n' || Text.back() == '\r' || Text.back() == ' '))
        Text.pop_back();
    return Text;
}

} // namespace

#if defined(_WIN32)

namespace {

HANDLE AsHandle(const TFile &File) { return reinterpret_cast<HANDLE>(File.Handle()); }

// Converts between the system's narrow code page and the console's.
std::string ToConsoleEncoding(std::string_view Text) {
    const UINT Console = GetConsoleOutputCP();
    if (Console == 0 || Console == GetACP() || Text.empty())
        return std::string(Text);
    const int WideLength =
        MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0);
    std::wstring Wide(static_cast<std::size_t>(WideLength), L'\0');
    MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), Wide.data(),
                        WideLength);
    const int Length =
        WideCharToMultiByte(Console, 0, Wide.data(), WideLength, nullptr, 0, nullptr, nullptr);
    std::string Converted(static_cast<std::size_t>(Length), '\0');
    WideCharToMultiByte(Console, 0, Wide.data(), WideLength, Converted.data(), Length, nullptr,
                        nullptr);
    return Converted;
}

// Stores all bytes; false, with the system's error code, when a write fails.
bool WriteAllTo(HANDLE Out, const std::uint8_t *Data, std::size_t Size, DWORD &Error) {
    while (Size > 0) {
        const DWORD Want = static_cast<DWORD>(std::min<std::size_t>(Size, 1u << 30));
        DWORD Written = 0;
        if (Out == nullptr || Out == INVALID_HANDLE_VALUE ||
            !WriteFile(Out, Data, Want, &Written, nullptr) || Written == 0) {
            Error = Out == nullptr || Out == INVALID_HANDLE_VALUE ? ERROR_INVALID_HANDLE
                                                                  : GetLastError();
            return false;
        }
        Data += Written;
        Size -= Written;
    }
    return true;
}

void WriteToHandle(DWORD Which, const std::string &Bytes, bool Raise) {
    DWORD Error = 0;
    if (!WriteAllTo(GetStdHandle(Which), reinterpret_cast<const std::uint8_t *>(Bytes.data()),
                    Bytes.size(), Error) &&
        Raise)
        RaiseOutputError(static_cast<int>(Error));
}

} // namespace

bool TFile::Close() {
    if (Handle_ == NO_HANDLE)
        return true;
    const bool Closed = CloseHandle(reinterpret_cast<HANDLE>(Handle_)) != 0;
    Handle_ = NO_HANDLE; // the destructor must not close a reused handle again
    return Closed;
}

std::string SystemErrorText(int ErrorCode) {
    char *Buffer = nullptr;
    const DWORD Length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(ErrorCode), 0, reinterpret_cast<LPSTR>(&Buffer), 0, nullptr);
    std::string Text =
        Length > 0 && Buffer ? std::string(Buffer, Length) : "Error " + std::to_string(ErrorCode);
    LocalFree(Buffer);
    return WithoutTrailingBlanks(Text);
}

int LastSystemError() { return static_cast<int>(GetLastError()); }

TFile OpenForReading(const std::string &Path, bool) {
    const HANDLE Handle =
        CreateFileA(Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (Handle == INVALID_HANDLE_VALUE)
        RaiseFileError(TFileAction::Open, Path, LastSystemError());
    return TFile(reinterpret_cast<std::intptr_t>(Handle));
}

TFileInfo QueryFile(const TFile &File, const std::string &Path) {
    if (GetFileType(AsHandle(File)) != FILE_TYPE_DISK)
        return TFileInfo{TFileKind::Other, 0};
    LARGE_INTEGER Size;
    if (!GetFileSizeEx(AsHandle(File), &Size))
        RaiseFileError(TFileAction::Read, Path, LastSystemError());
    return TFileInfo{TFileKind::Regular, static_cast<std::uint64_t>(Size.QuadPart)};
}

std::size_t ReadFully(const TFile &File, std::uint8_t *Into, std::size_t Count,
                      const std::string &Path) {
    std::size_t Done = 0;
    while (Done < Count) {
        const DWORD Want = static_cast<DWORD>(std::min<std::size_t>(Count - Done, 1u << 30));
        DWORD Got = 0;
        if (!ReadFile(AsHandle(File), Into + Done, Want, &Got, nullptr)) {
            const DWORD Error = GetLastError();
            if (Error == ERROR_BROKEN_PIPE || Error == ERROR_HANDLE_EOF)
                break; // the writer closed its end: end of data
            RaiseFileError(TFileAction::Read, Path, static_cast<int>(Error));
        }
        if (Got == 0)
            break;
        Done += Got;
    }
    return Done;
}

TFile CreateForWriting(const std::string &Path) {
    const HANDLE Handle = CreateFileA(Path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (Handle == INVALID_HANDLE_VALUE)
        RaiseFileError(TFileAction::Create, Path, LastSystemError());
    return TFile(reinterpret_cast<std::intptr_t>(Handle));
}

void WriteFully(const TFile &File, const std::uint8_t *Data, std::size_t Size) {
    DWORD Error = 0;
    if (!WriteAllTo(AsHandle(File), Data, Size, Error))
        RaiseWriteError();
}

bool FileExists(const std::string &Path) {
    const DWORD Attributes = GetFileAttributesA(Path.c_str());
    return Attributes != INVALID_FILE_ATTRIBUTES && !(Attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsSameRegularFile(const std::string &First, const std::string &Second) {
    const auto Identity = [](const std::string &Path, BY_HANDLE_FILE_INFORMATION &Info) {
        const HANDLE Handle =
            CreateFileA(Path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (Handle == INVALID_HANDLE_VALUE)
            return false;
        const bool Known = GetFileType(Handle) == FILE_TYPE_DISK &&
                           GetFileInformationByHandle(Handle, &Info) &&
                           !(Info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
        CloseHandle(Handle);
        return Known;
    };
    BY_HANDLE_FILE_INFORMATION A;
    BY_HANDLE_FILE_INFORMATION B;
    return Identity(First, A) && Identity(Second, B) &&
           A.dwVolumeSerialNumber == B.dwVolumeSerialNumber &&
           A.nFileIndexHigh == B.nFileIndexHigh && A.nFileIndexLow == B.nFileIndexLow;
}

namespace {
TFile DuplicateStandard(DWORD Which) {
    HANDLE Copy = INVALID_HANDLE_VALUE;
    const HANDLE Process = GetCurrentProcess();
    if (!DuplicateHandle(Process, GetStdHandle(Which), Process, &Copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        RaiseFileError(Which == STD_INPUT_HANDLE ? TFileAction::Open : TFileAction::Create, "-",
                       LastSystemError());
    return TFile(reinterpret_cast<std::intptr_t>(Copy));
}
} // namespace

TFile DuplicateStandardInput() { return DuplicateStandard(STD_INPUT_HANDLE); }
TFile DuplicateStandardOutput() { return DuplicateStandard(STD_OUTPUT_HANDLE); }

std::optional<TFile> CreateNewFile(const std::string &Path) {
    const HANDLE Handle = CreateFileA(Path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (Handle == INVALID_HANDLE_VALUE) {
        const DWORD Error = GetLastError();
        if (Error == ERROR_FILE_EXISTS || Error == ERROR_ALREADY_EXISTS)
            return std::nullopt;
        RaiseFileError(TFileAction::Create, Path, static_cast<int>(Error));
    }
    return TFile(reinterpret_cast<std::intptr_t>(Handle));
}

void CopyPermissions(const TFile &, const std::string &) {} // new files inherit the folder's

void RenameOver(const std::string &From, const std::string &To) {
    if (!MoveFileExA(From.c_str(), To.c_str(), MOVEFILE_REPLACE_EXISTING))
        RaiseFileError(TFileAction::Create, To, LastSystemError());
}

void RemoveFile(const std::string &Path) { DeleteFileA(Path.c_str()); }

std::optional<TFileKind> PathKind(const std::string &Path) {
    const HANDLE Handle =
        CreateFileA(Path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (Handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION Info;
    TFileKind Kind = TFileKind::Other;
    if (GetFileType(Handle) == FILE_TYPE_DISK && GetFileInformationByHandle(Handle, &Info))
        Kind = Info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? TFileKind::Directory
                                                                : TFileKind::Regular;
    CloseHandle(Handle);
    return Kind;
}

bool StandardErrorIsTerminal() {
    DWORD Mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &Mode) != 0;
}

void WriteLine(std::string_view Text) {
    WriteToHandle(STD_OUTPUT_HANDLE, ToConsoleEncoding(Text) + "\r\n", true);
}

void WriteToStandardError(std::string_view Text) {
    std::string Lines;
    for (const char C : Text) // report lines end in CR LF here too
        Lines += C == '\n' ? std::string("\r\n") : std::string(1, C);
    WriteToHandle(STD_ERROR_HANDLE, ToConsoleEncoding(Lines), false);
}

#else

namespace {

int AsFd(const TFile &File) { return static_cast<int>(File.Handle()); }

// Stores all bytes: a file, or a report line on standard output or error.
bool WriteAllTo(int Fd, const std::uint8_t *Data, std::size_t Size, int &Error) {
    while (Size > 0) {
        const ssize_t Written = ::write(Fd, Data, Size);
        if (Written < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            // Interrupted, or left non-blocking by whoever gave it to us:
            // wait until it takes more.
            pollfd Ready{Fd, POLLOUT, 0};
            ::poll(&Ready, 1, -1);
            continue;
        }
        if (Written <= 0) {
            Error = Written < 0 ? errno : EIO;
            return false;
        }
        Data += Written;
        Size -= static_cast<std::size_t>(Written);
    }
    return true;
}

#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif

} // namespace

bool TFile::Close() {
    if (Handle_ == NO_HANDLE)
        return true;
    const bool Closed = ::close(static_cast<int>(Handle_)) == 0;
    Handle_ = NO_HANDLE; // the destructor must not close a reused handle again
    return Closed;
}

std::string SystemErrorText(int ErrorCode) {
    return WithoutTrailingBlanks(std::strerror(ErrorCode));
}

int LastSystemError() { return errno; }

TFile OpenForReading(const std::string &Path, bool NonBlocking) {
    const int Fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC | (NonBlocking ? O_NONBLOCK : 0));
    if (Fd < 0)
        RaiseFileError(TFileAction::Open, Path, errno);
    TFile File(Fd);
    struct stat Info;
    if (::fstat(Fd, &Info) == 0 &&
        S_ISDIR(Info.st_mode)) // Linux opens directories; they are no file
        RaiseFileError(TFileAction::Open, Path, EISDIR);
    return File;
}

TFileInfo QueryFile(const TFile &File, const std::string &Path) {
    struct stat Info;
    if (::fstat(AsFd(File), &Info) != 0)
        RaiseFileError(TFileAction::Read, Path, errno);
    const TFileKind Kind = S_ISREG(Info.st_mode)   ? TFileKind::Regular
                           : S_ISDIR(Info.st_mode) ? TFileKind::Directory
                                                   : TFileKind::Other;
    return TFileInfo{Kind,
                     Kind == TFileKind::Regular ? static_cast<std::uint64_t>(Info.st_size) : 0};
}

std::size_t ReadFully(const TFile &File, std::uint8_t *Into, std::size_t Count,
                      const std::string &Path) {
    std::size_t Done = 0;
    while (Done < Count) {
        const ssize_t Got = ::read(AsFd(File), Into + Done, Count - Done);
        if (Got < 0) {
            if (errno == EINTR)
                continue;
            RaiseFileError(TFileAction::Read, Path, errno);
        }
        if (Got == 0)
            break;
        Done += static_cast<std::size_t>(Got);
    }
    return Done;
}

TFile CreateForWriting(const std::string &Path) {
    const int Fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (Fd < 0)
        RaiseFileError(TFileAction::Create, Path, errno);
    return TFile(Fd);
}

void WriteFully(const TFile &File, const std::uint8_t *Data, std::size_t Size) {
    int Error;
    if (!WriteAllTo(AsFd(File), Data, Size, Error))
        RaiseWriteError();
}

bool FileExists(const std::string &Path) {
    struct stat Info;
    return ::stat(Path.c_str(), &Info) == 0 && !S_ISDIR(Info.st_mode);
}

bool IsSameRegularFile(const std::string &First, const std::string &Second) {
    struct stat A;
    struct stat B;
    return ::stat(First.c_str(), &A) == 0 && S_ISREG(A.st_mode) &&
           ::stat(Second.c_str(), &B) == 0 && A.st_dev == B.st_dev && A.st_ino == B.st_ino;
}

namespace {
TFile DuplicateStandard(int Fd) {
    const int Copy = ::fcntl(Fd, F_DUPFD_CLOEXEC, 0);
    if (Copy < 0)
        RaiseFileError(Fd == 0 ? TFileAction::Open : TFileAction::Create, "-", errno);
    return TFile(Copy);
}
} // namespace

TFile DuplicateStandardInput() { return DuplicateStandard(0); }
TFile DuplicateStandardOutput() { return DuplicateStandard(1); }

std::optional<TFile> CreateNewFile(const std::string &Path) {
    const int Fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (Fd < 0) {
        if (errno == EEXIST)
            return std::nullopt;
        RaiseFileError(TFileAction::Create, Path, errno);
    }
    return TFile(Fd);
}

void CopyPermissions(const TFile &File, const std::string &Like) {
    struct stat Info;
    if (::stat(Like.c_str(), &Info) == 0)
        ::fchmod(AsFd(File), Info.st_mode & 07777);
}

void RenameOver(const std::string &From, const std::string &To) {
    if (::rename(From.c_str(), To.c_str()) != 0)
        RaiseFileError(TFileAction::Create, To, errno);
}

void RemoveFile(const std::string &Path) { ::unlink(Path.c_str()); }

std::optional<TFileKind> PathKind(const std::string &Path) {
    struct stat Info;
    if (::stat(Path.c_str(), &Info) != 0)
        return std::nullopt;
    return S_ISREG(Info.st_mode)   ? TFileKind::Regular
           : S_ISDIR(Info.st_mode) ? TFileKind::Directory
                                   : TFileKind::Other;
}

bool StandardErrorIsTerminal() { return ::isatty(2) == 1; }

void WriteLine(std::string_view Text) {
    std::string Line(Text);
    Line.push_back('\n');
    int Error = 0;
    if (!WriteAllTo(1, reinterpret_cast<const std::uint8_t *>(Line.data()), Line.size(), Error))
        RaiseOutputError(Error);
}

void WriteToStandardError(std::string_view Text) {
    int Error;
    // Nowhere is left to report a failure.
    WriteAllTo(2, reinterpret_cast<const std::uint8_t *>(Text.data()), Text.size(), Error);
}

#endif

void IgnoreWriteSignals() {
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}
