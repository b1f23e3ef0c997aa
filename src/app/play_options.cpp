// tarvex-play's command line: GNU-style options, one mode, the inputs.
#include "app/play.h"

#include <algorithm>

const std::vector<const TPlayMode *> PLAY_MODES = {&WHOLE_MODE};

namespace {

enum class TShared { Output, Font, NoFont, Help, Version };
struct TSharedOption {
    std::string_view Name;
    bool TakesValue;
    TShared Which;
};
constexpr std::array<TSharedOption, 5> SHARED_OPTIONS = {{
    {"output", true, TShared::Output},
    {"font", true, TShared::Font},
    {"no-font", false, TShared::NoFont},
    {"help", false, TShared::Help},
    {"version", false, TShared::Version},
}};

[[noreturn]] void Mistake(const std::string &Text) { throw TCommandLineError(Text); }

// A long option: its full name, whether it takes a value, and who owns it.
struct TLongOption {
    std::string Name;
    bool TakesValue = false;
    const TSharedOption *Shared = nullptr;
    const TPlayMode *Mode = nullptr; // the mode it picks, or whose option it is
    bool PicksMode = false;
};

std::vector<TLongOption> AllLongOptions() {
    std::vector<TLongOption> All;
    for (const TSharedOption &Option : SHARED_OPTIONS)
        All.push_back({std::string(Option.Name), Option.TakesValue, &Option, nullptr, false});
    for (const TPlayMode *Mode : PLAY_MODES) {
        All.push_back({std::string(Mode->Name), false, nullptr, Mode, true});
        for (const TModeOption &Option : Mode->Options)
            if (std::none_of(All.begin(), All.end(),
                             [&](const TLongOption &Known) { return Known.Name == Option.Name; }))
                All.push_back({std::string(Option.Name), Option.TakesValue, nullptr, Mode, false});
    }
    return All;
}

// The option named exactly, or by an unambiguous beginning.
const TLongOption &FindLongOption(const std::vector<TLongOption> &All, std::string_view Name) {
    const TLongOption *Found = nullptr;
    int Matches = 0;
    for (const TLongOption &Option : All) {
        if (Option.Name == Name)
            return Option;
        if (Option.Name.starts_with(Name)) {
            Found = &Option;
            ++Matches;
        }
    }
    if (Matches == 0)
        Mistake("unrecognized option '--" + std::string(Name) + "'");
    if (Matches > 1)
        Mistake("option '--" + std::string(Name) + "' is ambiguous");
    return *Found;
}

void ApplyShared(TPlayCommand &Command, TShared Which, const std::string &Value) {
    switch (Which) {
    case TShared::Output: Command.Output = Value; break;
    case TShared::Font: Command.Font = Value; break;
    case TShared::NoFont: Command.NoFont = true; break;
    case TShared::Help: Command.Action = TPlayCommand::TAction::Help; break;
    case TShared::Version: Command.Action = TPlayCommand::TAction::Version; break;
    }
}

// Whether the mode takes an option of this name.
bool ModeTakes(const TPlayMode &Mode, std::string_view Name) {
    return std::any_of(Mode.Options.begin(), Mode.Options.end(),
                       [&](const TModeOption &Option) { return Option.Name == Name; });
}

void CheckCommand(const TPlayCommand &Command, const std::vector<const TPlayMode *> &Modes) {
    if (Modes.size() > 1)
        Mistake("only one of --" + std::string(Modes[0]->Name) + " and --" +
                std::string(Modes[1]->Name) + " may be given");
    if (Modes.empty())
        Mistake("no mode given (--whole)");
    for (const auto &[Name, Value] : Command.Settings)
        if (!ModeTakes(*Command.Mode, Name))
            Mistake("option '--" + Name + "' does not apply to --" +
                    std::string(Command.Mode->Name));
    if (Command.Font && Command.NoFont)
        Mistake("--font and --no-font exclude each other");
    if (Command.Inputs.empty())
        Mistake("no input file given");
    if (Command.Output && Command.Inputs.size() > 1)
        Mistake("-o names the output of a single input");
    if (!Command.Output &&
        std::find(Command.Inputs.begin(), Command.Inputs.end(), "-") != Command.Inputs.end())
        Mistake("standard input ('-') needs -o");
}

} // namespace

TPlayCommand ReadPlayCommand(const std::vector<std::string> &Args) {
    const std::vector<TLongOption> All = AllLongOptions();
    TPlayCommand Command;
    std::vector<const TPlayMode *> Modes;
    bool OptionsEnded = false;
    for (std::size_t I = 0; I < Args.size(); ++I) {
        const std::string &Arg = Args[I];
        if (OptionsEnded || Arg == "-" || Arg.empty() || Arg[0] != '-') {
            Command.Inputs.push_back(Arg);
        } else if (Arg == "--") {
            OptionsEnded = true;
        } else if (Arg.starts_with("--")) {
            const std::size_t Equals = Arg.find('=');
            const TLongOption &Option =
                FindLongOption(All, std::string_view(Arg).substr(2, Equals - 2));
            std::string Value;
            if (Option.TakesValue) {
                if (Equals != std::string::npos)
                    Value = Arg.substr(Equals + 1);
                else if (I + 1 < Args.size())
                    Value = Args[++I];
                else
                    Mistake("option '--" + Option.Name + "' requires an argument");
            } else if (Equals != std::string::npos) {
                Mistake("option '--" + Option.Name + "' doesn't allow an argument");
            }
            if (Option.Shared)
                ApplyShared(Command, Option.Shared->Which, Value);
            else if (Option.PicksMode) {
                if (std::find(Modes.begin(), Modes.end(), Option.Mode) == Modes.end())
                    Modes.push_back(Option.Mode);
            } else
                Command.Settings.emplace_back(Option.Name, Value);
        } else {
            // Short options, clustered: -h, and -o with its value attached or next.
            for (std::size_t At = 1; At < Arg.size(); ++At) {
                if (Arg[At] == 'h') {
                    Command.Action = TPlayCommand::TAction::Help;
                } else if (Arg[At] == 'o') {
                    if (At + 1 < Arg.size())
                        Command.Output = Arg.substr(At + 1);
                    else if (I + 1 < Args.size())
                        Command.Output = Args[++I];
                    else
                        Mistake("option requires an argument -- 'o'");
                    break;
                } else {
                    Mistake(std::string("invalid option -- '") + Arg[At] + "'");
                }
            }
        }
    }
    if (Command.Action != TPlayCommand::TAction::Play)
        return Command;
    Command.Mode = Modes.empty() ? nullptr : Modes[0];
    CheckCommand(Command, Modes);
    return Command;
}

std::string PlayHelp() {
    std::string Text = "Usage: tarvex-play MODE [OPTION]... INPUT...\n"
                       "Plays ANSI art on an 80 x 25 PC text screen, as tarvex does, and writes\n"
                       "what tarvex's single picture cannot show. INPUT - is standard input.\n"
                       "\nModes (exactly one):\n";
    for (const TPlayMode *Mode : PLAY_MODES)
        Text += "  --" + std::string(Mode->Name) + std::string(12 - Mode->Name.size(), ' ') +
                std::string(Mode->Help) + "; writes INPUT's stem + " +
                std::string(Mode->Extension) + "\n";
    Text += "\nOptions:\n"
            "  -o, --output=FILE  the output of a single input; - is standard output\n"
            "      --font=FILE    a raw 8 x 16 CP437 font (default: cp437.fnt here)\n"
            "      --no-font      draw the fallback shapes\n"
            "  -h, --help         show this help\n"
            "      --version      show the version\n"
            "\nExit status: 0 when every input was written, 1 when any failed,\n"
            "2 for a mistaken command line.\n";
    return Text;
}
