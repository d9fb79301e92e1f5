#include "base/CommandLine.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <string>
#include <utility>
#include <vector>

using namespace tarvo;

namespace {
using Pairs = std::vector<std::pair<std::wstring, std::wstring>>;

Pairs AsPairs(const CommandLineSwitches& switches) {
    Pairs pairs;
    EXPECT_EQ(switches.names.Count(), switches.values.Count());
    for (int i = 0; i < switches.names.Count(); ++i) {
        pairs.emplace_back(switches.names.At(i).c_str(), switches.values.At(i).c_str());
    }
    return pairs;
}
}  // namespace

TEST(CommandLine, ParseSwitches) {
    struct Case {
        const wchar_t* line;
        Pairs expected;
    } cases[] = {
        // The launcher's own relaunch line: a quoted value and a plain switch.
        {LR"("C:\Program Files\Setup.exe" --IsElevated="C:\t\TVI1.tmp" --silent)",
         {{L"IsElevated", LR"(C:\t\TVI1.tmp)"}, {L"silent", L""}}},
        {LR"(--IsElevated="C:\t\TVI1.tmp" --silent)", {{L"IsElevated", LR"(C:\t\TVI1.tmp)"}, {L"silent", L""}}},
        // Dashes inside a quoted program path are not switches.
        {LR"("C:\my-setup\x-1.exe" -a)", {{L"a", L""}}},
        // An unclosed quote at the start: scanning starts at the beginning.
        {LR"("C:\x-y)", {{L"y", L""}}},
        {LR"(setup.exe --installto "C:\My Apps")", {{L"installto", LR"(C:\My Apps)"}}},
        {LR"(setup.exe --installto C:\My Apps)", {{L"installto", LR"(C:\My)"}}},
        // Blanks and '=' between name and value are skipped; '=' inside the value is kept.
        {L"x --a=b=c --d = e", {{L"a", L"b=c"}, {L"d", L"e"}}},
        {L"x --a==\"v=1\"", {{L"a", L"v=1"}}},
        // A quote right after the name ends it and opens the value.
        {L"x --a\"q r\" -b", {{L"a", L"q r"}, {L"b", L""}}},
        {L"x -x -y", {{L"x", L""}, {L"y", L""}}},
        {L"x -x-y", {{L"x-y", L""}}},
        // A value that begins with '-' is the next switch.
        {L"x --level -5 --b", {{L"level", L""}, {L"5", L""}, {L"b", L""}}},
        // Lone dashes and empty names are skipped.
        {L"x - -- --=v -", {}},
        {L"x --=v --a", {{L"a", L""}}},
        {L"x --", {}},
        // An unclosed quoted value is empty; scanning resumes inside the quote.
        {L"x --a \"b -c", {{L"a", L""}, {L"c", L""}}},
        {L"x --a \"-b", {{L"a", L""}, {L"b", L""}}},
        {L"x --a \"\" --b", {{L"a", L""}, {L"b", L""}}},
        {L"x --a=", {{L"a", L""}}},
        {L"x --a v", {{L"a", L"v"}}},
        // A third dash belongs to the name.
        {L"x ---a", {{L"-a", L""}}},
        {L"", {}},
        {L"setup.exe", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, AsPairs(ParseSwitches(c.line))) << c.line;
    }
}

TEST(CommandLine, FindSwitchIgnoresAsciiCaseOnly) {
    CommandLineSwitches s = ParseSwitches(L"x --silent --iselevated=\"C:\\t\\a.tmp\" --SILENT=2 --\u00e9T\u00c9");
    EXPECT_EQ(1, FindSwitch(s, L"IsElevated"));
    EXPECT_EQ(L"C:\\t\\a.tmp", std::wstring(s.values.At(FindSwitch(s, L"IsElevated")).c_str()));
    EXPECT_EQ(0, FindSwitch(s, L"Silent"));  // the first match wins
    EXPECT_EQ(3, FindSwitch(s, L"\u00e9T\u00c9"));
    EXPECT_EQ(-1, FindSwitch(s, L"\u00c9t\u00e9"));  // no folding beyond A-Z
    EXPECT_EQ(-1, FindSwitch(s, L"silen"));
    EXPECT_EQ(-1, FindSwitch(s, L""));
}

TEST(CommandLine, HasTextIsExactAndCaseSensitive) {
    const WString line(LR"("C:\<Silent>\setup.exe" --installto="D:\--silent")");
    EXPECT_TRUE(HasText(line, L"<Silent>"));  // also inside the program path
    EXPECT_TRUE(HasText(line, L"--silent"));  // also inside another switch's value
    EXPECT_FALSE(HasText(line, L"<silent>"));
    EXPECT_FALSE(HasText(line, L"--Silent"));
    EXPECT_FALSE(HasText(L"", L"<uninstall>"));
}

TEST(CommandLine, CommandLineTail) {
    struct Case {
        const wchar_t* line;
        const wchar_t* tail;
    } cases[] = {
        {LR"("C:\Program Files\setup.exe" --silent --installto "C:\A B")", LR"(--silent --installto "C:\A B")"},
        {LR"("C:\Program Files\setup.exe")", L""},
        {LR"("C:\Program Files\setup.exe"   )", L""},
        {LR"("C:\a\setup.exe"--silent)", L"--silent"},
        {LR"(C:\a\setup.exe --silent  <Silent>  )", L"--silent  <Silent>"},
        {LR"(C:\a\setup.exe     -x)", L"-x"},
        // A path alone, quoted without its closing quote or unquoted without a blank, has no tail.
        {LR"(C:\a\setup.exe)", L""},
        {LR"("C:\a b\setup.exe)", L""},
        // A blank at position 1 does not end an unquoted path.
        {LR"( setup.exe -a)", L"-a"},
        {L"", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(std::wstring(c.tail), std::wstring(CommandLineTail(c.line).c_str())) << c.line;
    }
}

TEST(CommandLine, ProcessValues) {
    WString path = ModulePath();
    ASSERT_FALSE(path.Empty());
    EXPECT_TRUE(EqualsIgnoreCase(path.From(path.FindLast(L'\\') + 1), L"base_command_line_test.exe")) << path.c_str();
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    EXPECT_EQ(0u, attributes & FILE_ATTRIBUTE_DIRECTORY);
    // The process tail holds this run's arguments and no part of the program path.
    WString tail = CommandLineTail();
    EXPECT_FALSE(HasText(tail, L"base_command_line_test")) << tail.c_str();
    if (__argc > 1) {
        EXPECT_TRUE(HasText(tail, WString(__argv[1]))) << tail.c_str();
    } else {
        EXPECT_TRUE(tail.Empty()) << tail.c_str();
    }
}
