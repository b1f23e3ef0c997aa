// The command-line driver: arguments, the two phases, and the reports.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The input path with its extension replaced by ".png".
std::string DefaultOutputName(std::string_view InputFile);
// True for an existing file that is not a directory.
bool FileExists(const std::string &Path);
// Runs one conversion; returns the exit status. Errors it does not handle
// (a report that cannot be written) escape to the caller.
int RunConversion(const std::vector<std::string> &Args);
// Writes the report of an escaped error to standard error; returns its status.
int ReportUnhandledError();
