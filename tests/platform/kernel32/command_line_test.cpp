#include "kernel32/command_line.h"

#include <gtest/gtest.h>

using winlayer::ProgramCandidates;
using winlayer::SplitCommandLine;

namespace {

using Args = std::vector<std::u16string>;

TEST(CommandLine, SplitsByTheRuntimeRules) {
    struct Row {
        std::u16string line;
        Args args;
    } rows[] = {
        {u"", {}},
        {u"   ", {}},
        {u"prog", {u"prog"}},
        {u"  prog  a   b ", {u"prog", u"a", u"b"}},
        {u"\"C:\\Program Files\\x.exe\" end", {u"C:\\Program Files\\x.exe", u"end"}},
        // The program name takes no escapes: its backslashes are path separators.
        {u"C:\\dir\\\"x y\" z", {u"C:\\dir\\\"x", u"y z"}},
        {u"p \"a b\" c", {u"p", u"a b", u"c"}},
        {u"p a\"b c\"d", {u"p", u"ab cd"}},
        {u"p a\\\\b", {u"p", u"a\\\\b"}},
        {u"p a\\\"b", {u"p", u"a\"b"}},
        {u"p a\\\\\"b c\"", {u"p", u"a\\b c"}},
        {u"p a\\\\\\\"b", {u"p", u"a\\\"b"}},
        {u"p \"\"", {u"p", u""}},
        {u"p \"a\"\"b\"", {u"p", u"a\"b"}},
        {u"p\ta\tb", {u"p", u"a", u"b"}},
        {u"p \"unterminated arg", {u"p", u"unterminated arg"}},
        {u"\"unterminated program", {u"unterminated program"}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(SplitCommandLine(row.line), row.args)
            << std::string(row.line.begin(), row.line.end());
    }
}

TEST(CommandLine, ProgramCandidatesFollowTheSearchForUnquotedNames) {
    EXPECT_EQ(ProgramCandidates(u"\"C:\\a b\\c d.exe\" x y"), Args{u"C:\\a b\\c d.exe"});
    EXPECT_EQ(ProgramCandidates(u"C:\\a b\\c d x"),
              (Args{u"C:\\a", u"C:\\a b\\c", u"C:\\a b\\c d", u"C:\\a b\\c d x"}));
    EXPECT_EQ(ProgramCandidates(u"  prog"), Args{u"prog"});
    EXPECT_EQ(ProgramCandidates(u""), Args{});
}

}  // namespace
