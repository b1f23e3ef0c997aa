#include "app/play.h"

#include <exception>

#if defined(_WIN32)
// The C runtime expands wildcards in the arguments, as other Windows tools do.
extern "C" {
int _dowildcard = -1;
}
#endif

int main(int Argc, char **Argv) {
    IgnoreWriteSignals();
    try {
        return RunPlay(std::vector<std::string>(Argv + (Argc > 0 ? 1 : 0), Argv + Argc));
    } catch (const std::exception &Error) { // help or version could not be written
        WriteToStandardError(std::string(PLAY_PROGRAM) + ": " + Error.what() + "\n");
        return 1;
    }
}
