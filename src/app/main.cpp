#include "app/driver.h"
#include "common/system.h"

#if defined(_WIN32)
#include <windows.h>
#endif

int main(int Argc, char **Argv) {
    IgnoreWriteSignals();
    try {
#if defined(_WIN32)
        // Windows hands over one text; it is split by our own rules, in the
        // system's narrow code page.
        (void)Argc;
        (void)Argv;
        return RunConversion(SplitCommandLine(GetCommandLineA()));
#else
        return RunConversion(std::vector<std::string>(Argv + (Argc > 0 ? 1 : 0), Argv + Argc));
#endif
    } catch (...) {
        return ReportUnhandledError();
    }
}
