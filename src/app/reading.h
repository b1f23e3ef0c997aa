// Reading input: files, pipes and devices in blocks, played on a terminal as
// they arrive, with a trailing SAUCE record (metadata) held back unplayed.
#pragma once

#include "common/system.h"
#include "terminal/terminal.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

// Input is read and played in blocks of this size.
constexpr std::size_t INPUT_BLOCK = 256 * 1024;
// A SAUCE record: 128 bytes at the very end, after an optional comment block
// ("COMNT" and up to 255 lines of 64 bytes) and the end-of-file byte.
constexpr std::size_t SAUCE_RECORD = 128;
constexpr std::string_view COMMENT_ID = "COMNT";
constexpr std::size_t COMMENT_LINE = 64;
constexpr std::size_t MOST_COMMENTS = 255;
// The longest record with all that comes before it.
constexpr std::size_t SAUCE_HOLD =
    1 + COMMENT_ID.size() + COMMENT_LINE * MOST_COMMENTS + SAUCE_RECORD;

// The bytes that are played: everything before a trailing SAUCE record, its
// comment block and the end-of-file byte that precedes them.
std::size_t PlayableLength(std::span<const std::uint8_t> Data);

// Plays an input that arrives in pieces of any size on a terminal, holding
// back its last SAUCE_HOLD bytes until the end is known: a trailing SAUCE
// record is never played. Memory stays the same whatever the input's length.
class TInputFeed {
  public:
    explicit TInputFeed(TTerminal &Terminal);
    // Room for the next bytes: read into it, then Play what arrived.
    std::span<std::uint8_t> Space();
    void Play(std::size_t Count);
    // Copies bytes in through Space and Play.
    void Feed(std::span<const std::uint8_t> Bytes);
    // The input has ended: plays the held bytes that no SAUCE record claims.
    // Nothing may be fed after it.
    void Finish();

  private:
    TTerminal &Terminal_;
    std::unique_ptr<std::uint8_t[]> Buffer_; // SAUCE_HOLD + INPUT_BLOCK bytes
    std::size_t Begin_ = 0;                  // the first byte not played yet
    std::size_t End_ = 0;                    // the end of what arrived
};

// An input of 2^31 bytes or more: "Range check error".
struct TInputTooLarge : std::runtime_error {
    TInputTooLarge() : std::runtime_error("Range check error") {}
};

// Told, after each block, how many bytes were read and the size the file
// reports (0 for pipes and devices).
using TReadProgress = std::function<void(std::uint64_t Done, std::uint64_t Size)>;

// Reads an open file, pipe or device to its end and plays it into Input,
// finishing it, with the limit and the failures of ParseAnsiFile.
void PlayOpenFile(TInputFeed &Input, const TFile &File, const std::string &FileName,
                  const TReadProgress &Progress = {});

// Reads and plays one file, block by block. Files of 2^31 bytes or more are
// refused with "Range check error" before reading, pipes and devices on
// reaching that size; read failures raise.
void ParseAnsiFile(TTerminal &Terminal, const std::string &FileName);
