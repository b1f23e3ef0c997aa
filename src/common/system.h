// The operating system's services as the converter needs them: files, the
// error texts, and report lines. POSIX and Windows behind one interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

enum class TFileKind { Regular, Directory, Other };

struct TFileInfo {
    TFileKind Kind;
    std::uint64_t Size; // as the file system reports it (0 for pipes and devices)
};

// An open file, closed when it goes out of scope.
class TFile {
  public:
    TFile() = default;
    explicit TFile(std::intptr_t Handle) : Handle_(Handle) {}
    // Returning a named file needs it, though the copy is elided at run time.
    TFile(TFile &&Other) noexcept : Handle_(Other.Handle_) { Other.Handle_ = NO_HANDLE; }
    TFile &operator=(TFile &&) = delete;
    TFile(const TFile &) = delete;
    ~TFile();
    std::intptr_t Handle() const { return Handle_; }
    // Closes now; false when the system reports an error (data may be lost).
    bool Close();

    static constexpr std::intptr_t NO_HANDLE = -1;

  private:
    std::intptr_t Handle_ = NO_HANDLE;
};

// The system's text for an error code (errno, or GetLastError on Windows),
// without a trailing line end.
std::string SystemErrorText(int ErrorCode);
// The code of the last failed system call.
int LastSystemError();

enum class TFileAction { Open, Read, Create };
// A failed file operation: its text as below, and the path and reason apart
// for programs that report them in their own words.
struct TFileError : std::runtime_error {
    TFileError(const std::string &Text, std::string FilePath, std::string FileReason)
        : std::runtime_error(Text), Path(std::move(FilePath)), Reason(std::move(FileReason)) {}
    std::string Path;
    std::string Reason;
};
// Raises std::runtime_error("Unable to <open|read|create> file \"<Path>\":
// <Reason>"): the one place where the texts of failed file operations are made.
[[noreturn]] void RaiseFileError(TFileAction Action, const std::string &Path,
                                 std::string_view Reason);
// The same with the system's text for ErrorCode as the reason.
[[noreturn]] void RaiseFileError(TFileAction Action, const std::string &Path, int ErrorCode);

// Opens an existing file for reading; raises "Unable to open file ...".
// NonBlocking keeps a FIFO or device from stalling the open and the reads.
TFile OpenForReading(const std::string &Path, bool NonBlocking = false);
TFileInfo QueryFile(const TFile &File, const std::string &Path);
// Reads until Count bytes or end of data, retrying partial reads; raises
// "Unable to read file ..." on errors.
std::size_t ReadFully(const TFile &File, std::uint8_t *Into, std::size_t Count,
                      const std::string &Path);
// Reads exactly Count bytes: a file that ends sooner raises "Unable to read
// file ...: File is shorter than its reported size". Returns Count.
std::size_t ReadExactly(const TFile &File, std::uint8_t *Into, std::size_t Count,
                        const std::string &Path);
// Creates or empties a file for writing; raises "Unable to create file ...".
TFile CreateForWriting(const std::string &Path);
// Stores all bytes, retrying partial writes; raises "Stream write error".
void WriteFully(const TFile &File, const std::uint8_t *Data, std::size_t Size);
// Raises "Stream write error": a write or the closing of a written file failed.
[[noreturn]] void RaiseWriteError();
// Standard input and output as files of their own (duplicated handles).
TFile DuplicateStandardInput();
TFile DuplicateStandardOutput();
// Creates a file that must not exist yet; nothing when it does. Other
// failures raise "Unable to create file ...".
std::optional<TFile> CreateNewFile(const std::string &Path);
// Gives File the permissions of the existing file at Like (POSIX only).
void CopyPermissions(const TFile &File, const std::string &Like);
// Puts From in To's place, replacing it; raises "Unable to create file ...".
void RenameOver(const std::string &From, const std::string &To);
// Removes a file, quietly: for the clean-up after a failure.
void RemoveFile(const std::string &Path);
// What stands at a path, links followed: nothing (Kind empty), a regular
// file, a directory, or something else (a device, a FIFO).
std::optional<TFileKind> PathKind(const std::string &Path);
// True when standard error is a terminal (a console on Windows).
bool StandardErrorIsTerminal();

// True for an existing file that is not a directory.
bool FileExists(const std::string &Path);
// True when both paths name one existing regular file.
bool IsSameRegularFile(const std::string &First, const std::string &Second);
// The first Count bytes (fewer if it is shorter) of an existing regular file,
// links followed; nothing when there is no such file or it cannot be opened.
std::optional<std::string> ReadFileHead(const std::string &Path, std::size_t Count);

// A report line could not be written. Kept apart from other errors so that
// no handler mistakes it for a failure of the file it was working on.
struct TOutputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// Writes one report line to standard output at once, with the platform's
// line end and in the console's encoding; raises TOutputError.
void WriteLine(std::string_view Text);
// Best effort: for the report of an error that escaped.
void WriteToStandardError(std::string_view Text);

// A broken pipe or a file-size limit must show as a write error, not a kill.
void IgnoreWriteSignals();
