#include "render/render.h"

#include "common/system.h"

namespace {

// Loads the font or raises; false when the file is too small. The file is
// closed before this returns.
bool ReadFont(const std::string &FileName, TFont &Font) {
    // Non-blocking, so a FIFO or device of that name cannot hang the run;
    // their reported size is 0, so they are too small.
    const TFile File = OpenForReading(FileName, true);
    if (QueryFile(File, FileName).Size < FONT_SIZE)
        return false;
    ReadExactly(File, Font.Data.data(), FONT_SIZE, FileName);
    return true;
}

} // namespace

// Out of line: a stage of its own in profiles (scripts/bench_report.py).
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
