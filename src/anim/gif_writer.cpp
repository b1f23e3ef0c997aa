// GIF89a through giflib's sequential writer.
#include "anim/anim.h"

#include <gif_lib.h>

#include <array>
#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

// The 16 colours, a 4-bit table.
constexpr int TABLE_BITS = 4;
constexpr int COLOUR_RESOLUTION = 8;
// The application extension that tells viewers to loop: NETSCAPE2.0 with a
// loop count of 0, forever.
constexpr char LOOP_APPLICATION[] = "NETSCAPE2.0";
constexpr std::array<GifByteType, 3> LOOP_FOREVER = {1, 0, 0};

} // namespace

struct TGifWriter::TState {
    explicit TState(TByteSink Output) : Sink(std::move(Output)) {}
    // An unfinished file is dropped: nothing more reaches the sink.
    ~TState() {
        Finished = true;
        if (Gif)
            EGifCloseFile(Gif, nullptr);
    }
    TState(const TState &) = delete;
    TState &operator=(const TState &) = delete;
    TByteSink Sink;
    GifFileType *Gif = nullptr;
    // A failure of the sink, raised again once giflib has returned: an
    // exception must not cross giflib's C frames.
    std::exception_ptr Failure;
    bool Finished = false;

    static int Output(GifFileType *Gif, const GifByteType *Data, int Size) {
        auto *State = static_cast<TState *>(Gif->UserData);
        if (State->Failure || State->Finished)
            return 0;
        try {
            State->Sink(Data, static_cast<std::size_t>(Size));
        } catch (...) {
            State->Failure = std::current_exception();
            return 0;
        }
        return Size;
    }

    // Raises the sink's failure, or giflib's when a call failed.
    void Check(int Result) {
        if (Failure)
            std::rethrow_exception(Failure);
        if (Result == GIF_ERROR)
            throw std::runtime_error(std::string("GIF: ") + GifErrorString(Gif->Error));
    }
};

TGifWriter::TGifWriter(TByteSink Sink, bool Once)
    : State_(std::make_unique<TState>(std::move(Sink))) {
    int Error = 0;
    State_->Gif = EGifOpen(State_.get(), &TState::Output, &Error);
    if (!State_->Gif)
        throw std::runtime_error(std::string("GIF: ") + GifErrorString(Error));
    EGifSetGifVersion(State_->Gif, true);
    std::array<GifColorType, 16> Colours{};
    for (std::size_t I = 0; I < Colours.size(); ++I) {
        const std::uint32_t RGB = ANSI_COLORS[I];
        Colours[I] =
            GifColorType{static_cast<GifByteType>(RGB >> 16), static_cast<GifByteType>(RGB >> 8),
                         static_cast<GifByteType>(RGB)};
    }
    ColorMapObject *Table = GifMakeMapObject(1 << TABLE_BITS, Colours.data());
    if (!Table)
        throw std::bad_alloc();
    const int Described = EGifPutScreenDesc(State_->Gif, PICTURE_WIDTH_PX, PICTURE_HEIGHT_PX,
                                            COLOUR_RESOLUTION, 0, Table);
    GifFreeMapObject(Table);
    State_->Check(Described);
    if (Once) // a GIF without the extension plays once
        return;
    State_->Check(EGifPutExtensionLeader(State_->Gif, APPLICATION_EXT_FUNC_CODE));
    State_->Check(
        EGifPutExtensionBlock(State_->Gif, sizeof LOOP_APPLICATION - 1, LOOP_APPLICATION));
    State_->Check(EGifPutExtensionBlock(State_->Gif, LOOP_FOREVER.size(), LOOP_FOREVER.data()));
    State_->Check(EGifPutExtensionTrailer(State_->Gif));
}

TGifWriter::~TGifWriter() = default;

void TGifWriter::Frame(const TIndexedPicture &Picture, const TRect &Area, std::uint32_t Delay) {
    GraphicsControlBlock Control{};
    Control.DisposalMode = DISPOSE_DO_NOT;
    Control.UserInputFlag = false;
    Control.DelayTime = static_cast<int>(Delay);
    Control.TransparentColor = NO_TRANSPARENT_COLOR;
    std::array<GifByteType, 4> Extension{};
    EGifGCBToExtension(&Control, Extension.data());
    GifFileType *Gif = State_->Gif;
    State_->Check(
        EGifPutExtension(Gif, GRAPHICS_EXT_FUNC_CODE, Extension.size(), Extension.data()));
    State_->Check(EGifPutImageDesc(Gif, Area.X, Area.Y, Area.Width, Area.Height, false, nullptr));
    for (std::int32_t Y = Area.Y; Y < Area.Y + Area.Height; ++Y)
        State_->Check(
            EGifPutLine(Gif, const_cast<GifPixelType *>(Picture.Row(Y) + Area.X), Area.Width));
}

void TGifWriter::Finish() {
    GifFileType *Gif = State_->Gif;
    State_->Gif = nullptr;
    int Error = 0;
    const int Closed = EGifCloseFile(Gif, &Error);
    State_->Finished = true;
    if (State_->Failure)
        std::rethrow_exception(State_->Failure);
    if (Closed == GIF_ERROR)
        throw std::runtime_error(std::string("GIF: ") + GifErrorString(Error));
}
