#include "script/SetupScript.h"

#include "common/WinTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

const ScriptSection kTable[] = {
    {L"[Install To]", 1}, {L"[CopyFile]", 2}, {L"[RunFile]", 3}, {L"[CreateIcon]", 4}, {L"[NoUnInstall]", 0},
};

// Each section read becomes "header|value|value...".
std::vector<std::wstring> Read(const std::string& script) {
    ScratchFolder dir;
    std::wstring path = dir / L"setup.dat";
    WriteBytes(path, script);
    SetupScript reader(kTable, int(std::size(kTable)));
    std::vector<std::wstring> sections;
    if (!reader.Open(path.c_str())) return {L"<not opened>"};
    while (const ScriptSection* section = reader.NextSection()) {
        std::wstring row = section->header;
        for (int i = 0; i < section->valueLines; ++i) row += L"|" + std::wstring(reader.ReadValue().c_str());
        sections.push_back(row);
    }
    return sections;
}

using Rows = std::vector<std::wstring>;

}  // namespace

TEST(SetupScript, LineEndsAllReadTheSame) {
    Rows expected = {L"[CopyFile]|1001 - a.exe|<Destination>\\a.exe", L"[Install To]|C:\\x"};
    for (const char* eol : {"\r\n", "\n", "\r"}) {
        std::string e = eol;
        std::string script = "[CopyFile]" + e + "1001 - a.exe" + e + "<Destination>\\a.exe" + e + e +
                             "[Install To]" + e + "C:\\x";  // no line end after the last line
        EXPECT_EQ(expected, Read(script)) << "line end " << int(e[0]) << " " << e.size();
    }
}

TEST(SetupScript, GrammarTable) {
    struct Case {
        const char* what;
        std::string script;
        Rows expected;
    } cases[] = {
        {"CopyFile directly after CopyFile works",
         "[CopyFile]\r\na\r\nA\r\n[CopyFile]\r\nb\r\nB\r\n",
         {L"[CopyFile]|a|A", L"[CopyFile]|b|B"}},
        {"RunFile directly after RunFile loses the second",
         "[RunFile]\r\np1\r\n\r\n[RunFile]\r\np2\r\n\r\n\r\n",
         {L"[RunFile]|p1||[RunFile]"}},
        {"values are never headers, and keep their blanks",
         "[CopyFile]\r\n[Install To]\r\n --install \r\n",
         {L"[CopyFile]|[Install To]| --install "}},
        {"misspelt and padded headers are ignored",
         "[Install to]\r\nx\r\n [Install To]\r\ny\r\n[Install To] \r\nz\r\n[install to]\r\nw\r\n",
         {}},
        {"a value line of an unknown section can be taken as a header",
         "[Unknown]\r\n[Install To]\r\nC:\\u\r\n",
         {L"[Install To]|C:\\u"}},
        {"a section cut short by the end of the file gets empty values",
         "[CreateIcon]\r\ntarget",
         {L"[CreateIcon]|target|||"}},
        {"sections without values",
         "[NoUnInstall]\r\n[NoUnInstall]\r\n",
         {L"[NoUnInstall]", L"[NoUnInstall]"}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, Read(c.script)) << c.what;
}

TEST(SetupScript, RewindReadsFromTheStartAgainAndAMissingFileReadsNothing) {
    ScratchFolder dir;
    std::wstring path = dir / L"setup.dat";
    WriteBytes(path, "[Install To]\r\nfirst\r\n[Install To]\r\nsecond\r\n");
    SetupScript reader(kTable, int(std::size(kTable)));
    ASSERT_TRUE(reader.Open(path.c_str()));
    WString last;
    while (reader.NextSection()) last = reader.ReadValue();
    EXPECT_EQ(L"second", std::wstring(last.c_str()));  // the last occurrence wins for settings
    ASSERT_TRUE(reader.Rewind());
    ASSERT_NE(nullptr, reader.NextSection());
    EXPECT_EQ(L"first", std::wstring(reader.ReadValue().c_str()));

    SetupScript missing(kTable, int(std::size(kTable)));
    EXPECT_FALSE(missing.Open((dir / L"none.dat").c_str()));
    EXPECT_EQ(nullptr, missing.NextSection());
    EXPECT_TRUE(missing.ReadValue().Empty());
}

TEST(SetupScript, OptionLinesAndMessageText) {
    struct Case {
        const wchar_t* line;
        bool optional;
        const wchar_t* caption;
    } cases[] = {
        {L"Optional - Start the viewer", true, L"Start the viewer"},
        {L"", false, L""},
        {L"optional - lower case", false, L""},
        {L"Optional -no blank", false, L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.optional, IsOptionLine(c.line)) << c.line;
        if (c.optional) {
            EXPECT_EQ(c.caption, std::wstring(OptionCaption(c.line).c_str()));
        }
    }
    EXPECT_EQ(L"Line one\r\nLine two", std::wstring(MessageText(L"Line one\\nLine two").c_str()));
}

TEST(SetupScript, BytesConvertThroughTheAnsiCodePage) {
    // 0xE9 is "e acute" in the Western code page that wine's default locale uses.
    if (::GetACP() != 1252) GTEST_SKIP() << "code page " << ::GetACP();
    EXPECT_EQ((Rows{L"[Install To]|C:\\Caf\u00e9"}), Read("[Install To]\r\nC:\\Caf\xe9\r\n"));
}
