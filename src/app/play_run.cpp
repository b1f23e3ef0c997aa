// tarvex-play's run: the font, then each input played and written, with
// notes, errors and progress on standard error.
#include "app/play.h"

#include "common/system.h"

#include <chrono>
#include <new>

#ifndef TARVEX_VERSION
#define TARVEX_VERSION "unknown"
#endif

namespace {

constexpr int EXIT_FAILED = 1;
// Progress shows only for work that lasts longer than this, and is
// redrawn at most this often.
constexpr std::chrono::milliseconds PROGRESS_AFTER{1000};
constexpr std::chrono::milliseconds PROGRESS_EVERY{200};

void Report(const std::string &Subject, const std::string &Text) {
    WriteToStandardError(std::string(PLAY_PROGRAM) + ": " + Subject + ": " + Text + "\n");
}

// One line on standard error that counts the bytes read, on a terminal only.
class TProgress {
  public:
    explicit TProgress(std::string Name)
        : Name_(std::move(Name)), Shown_(StandardErrorIsTerminal()),
          Start_(std::chrono::steady_clock::now()) {}
    ~TProgress() { Clear(); }
    void Update(std::uint64_t Done, std::uint64_t Size) {
        if (!Shown_)
            return;
        const auto Now = std::chrono::steady_clock::now();
        if (Now - Start_ < PROGRESS_AFTER || Now - Last_ < PROGRESS_EVERY)
            return;
        Last_ = Now;
        const std::string Amount = Size > 0 ? std::to_string(Done * 100 / Size) + " %"
                                            : std::to_string(Done >> 20) + " MiB read";
        const std::string Line = std::string(PLAY_PROGRAM) + ": " + Name_ + ": " + Amount;
        Width_ = std::max(Width_, Line.size());
        WriteToStandardError("\r" + Line + std::string(Width_ - Line.size(), ' '));
        Drawn_ = true;
    }
    // Takes the line away, before a report or at the end.
    void Clear() {
        if (Drawn_)
            WriteToStandardError("\r" + std::string(Width_, ' ') + "\r");
        Drawn_ = false;
    }

  private:
    std::string Name_;
    bool Shown_;
    bool Drawn_ = false;
    std::size_t Width_ = 0;
    std::chrono::steady_clock::time_point Start_;
    std::chrono::steady_clock::time_point Last_{};
};

// Plays one input and writes its result; false, with its report written,
// when it failed.
bool PlayOne(const std::string &Input, const TPlayCommand &Command, const TFont &Font) {
    const std::string Name = Input == "-" ? "standard input" : Input;
    TProgress Progress(Name);
    try {
        const TFile File = Input == "-" ? DuplicateStandardInput() : OpenForReading(Input);
        TPlayOutput Output(Command.Output.value_or(PlayOutputName(Input, *Command.Mode)),
                           *Command.Mode, Command.Inputs);
        const TPlayInput Played(File, Name, [&Progress](std::uint64_t Done, std::uint64_t Size) {
            Progress.Update(Done, Size);
        });
        const TPlayContext Context{Font, Command.Settings, [&](const std::string &Text) {
                                       Progress.Clear();
                                       Report(Name, Text);
                                   }};
        Command.Mode->Run(Played, Context, [&Output](const std::uint8_t *Data, std::size_t Size) {
            Output.Write(Data, Size);
        });
        Output.Commit();
        return true;
    } catch (const TFileError &Error) {
        Progress.Clear();
        Report(Error.Path == "-" ? Name : Error.Path, Error.Reason);
    } catch (const TInputTooLarge &) {
        Progress.Clear();
        Report(Name, "input of 2 GiB or more refused");
    } catch (const std::bad_alloc &) {
        Progress.Clear();
        Report(Name, "out of memory");
    } catch (const std::exception &Error) {
        Progress.Clear();
        Report(Name, Error.what());
    }
    return false;
}

// The font for every input; nothing when a font given by name cannot be used.
std::optional<TFont> ChooseFont(const TPlayCommand &Command) {
    if (Command.NoFont)
        return TFont{};
    const std::string FileName = Command.Font.value_or(FONT_FILE_NAME);
    const TFontLoad Load = ReadCP437Font(FileName);
    if (Load.Outcome == TFontLoad::TOutcome::Loaded)
        return Load.Font;
    const std::string Reason =
        Load.Outcome == TFontLoad::TOutcome::TooSmall
            ? "too small for a font (" + std::to_string(FONT_SIZE) + " bytes)"
            : Load.Reason;
    if (Command.Font) {
        Report(FileName, Reason);
        return std::nullopt;
    }
    Report(FileName, Reason + "; the fallback shapes are drawn");
    return TFont{};
}

} // namespace

int RunPlay(const std::vector<std::string> &Args) {
    TPlayCommand Command;
    try {
        Command = ReadPlayCommand(Args);
    } catch (const TCommandLineError &Error) {
        WriteToStandardError(std::string(PLAY_PROGRAM) + ": " + Error.what() +
                             " (see tarvex-play --help)\n");
        return EXIT_MISTAKEN_COMMAND;
    }
    if (Command.Action != TPlayCommand::TAction::Play) {
        std::string Text = Command.Action == TPlayCommand::TAction::Help
                               ? PlayHelp()
                               : std::string(PLAY_PROGRAM) + " (tarvex) " + TARVEX_VERSION + "\n";
        for (std::size_t Start = 0; Start < Text.size();) {
            const std::size_t End = Text.find('\n', Start);
            WriteLine(std::string_view(Text).substr(Start, End - Start));
            Start = End + 1;
        }
        return EXIT_SUCCESS;
    }
    const std::optional<TFont> Font = ChooseFont(Command);
    if (!Font)
        return EXIT_FAILED;
    int Status = EXIT_SUCCESS;
    for (const std::string &Input : Command.Inputs)
        if (!PlayOne(Input, Command, *Font))
            Status = EXIT_FAILED;
    return Status;
}
