#include "app/driver.h"
#include "cli_support.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

TEST(SplitCommandLine, FollowsTheQuotingRules) {
    using TArgs = std::vector<std::string>;
    const std::vector<std::pair<std::string, TArgs>> Cases = {
        {"tarvex.exe", {}},
        {"tarvex.exe art.ans", {"art.ans"}},
        {"tarvex.exe  art.ans   out.png  ", {"art.ans", "out.png"}},
        {"\"C:\\Program Files\\tarvex.exe\" a", {"a"}},                  // quoted program name
        {"t \"my art.ans\" 'my out.png'", {"my art.ans", "my out.png"}}, // both kinds
        {"t \"it's.ans\" 'say \"hi\".ans'", {"it's.ans", "say \"hi\".ans"}},
        {"t a\"b c\"d", {"ab cd"}}, // stretch inside a word
        {"t \"\"", {"\""}},         // doubled outside a stretch
        {"t ''", {"'"}},
        {"t \"a\"\"b\"", {"a\"b"}}, // doubled inside a stretch
        {"t 'a\"\"b'", {"a\"\"b"}}, // other kind: ordinary
        {"t 'it''s'", {"it's"}},
        {"t C:\\art\\x.ans \\\"a", {"C:\\art\\x.ans", "\\a"}}, // backslashes ordinary
        {"t \"", {}},                                          // no empty argument
        {"t a \"\" b", {"a", "\"", "b"}},
        {"t a ' ' b", {"a", " ", "b"}},
        {"t \"a b", {"a b"}}, // unclosed stretch
        {std::string("t\ta\nb\x01"
                     "c\x1f"
                     "d"
                     "\x20"
                     "e"),
         {"a", "b", "c", "d", "e"}},
        {std::string("t \"a\tb\""), {"a\tb"}},
        {"t !\x7f\x80\xff", {"!\x7f\x80\xff"}}, // above 32: ordinary
        {"", {}},
    };
    for (const auto &[Line, Args] : Cases)
        EXPECT_EQ(SplitCommandLine(Line), Args) << Line;
}

// The page runs conversion after conversion in one process: each closes
// every file it opened, whether it succeeded or failed, and a failed one
// leaves nothing behind that changes the next picture.
TEST(Conversions, InOneProcessCloseTheirFilesAndStayApart) {
    const fs::path Dir = fs::temp_directory_path() / ("tarvex-process-" + std::to_string(getpid()));
    fs::create_directories(Dir / "folder.png");
    WriteFile(Dir / "art.ans", "\x1b[1;44mart\x1b[0m\r\n\x1b[12;30H\xdb\xdc");
    WriteFile(Dir / "open.ans", "\x1b[31mred\x1b[1;44");
    WriteFile(Dir / "cp437.fnt", std::string(4096, '\x3c'));
    WriteFile(Dir / "text.png", "not a picture");
    const fs::path Before = fs::current_path();
    fs::current_path(Dir);
    const auto OpenFiles = [] {
        return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{});
    };
    std::ptrdiff_t Opened = 0, Left = 0;
    std::vector<int> Statuses;
    // Report lines go to standard output; keep them out of the test's.
    CaptureOutput([&] {
        Opened = OpenFiles();
        for (int Round = 0; Round < 3; ++Round)
            for (const std::vector<std::string> &Args : std::vector<std::vector<std::string>>{
                     {"art.ans"},
                     {"open.ans", "first.png"},
                     {"missing.ans"},
                     {"folder.png"},            // cannot be read
                     {"art.ans", "folder.png"}, // cannot be written
                     {"art.ans", "text.png"},   // not a picture: refused
                     {"art.ans", "art.ans"},    // the input itself: refused
                     {"art.ans", "last.png"}})
                Statuses.push_back(RunConversion(Args));
        Left = OpenFiles();
    });
    fs::current_path(Before);
    EXPECT_EQ(Left, Opened);
    EXPECT_EQ(std::vector<int>(Statuses.begin(), Statuses.begin() + 8),
              (std::vector<int>{0, 0, 1, 1, 1, 1, 1, 0}));
    // An open sequence and failures before it change nothing that follows.
    EXPECT_EQ(ReadFile(Dir / "last.png"), ReadFile(Dir / "art.png"));
    fs::remove_all(Dir);
}

} // namespace
