// tarvex-play: the command line, and the run over its inputs.
#pragma once

#include "app/play_mode.h"

#include <optional>
#include <string>
#include <vector>

constexpr int EXIT_MISTAKEN_COMMAND = 2;
inline constexpr const char *PLAY_PROGRAM = "tarvex-play";

// Every mode the program knows, in the order --help lists them.
extern const std::vector<const TPlayMode *> PLAY_MODES;

// A command line read: what to do, or the text of the mistake in it.
struct TPlayCommand {
    enum class TAction { Play, Help, Version } Action = TAction::Play;
    const TPlayMode *Mode = nullptr;
    std::optional<std::string> Output; // -o; "-" is standard output
    std::optional<std::string> Font;   // --font
    bool NoFont = false;
    TModeSettings Settings;
    std::vector<std::string> Inputs;
};
// Reads the arguments (without the program's name) by the GNU conventions;
// raises TCommandLineError for a mistaken command line.
TPlayCommand ReadPlayCommand(const std::vector<std::string> &Args);
struct TCommandLineError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
std::string PlayHelp();

// Where one input's result goes, guarded: it never writes over an input or
// over an existing file of another kind than the mode writes. A regular file
// or a new path is written under a temporary name beside it and renamed when
// all is written (an existing file's permissions kept); standard output
// ("-"), devices and FIFOs are written directly. Failures raise TFileError.
class TPlayOutput {
  public:
    TPlayOutput(const std::string &Path, const TPlayMode &Mode,
                const std::vector<std::string> &Inputs);
    ~TPlayOutput();
    TPlayOutput(const TPlayOutput &) = delete;
    TPlayOutput &operator=(const TPlayOutput &) = delete;
    void Write(const std::uint8_t *Data, std::size_t Size);
    // All is written: closes the file and puts it under its name.
    void Commit();

  private:
    std::string Path_;
    std::string Temporary_; // empty when written directly
    std::optional<TFile> File_;
    bool Committed_ = false;
};

// The output of an input by default: tarvex's name with ".png" made the
// mode's ending (art/FOO.ANS gives art/FOO.whole.png).
std::string PlayOutputName(const std::string &Input, const TPlayMode &Mode);

// Plays every input; returns the exit status (0, 1 or 2).
int RunPlay(const std::vector<std::string> &Args);
