// The converter's entry point in the browser. The page puts the input file
// (and cp437.fnt, when a font is chosen) into the current folder of the
// in-memory file system and calls tarvex_convert with the input's name, as
// a user runs "tarvex art.ans"; the report lines reach the page as standard
// output and error, and the picture stays in the file system for the page.
#include "app/driver.h"

#include <emscripten/emscripten.h>

#include <cstdlib>
#include <cstring>
#include <string>

extern "C" {

EMSCRIPTEN_KEEPALIVE int tarvex_convert(const char *Input) {
    try {
        return RunConversion({Input});
    } catch (...) {
        return ReportUnhandledError();
    }
}

// The name the picture of Input is written under, in memory that the caller
// frees; null when none can be had.
EMSCRIPTEN_KEEPALIVE char *tarvex_output_name(const char *Input) {
    const std::string Name = DefaultOutputName(Input);
    char *Copy = static_cast<char *>(std::malloc(Name.size() + 1));
    if (Copy)
        std::memcpy(Copy, Name.c_str(), Name.size() + 1);
    return Copy;
}
}
