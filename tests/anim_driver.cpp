// Writes one animation for the tests:
//   anim_driver gif|apng INPUT OUTPUT BPS DELAY HOLD ONCE MAX-LENGTH
// with the font from cp437.fnt in the working directory. Prints the number
// of frames, and "cut" when the length limit stopped them.
#include "anim/anim.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

int main(int Argc, char **Argv) {
    if (Argc != 9)
        return 2;
    const std::string Kind = Argv[1];
    const auto Number = [](const char *Text) {
        return static_cast<std::uint32_t>(std::strtoul(Text, nullptr, 10));
    };
    TAnimationOptions Options;
    Options.BitsPerSecond = Number(Argv[4]);
    Options.Delay = Number(Argv[5]);
    Options.Hold = Number(Argv[6]);
    Options.Once = Number(Argv[7]) != 0;
    Options.MaxLength = Number(Argv[8]);
    try {
        const TFont Font = LoadCP437Font(FONT_FILE_NAME);
        std::FILE *Out = std::fopen(Argv[3], "wb");
        if (!Out)
            return 1;
        const TAnimationResult Result =
            WriteAnimation(Argv[2], Kind == "gif" ? TAnimationFormat::Gif : TAnimationFormat::Apng,
                           Options, Font, [Out](const std::uint8_t *Data, std::size_t Size) {
                               if (std::fwrite(Data, 1, Size, Out) != Size)
                                   throw std::runtime_error("short write");
                           });
        if (std::fclose(Out) != 0)
            return 1;
        std::printf("frames %llu%s\n", static_cast<unsigned long long>(Result.Frames),
                    Result.Cut ? " cut" : "");
    } catch (const std::exception &Error) {
        std::fprintf(stderr, "anim_driver: %s\n", Error.what());
        return 1;
    }
    return 0;
}
