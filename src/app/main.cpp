#include "app/driver.h"

#include <csignal>

int main(int Argc, char **Argv) {
    // A broken pipe or a file-size limit must show as a write error, not a kill.
    std::signal(SIGPIPE, SIG_IGN);
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    try {
        return RunConversion(std::vector<std::string>(Argv + (Argc > 0 ? 1 : 0), Argv + Argc));
    } catch (...) {
        return ReportUnhandledError();
    }
}
