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

TFontLoad ReadCP437Font(const std::string &FileName) {
    TFontLoad Load{TFont{}, TFontLoad::TOutcome::Loaded, {}, {}};
    try {
        if (!ReadFont(FileName, Load.Font)) {
            Load.Font = TFont{};
            Load.Outcome = TFontLoad::TOutcome::TooSmall;
            return Load;
        }
    } catch (const std::exception &Error) {
        Load.Font = TFont{};
        Load.Outcome = TFontLoad::TOutcome::Unreadable;
        Load.Error = Error.what();
        const auto *FileError = dynamic_cast<const TFileError *>(&Error);
        Load.Reason = FileError ? FileError->Reason : Load.Error;
        return Load;
    }
    Load.Font.Loaded = true;
    return Load;
}

// Out of line: a stage of its own in profiles (scripts/bench_report.py).
[[gnu::noinline]] TFont LoadCP437Font(const std::string &FileName) {
    TFontLoad Load = ReadCP437Font(FileName);
    switch (Load.Outcome) {
    case TFontLoad::TOutcome::Unreadable:
        WriteLine("Font file not found or cannot be read, using fallback rendering");
        WriteLine("Error: " + Load.Error);
        break;
    case TFontLoad::TOutcome::TooSmall:
        WriteLine("Font file too small, using fallback rendering");
        break;
    case TFontLoad::TOutcome::Loaded: WriteLine("Font data loaded successfully"); break;
    }
    return Load.Font;
}
