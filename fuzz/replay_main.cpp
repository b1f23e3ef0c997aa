// Runs a fuzz target over files and directories of inputs, without the
// fuzzer: the regression and seed inputs become ordinary tests.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data, std::size_t Size);

int main(int Argc, char **Argv) {
    namespace fs = std::filesystem;
    std::size_t Count = 0;
    for (int I = 1; I < Argc; ++I) {
        std::vector<fs::path> Files;
        if (fs::is_directory(Argv[I])) {
            for (const auto &Entry : fs::recursive_directory_iterator(Argv[I]))
                if (Entry.is_regular_file())
                    Files.push_back(Entry.path());
        } else {
            Files.emplace_back(Argv[I]);
        }
        for (const fs::path &File : Files) {
            std::ifstream In(File, std::ios::binary);
            const std::vector<std::uint8_t> Data((std::istreambuf_iterator<char>(In)),
                                                 std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(Data.data(), Data.size());
            ++Count;
        }
    }
    std::printf("%zu inputs replayed\n", Count);
    return 0;
}
