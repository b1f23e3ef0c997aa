#include "app/driver.h"

#include "app/reading.h"
#include "common/system.h"
#include "render/render.h"
#include "terminal/terminal.h"

#include <cstdlib>
#include <cxxabi.h>
#include <exception>
#include <memory>
#include <new>
#include <stdexcept>
#include <typeinfo>

namespace {

constexpr int EXIT_FAILED = 1;
constexpr int EXIT_UNHANDLED = 217;

// Stands where a code address would: none is known here.
constexpr const char *UNHANDLED_AT = "An unhandled exception occurred at $0000000000000000:";

void WriteNotFoundReport(const std::string &InputFile) {
    WriteLine("File not found: " + InputFile);
    WriteLine("Please check that the file exists and the path is correct.");
    WriteLine("Example usage: tarvex.exe myfile.ans");
}

void WriteReadFailureReport(const std::string &InputFile, const std::string &Message) {
    WriteLine("Error reading ANSI file: " + InputFile);
    WriteLine("Possible causes:");
    WriteLine(" - The file might be corrupted");
    WriteLine(" - The file might not be a valid ANSI file");
    WriteLine(" - You might not have permission to read the file");
    WriteLine("");
    WriteLine("Technical details: " + Message);
}

void WriteWriteFailureReport(const std::string &OutputFile, const std::string &Message) {
    WriteLine("Error creating PNG file: " + OutputFile);
    WriteLine("Possible causes:");
    WriteLine(" - You might not have permission to write to this location");
    WriteLine(" - The disk might be full");
    WriteLine("");
    WriteLine("Technical details: " + Message);
}

// Writing the PNG over the input would destroy it; only regular files count,
// so device paths such as /dev/null may stand on both sides.
void RefuseOverwritingInput(const std::string &InputFile, const std::string &OutputFile) {
    if (IsSameRegularFile(InputFile, OutputFile))
        RaiseFileError(TFileAction::Create, OutputFile, "Output would overwrite the input file");
}

// "tarvex *.ans" makes the second piece of art the output: a file that holds
// something and is no PNG is never replaced. Empty files, PNGs (also partial
// ones) and files we cannot read are written as before.
void RefuseOverwritingOtherFiles(const std::string &OutputFile) {
    const std::optional<std::string> Head = ReadFileHead(OutputFile, PNG_SIGNATURE.size());
    if (Head && !Head->empty() && !HasPngSignature(*Head))
        RaiseFileError(TFileAction::Create, OutputFile, "Existing file is not a PNG picture");
}

std::string MessageOf(const std::exception &Error) {
    return dynamic_cast<const std::bad_alloc *>(&Error) ? "Out of memory" : Error.what();
}

std::string Demangle(const char *Name) {
    int Status = 0;
    const std::unique_ptr<char, void (*)(void *)> Readable(
        abi::__cxa_demangle(Name, nullptr, nullptr, &Status), std::free);
    return Status == 0 && Readable ? std::string(Readable.get()) : std::string(Name);
}

} // namespace

std::string DefaultOutputName(std::string_view Input) {
    const std::size_t Found = Input.find_last_of("/\\:.");
    const bool ReplaceExtension = Found != std::string_view::npos && Input[Found] == '.' &&
                                  Found > 0 && Input[Found - 1] != '/' && Input[Found - 1] != '\\';
    std::string Output(ReplaceExtension ? Input.substr(0, Found) : Input);
    return Output + ".png";
}

std::vector<std::string> SplitCommandLine(std::string_view Line) {
    std::vector<std::string> Args;
    std::string Current;
    char Quote = 0; // the quote of the open stretch, if any
    for (std::size_t I = 0; I < Line.size(); ++I) {
        const char C = Line[I];
        if (Quote == 0 && static_cast<unsigned char>(C) <= 32) {
            if (!Current.empty())
                Args.push_back(std::move(Current));
            Current.clear();
            continue;
        }
        if ((C == '"' || C == '\'') && (Quote == 0 || Quote == C)) {
            if (I + 1 < Line.size() && Line[I + 1] == C) { // a doubled quote is literal
                Current.push_back(C);
                ++I;
            } else {
                Quote = Quote == 0 ? C : 0;
            }
            continue;
        }
        Current.push_back(C);
    }
    if (!Current.empty())
        Args.push_back(std::move(Current));
    if (!Args.empty())
        Args.erase(Args.begin());
    return Args;
}

int RunConversion(const std::vector<std::string> &Args) {
    TTerminal Terminal;
    return RunConversion(Args, Terminal);
}

int RunConversion(const std::vector<std::string> &Args, TTerminal &Terminal) {
    if (Args.empty()) {
        WriteLine("Usage: tarvex.exe <input.ans> [output.png]");
        return EXIT_SUCCESS;
    }
    const std::string &InputFile = Args[0];
    const std::string OutputFile = Args.size() >= 2 ? Args[1] : DefaultOutputName(InputFile);

    WriteLine("Parsing ANSI file: " + InputFile);
    if (!FileExists(InputFile)) {
        WriteNotFoundReport(InputFile);
        return EXIT_FAILED;
    }
    try {
        ParseAnsiFile(Terminal, InputFile);
    } catch (const std::exception &Error) {
        WriteReadFailureReport(InputFile, MessageOf(Error));
        return EXIT_FAILED;
    }

    WriteLine("Rendering to PNG: " + OutputFile);
    try {
        RefuseOverwritingInput(InputFile, OutputFile);
        RefuseOverwritingOtherFiles(OutputFile);
        RenderToPng(Terminal.ScreenBuffer, OutputFile);
        WriteLine("Conversion completed successfully!");
    } catch (const TOutputError &) {
        throw; // a report line failed: no report can follow it
    } catch (const std::exception &Error) {
        WriteWriteFailureReport(OutputFile, MessageOf(Error));
        return EXIT_FAILED;
    }
    return EXIT_SUCCESS;
}

int ReportUnhandledError() {
    std::string TypeName = "unknown exception";
    std::string Message;
    try {
        throw;
    } catch (const std::exception &Error) {
        TypeName = Demangle(typeid(Error).name());
        Message = Error.what();
    } catch (...) {
    }
    // The report's shape: where, then the error's type and message, then the
    // trace (none is known) and an empty line.
    WriteToStandardError(std::string(UNHANDLED_AT) + "\n" + TypeName + ": " + Message + "\n\n");
    return EXIT_UNHANDLED;
}
