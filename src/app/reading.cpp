#include "app/reading.h"

#include "common/system.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

constexpr std::uint8_t SUB = 26;
// The feed's buffer: the held bytes and one block.
constexpr std::size_t BUFFER = SAUCE_HOLD + INPUT_BLOCK;
// The walk counts bytes in 32 bits; anything this large is refused.
constexpr std::uint64_t INPUT_LIMIT = std::uint64_t{1} << 31;
// Where a SAUCE record keeps its count of comment lines.
constexpr std::size_t COMMENT_COUNT_AT = 104;

// Refuses an input of INPUT_LIMIT bytes or more.
void CheckInputSize(std::uint64_t Size) {
    if (Size >= INPUT_LIMIT)
        throw TInputTooLarge();
}

} // namespace

std::size_t PlayableLength(std::span<const std::uint8_t> Data) {
    std::size_t End = Data.size();
    if (End < SAUCE_RECORD || std::memcmp(Data.data() + End - SAUCE_RECORD, "SAUCE00", 7) != 0)
        return End;
    End -= SAUCE_RECORD;
    const std::size_t Comments = Data[End + COMMENT_COUNT_AT];
    const std::size_t CommentBlock = COMMENT_ID.size() + COMMENT_LINE * Comments;
    if (Comments > 0 && End >= CommentBlock &&
        std::memcmp(Data.data() + End - CommentBlock, COMMENT_ID.data(), COMMENT_ID.size()) == 0)
        End -= CommentBlock;
    if (End > 0 && Data[End - 1] == SUB)
        --End;
    return End;
}

// Not zero-filled: every byte is written before it is read.
TInputFeed::TInputFeed(TTerminal &Terminal)
    : Terminal_(Terminal), Buffer_(new std::uint8_t[BUFFER]) {}

std::span<std::uint8_t> TInputFeed::Space() {
    if (End_ == BUFFER) { // full: the held bytes move to the front
        std::memmove(Buffer_.get(), Buffer_.get() + Begin_, End_ - Begin_);
        End_ -= Begin_;
        Begin_ = 0;
    }
    return {Buffer_.get() + End_, BUFFER - End_};
}

void TInputFeed::Play(std::size_t Count) {
    End_ += Count;
    if (End_ - Begin_ <= SAUCE_HOLD)
        return;
    const std::size_t Until = End_ - SAUCE_HOLD;
    WalkBytes(Terminal_, {Buffer_.get() + Begin_, Until - Begin_});
    Begin_ = Until;
}

void TInputFeed::Feed(std::span<const std::uint8_t> Bytes) {
    while (!Bytes.empty()) {
        const std::span<std::uint8_t> Room = Space();
        const std::size_t Count = std::min(Room.size(), Bytes.size());
        std::memcpy(Room.data(), Bytes.data(), Count);
        Play(Count);
        Bytes = Bytes.subspan(Count);
    }
}

void TInputFeed::Finish() {
    const std::span<const std::uint8_t> Held(Buffer_.get() + Begin_, End_ - Begin_);
    WalkBytes(Terminal_, Held.first(PlayableLength(Held))); // a sequence left open is dropped
}

// Out of line: a stage of its own in profiles (scripts/bench_report.py).
[[gnu::noinline]] void ParseAnsiFile(TTerminal &Terminal, const std::string &FileName) {
    const TFile File = OpenForReading(FileName);
    TInputFeed Input(Terminal);
    PlayOpenFile(Input, File, FileName);
}

void PlayOpenFile(TInputFeed &Input, const TFile &File, const std::string &FileName,
                  const TReadProgress &Progress) {
    const TFileInfo Info = QueryFile(File, FileName);
    // Files are read to the size they report, and refused first when that is
    // too large; pipes and devices are read to their end.
    const bool Sized = Info.Kind == TFileKind::Regular;
    if (Sized)
        CheckInputSize(Info.Size);
    std::uint64_t Total = 0;
    for (;;) {
        const std::span<std::uint8_t> Room = Input.Space();
        const std::uint64_t Left = Sized ? Info.Size - Total : Room.size();
        const std::size_t Want =
            static_cast<std::size_t>(std::min<std::uint64_t>(Room.size(), Left));
        const std::size_t Got = Sized ? ReadExactly(File, Room.data(), Want, FileName)
                                      : ReadFully(File, Room.data(), Want, FileName);
        Total += Got;
        CheckInputSize(Total);
        Input.Play(Got);
        if (Progress)
            Progress(Total, Info.Size);
        if (Got < Want || Want == 0) // the end of a stream, or all of a file
            break;
    }
    Input.Finish();
}
