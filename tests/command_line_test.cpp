#include "app/driver.h"

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

} // namespace
