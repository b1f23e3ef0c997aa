// tarvex-play's modes. A mode is one small unit that fills a TPlayMode:
// the option that picks it, the ending of its default output name, the
// options of its own, which existing files it may replace, and Run, which
// plays one input and writes the result to a sink. The program around it
// reads the command line, opens the input, guards the output (temporary
// name, rename, refusals), shows progress and reports. List a new mode in
// PLAY_MODES (play_options.cpp).
#pragma once

#include "app/reading.h"
#include "png/png.h"
#include "render/render.h"

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// An option only some modes take ("--bps", with a value).
struct TModeOption {
    std::string_view Name; // without the leading "--"
    bool TakesValue;
};
// The mode's own options as given, in order: name and value ("" for none).
using TModeSettings = std::vector<std::pair<std::string, std::string>>;

// One input being played: its name as given, and its bytes.
class TPlayInput {
  public:
    TPlayInput(const TFile &File, std::string Name, TReadProgress Progress)
        : File_(File), Name_(std::move(Name)), Progress_(std::move(Progress)) {}
    const std::string &Name() const { return Name_; }
    // Plays the whole input on Terminal (a trailing SAUCE record held back).
    void PlayOn(TTerminal &Terminal) const {
        TInputFeed Feed(Terminal);
        PlayOpenFile(Feed, File_, Name_, Progress_);
    }

  private:
    const TFile &File_;
    std::string Name_;
    TReadProgress Progress_;
};

// What Run gets besides the input and the sink.
struct TPlayContext {
    const TFont &Font;
    const TModeSettings &Settings;
    // A note on this input (one line, status unchanged).
    std::function<void(const std::string &)> Note;
};

struct TPlayMode {
    std::string_view Name;      // the option: "whole" is --whole
    std::string_view Extension; // the output name's ending: ".whole.png"
    std::string_view Kind;      // what it writes, for messages: "PNG"
    std::string_view Help;      // one line for --help
    std::span<const TModeOption> Options;
    // True when an existing file that starts with Head may be replaced.
    bool (*MayReplace)(std::string_view Head);
    // Plays Input and writes the result through Sink; failures raise.
    void (*Run)(const TPlayInput &Input, const TPlayContext &Context, const TByteSink &Sink);
};

extern const TPlayMode WHOLE_MODE;
