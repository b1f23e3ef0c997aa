// The converter's entry point in the browser. The page puts the input file
// (and cp437.fnt, when a font is chosen) into the current folder of the
// in-memory file system and calls tarvex_convert with the input's name, as
// a user runs "tarvex art.ans"; the report lines reach the page as standard
// output and error, and the picture stays in the file system for the page.
// tarvex_convert_whole makes the whole piece of "tarvex-play --whole" in the
// same walk.
#include "app/driver.h"
#include "common/system.h"
#include "render/render.h"
#include "terminal/terminal.h"

#include <emscripten/emscripten.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>

namespace {

// The whole piece, begun at the first row that scrolls off: a piece that
// never scrolls is its picture, and costs nothing more. The font is read as
// tarvex-play reads it, quietly, with the fallback shapes when it cannot be.
class TWholeOnScroll : public TScrollListener {
  public:
    void RowScrolledOff(std::span<const TCharInfo, ScreenWidth> Row) override {
        if (!Piece) {
            Font_ = ReadCP437Font(FONT_FILE_NAME).Font;
            Piece.emplace(Font_);
        }
        Piece->RowScrolledOff(Row);
    }
    std::optional<TWholePiece> Piece;

  private:
    TFont Font_; // the piece paints with it
};

// The rows of the last whole piece written.
std::uint32_t RowsKept = 0;
std::uint64_t RowsLeftOut = 0;

} // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE int tarvex_convert(const char *Input) {
    try {
        return RunConversion({Input});
    } catch (...) {
        return ReportUnhandledError();
    }
}

// Converts Input as tarvex_convert does and, when it succeeds and rows
// scrolled off, writes its whole piece to WholeFile (nothing otherwise);
// tarvex_whole_rows_kept and tarvex_whole_rows_left_out then tell its rows.
// The conversion's status and report are those of tarvex_convert.
EMSCRIPTEN_KEEPALIVE int tarvex_convert_whole(const char *Input, const char *WholeFile) {
    TWholeOnScroll Whole;
    TTerminal Terminal;
    Terminal.Listener = &Whole;
    RowsKept = 0;
    RowsLeftOut = 0;
    int Status = 0;
    try {
        Status = RunConversion({Input}, Terminal);
    } catch (...) {
        return ReportUnhandledError();
    }
    if (Status != 0 || !Whole.Piece)
        return Status;
    try {
        TFile Output = CreateForWriting(WholeFile);
        Whole.Piece->Finish(Terminal.ScreenBuffer,
                            [&Output](const std::uint8_t *Data, std::size_t Size) {
                                WriteFully(Output, Data, Size);
                            });
        if (!Output.Close())
            RaiseWriteError();
        RowsKept = Whole.Piece->RowsKept();
        RowsLeftOut = Whole.Piece->RowsLeftOut();
    } catch (const std::exception &) {
        std::remove(WholeFile); // no whole piece rather than a part of one
    }
    return Status;
}

EMSCRIPTEN_KEEPALIVE std::uint32_t tarvex_whole_rows_kept() { return RowsKept; }
// A double: the page's numbers are doubles, and the count fits exactly.
EMSCRIPTEN_KEEPALIVE double tarvex_whole_rows_left_out() {
    return static_cast<double>(RowsLeftOut);
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
