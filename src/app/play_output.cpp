// Where tarvex-play's results go, and what it refuses to write over.
#include "app/play.h"

#include "app/driver.h"

namespace {

// The temporary files tried beside the output before giving up.
constexpr int MOST_TEMPORARY_NAMES = 100;

[[noreturn]] void Refuse(const std::string &Path, const std::string &Reason) {
    throw TFileError(Path + ": " + Reason, Path, Reason);
}

TFile CreateTemporary(const std::string &Path, std::string &Name) {
    for (int Attempt = 0; Attempt < MOST_TEMPORARY_NAMES; ++Attempt) {
        Name = Path + ".tmp" + (Attempt == 0 ? std::string() : std::to_string(Attempt));
        if (std::optional<TFile> File = CreateNewFile(Name))
            return std::move(*File);
    }
    Refuse(Path, "no free temporary name beside it");
}

} // namespace

std::string PlayOutputName(const std::string &Input, const TPlayMode &Mode) {
    const std::string Png = DefaultOutputName(Input);
    return Png.substr(0, Png.size() - 4) + std::string(Mode.Extension);
}

TPlayOutput::TPlayOutput(const std::string &Path, const TPlayMode &Mode,
                         const std::vector<std::string> &Inputs)
    : Path_(Path) {
    if (Path == "-") {
        File_.emplace(DuplicateStandardOutput());
        return;
    }
    const std::optional<TFileKind> Kind = PathKind(Path);
    if (Kind == TFileKind::Directory)
        Refuse(Path, "Is a directory");
    for (const std::string &Input : Inputs)
        if (Input != "-" && IsSameRegularFile(Input, Path))
            Refuse(Path, "would write over an input; not replaced");
    if (Kind == TFileKind::Other) { // a device or FIFO: written as it is
        File_.emplace(CreateForWriting(Path));
        return;
    }
    if (Kind == TFileKind::Regular) {
        const std::optional<std::string> Head = ReadFileHead(Path, 16);
        if (Head && !Head->empty() && !Mode.MayReplace(*Head))
            Refuse(Path, "existing file is not a " + std::string(Mode.Kind) + "; not replaced");
    }
    File_.emplace(CreateTemporary(Path, Temporary_));
    if (Kind == TFileKind::Regular)
        CopyPermissions(*File_, Path);
}

TPlayOutput::~TPlayOutput() {
    if (!Temporary_.empty() && !Committed_) {
        File_->Close();
        RemoveFile(Temporary_);
    }
}

void TPlayOutput::Write(const std::uint8_t *Data, std::size_t Size) {
    try {
        WriteFully(*File_, Data, Size);
    } catch (const std::runtime_error &) {
        Refuse(Path_, SystemErrorText(LastSystemError()));
    }
}

void TPlayOutput::Commit() {
    if (!File_->Close())
        Refuse(Path_, SystemErrorText(LastSystemError()));
    if (!Temporary_.empty())
        RenameOver(Temporary_, Path_);
    Committed_ = true;
}
