// The inputs the tests that play whole pieces share: the bundled art, the
// generated inputs (a CTest fixture makes those), and SAUCE records.
#pragma once

#include "png_facts.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <span>
#include <string>
#include <utility>
#include <vector>

inline const std::vector<std::pair<std::string, TBytes>> &AllInputs() {
    static const auto All = [] {
        namespace fs = std::filesystem;
        std::vector<std::pair<std::string, TBytes>> Found;
        for (const fs::path &Folder :
             {fs::path(TARVEX_SOURCE_DIR) / "examples",
              fs::path(TARVEX_SOURCE_DIR) / "bench" / "art", fs::path(TARVEX_GENERATED_INPUTS)})
            for (const auto &Entry : fs::directory_iterator(Folder))
                if (Entry.path().extension() == ".ans") {
                    std::ifstream In(Entry.path(), std::ios::binary);
                    Found.emplace_back(Entry.path().filename().string(),
                                       TBytes(std::istreambuf_iterator<char>(In), {}));
                }
        return Found;
    }();
    EXPECT_GT(All.size(), 20u);
    return All;
}

// Cuts Input into pieces of the sizes Next gives and hands each to Take in a
// heap block of its own size, so a read past a piece shows under ASan.
template <typename TNext, typename TTake>
inline void InPieces(std::span<const std::uint8_t> Input, TNext Next, TTake Take) {
    for (std::size_t At = 0; At < Input.size();) {
        const std::size_t Piece = std::min<std::size_t>(Next(), Input.size() - At);
        const TBytes Exact(Input.begin() + static_cast<long>(At),
                           Input.begin() + static_cast<long>(At + Piece));
        Take(std::span<const std::uint8_t>(Exact));
        At += Piece;
    }
}

// Input followed by the end-of-file byte, Comments comment lines and a SAUCE
// record that announces them.
inline TBytes WithSauce(const TBytes &Input, std::uint8_t Comments, bool EndOfFile = true) {
    TBytes Out = Input;
    if (EndOfFile)
        Out.push_back(26);
    if (Comments > 0) {
        const std::string Block = "COMNT" + std::string(64u * Comments, 'c');
        Out.insert(Out.end(), Block.begin(), Block.end());
    }
    std::string Record = "SAUCE00" + std::string(121, 'x');
    Record[104] = static_cast<char>(Comments);
    Out.insert(Out.end(), Record.begin(), Record.end());
    return Out;
}
