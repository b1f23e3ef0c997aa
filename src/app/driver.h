// The command-line driver: arguments, the two phases, and the reports.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct TTerminal;

// The input path with its extension replaced by ".png".
std::string DefaultOutputName(std::string_view InputFile);
// Splits a whole command line (as Windows hands it over) into arguments,
// dropping the first (the program's name). Outside quotes every byte up to
// 32 separates; '"' and '\'' open and close quoted stretches, the other kind
// being ordinary inside one; a doubled quote that could open or close stands
// for itself; backslashes are ordinary; empty arguments are not produced.
std::vector<std::string> SplitCommandLine(std::string_view Line);
// Runs one conversion; returns the exit status. Errors it does not handle
// (a report that cannot be written) escape to the caller.
int RunConversion(const std::vector<std::string> &Args);
// The same on a fresh terminal of the caller's, which keeps the final screen
// and may listen for rows scrolling off.
int RunConversion(const std::vector<std::string> &Args, TTerminal &Terminal);
// Writes the report of an escaped error to standard error; returns its status.
int ReportUnhandledError();
