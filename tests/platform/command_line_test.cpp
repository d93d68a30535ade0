#include <gtest/gtest.h>

#include "platform/command_line.h"

namespace molvar::platform {
namespace {

using Words = std::vector<std::string>;

TEST(SplitCommandLine, FollowsTheWindowsRules) {
    EXPECT_EQ(SplitCommandLine(""), Words{});
    EXPECT_EQ(SplitCommandLine("   "), Words{});
    EXPECT_EQ(SplitCommandLine("conv"), Words{"conv"});
    EXPECT_EQ(SplitCommandLine("  /usr/bin/conv   -q\t-v  "), (Words{"/usr/bin/conv", "-q", "-v"}));
    // The program name keeps its backslashes; quotes only group.
    EXPECT_EQ(SplitCommandLine(R"("C:\Program Files\conv.exe" -q)"), (Words{R"(C:\Program Files\conv.exe)", "-q"}));
    EXPECT_EQ(SplitCommandLine(R"(C:\Tools\conv.exe "a b" c)"), (Words{R"(C:\Tools\conv.exe)", "a b", "c"}));
    // Arguments: backslashes are literal unless they precede a quote.
    EXPECT_EQ(SplitCommandLine(R"(p a\\b \"x\" "c\\" d)"), (Words{"p", R"(a\\b)", R"("x")", R"(c\)", "d"}));
    EXPECT_EQ(SplitCommandLine(R"(p "say ""hi""" x)"), (Words{"p", R"(say "hi")", "x"}));
    EXPECT_EQ(SplitCommandLine(R"(p "" x)"), (Words{"p", "", "x"}));
    // An unclosed quote runs to the end.
    EXPECT_EQ(SplitCommandLine(R"(p "open end)"), (Words{"p", "open end"}));
    // UTF-8 text passes through unchanged.
    EXPECT_EQ(SplitCommandLine("変換 \"受信 箱\""), (Words{"変換", "受信 箱"}));
}

}  // namespace
}  // namespace molvar::platform
