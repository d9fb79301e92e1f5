// DiskFile: opening, reading, writing and seeking on real files, the Retry/Cancel questions
// (seen and answered through the message-box hook), handle ownership and ReadLine.
#include "FileTestSupport.h"

#include <gmock/gmock.h>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

class DiskFileTest : public ScratchFolder {};

void ExpectBox(const MessageBoxCall& call, const std::wstring& text, const wchar_t* caption, UINT buttons) {
    EXPECT_EQ(nullptr, call.owner);
    EXPECT_EQ(text, S(call.text));
    EXPECT_EQ(std::wstring(caption), S(call.caption));
    EXPECT_EQ(UINT(MB_ICONINFORMATION), call.Icon());
    EXPECT_EQ(buttons, call.Buttons());
}

}  // namespace

TEST_F(DiskFileTest, WritesSeeksReadsAndReportsTheSize) {
    const std::wstring path = At(L"data.bin");
    {
        DiskFile file;
        ASSERT_TRUE(file.Open(path.c_str(), GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS, false));
        EXPECT_TRUE(file.OwnsHandle());
        EXPECT_TRUE(file.Write(6, "abcdef"));
        EXPECT_TRUE(file.WriteText("line", true));
        EXPECT_TRUE(file.WriteText(nullptr, false));
        EXPECT_TRUE(file.WriteText(WString(L"w"), false));
        EXPECT_EQ(13u, file.Size());

        char buffer[16] = {};
        ASSERT_TRUE(file.Seek(2));
        EXPECT_EQ(3u, file.Read(3, buffer));
        EXPECT_EQ("cde", std::string(buffer, 3));
        ASSERT_TRUE(file.Seek(-2, DiskFile::FromCurrent));
        EXPECT_EQ(2u, file.Read(2, buffer));
        EXPECT_EQ("de", std::string(buffer, 2));
        // Past the end: the bytes that exist, quietly.
        ASSERT_TRUE(file.Seek(10));
        EXPECT_EQ(3u, file.Read(8, buffer));
        EXPECT_EQ(0u, file.Read(8, buffer));
        file.Close();
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(0u, file.Size());
        EXPECT_FALSE(file.Seek(0));
    }
    EXPECT_EQ("abcdefline\r\nw", ReadRaw(path));
}

TEST_F(DiskFileTest, OpenForReadingCreatesAMissingFile) {
    const std::wstring path = At(L"new.txt");
    BoxRecorder boxes;
    DiskFile file;
    EXPECT_TRUE(file.OpenForReading(path.c_str()));
    EXPECT_TRUE(file.ShowErrors());
    EXPECT_TRUE(Exists(path));
    EXPECT_TRUE(boxes.calls.empty());
}

TEST_F(DiskFileTest, AWrappedHandleIsNeverClosedByTheWrapper) {
    const std::wstring path = At(L"wrapped.txt");
    HANDLE raw = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, raw);
    {
        DiskFile wrapper(raw, path.c_str());
        EXPECT_FALSE(wrapper.OwnsHandle());
        EXPECT_TRUE(wrapper.Write(2, "ab"));
        DiskFile moved(std::move(wrapper));
        EXPECT_FALSE(moved.OwnsHandle());
        moved.Close();
    }
    DWORD written = 0;
    EXPECT_TRUE(::WriteFile(raw, "cd", 2, &written, nullptr)) << "the wrapper closed a handle it did not open";
    ::CloseHandle(raw);
    EXPECT_EQ("abcd", ReadRaw(path));

    // Opening through the object makes it the owner: a file held without sharing is released
    // once the object has gone.
    {
        DiskFile owner;
        ASSERT_TRUE(owner.Open(path.c_str(), GENERIC_READ, OPEN_EXISTING, false));
    }
    HANDLE exclusive = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, exclusive);
    ::CloseHandle(exclusive);
}

TEST_F(DiskFileTest, AFailedOpenAsksRetryOrCancelOnlyWithShowErrors) {
    const std::wstring missing = At(L"missing.txt");
    struct Case {
        DWORD access;
        const wchar_t* caption;
    } cases[] = {
        {GENERIC_READ, L"File Read Error"},
        {GENERIC_WRITE, L"File Write Error"},
        {GENERIC_READ | GENERIC_WRITE, L"File Write Error"},
    };
    for (const auto& c : cases) {
        BoxRecorder boxes;
        boxes.answers = {IDCANCEL};
        DiskFile file;
        EXPECT_FALSE(file.Open(missing.c_str(), c.access, OPEN_EXISTING, true));
        EXPECT_FALSE(file.IsOpen());
        ASSERT_EQ(1u, boxes.calls.size());
        ExpectBox(boxes.calls[0], L"Unable to open '" + missing + L"'", c.caption, MB_RETRYCANCEL);

        EXPECT_FALSE(file.Open(missing.c_str(), c.access, OPEN_EXISTING, false));
        EXPECT_EQ(1u, boxes.calls.size()) << "no question without show-errors";
    }

    BoxRecorder boxes;
    DiskFile unnamed;
    EXPECT_FALSE(unnamed.Open(L"", GENERIC_READ, OPEN_ALWAYS, true));
    ASSERT_EQ(1u, boxes.calls.size());
    EXPECT_EQ(L"Unable to open ''", S(boxes.calls[0].text));
}

TEST_F(DiskFileTest, RetryAfterTheUserFixedTheProblemOpensTheFile) {
    const std::wstring path = At(L"later.txt");
    BoxRecorder boxes;
    boxes.answers = {IDRETRY, IDRETRY};
    int box = 0;
    // The file turns up only after the second question.
    boxes.onBox = [&](const MessageBoxCall&) {
        if (++box == 2) WriteRaw(path, "ok");
    };
    DiskFile file;
    ASSERT_TRUE(file.Open(path.c_str(), GENERIC_READ, OPEN_EXISTING, true));
    EXPECT_EQ(2u, boxes.calls.size());
    char buffer[4];
    EXPECT_EQ(2u, file.Read(4, buffer));
}

TEST_F(DiskFileTest, ReadingWithoutAHandleAsksOnlyWithShowErrors) {
    const std::wstring path = At(L"never-opened.txt");
    char buffer[8];
    {
        BoxRecorder boxes;
        DiskFile quiet(path.c_str());
        EXPECT_EQ(0u, quiet.Read(8, buffer));
        EXPECT_TRUE(boxes.calls.empty());
    }
    BoxRecorder boxes;
    boxes.answers = {IDCANCEL};
    DiskFile file(path.c_str());
    file.SetShowErrors(true);
    EXPECT_EQ(0u, file.Read(8, buffer));
    ASSERT_EQ(1u, boxes.calls.size());
    ExpectBox(boxes.calls[0], L"Unable to read from '" + path + L"'", L"File Read Error", MB_RETRYCANCEL);
}

TEST_F(DiskFileTest, RetryReadsAgainOnceTheFileIsThere) {
    const std::wstring path = At(L"late.txt");
    ASSERT_TRUE(WriteRaw(path, "payload"));
    DiskFile file(path.c_str());
    file.SetShowErrors(true);
    BoxRecorder boxes;
    boxes.answers = {IDRETRY};
    boxes.onBox = [&](const MessageBoxCall&) { file.Open(path.c_str(), GENERIC_READ, OPEN_EXISTING, true); };
    char buffer[16] = {};
    EXPECT_EQ(7u, file.Read(16, buffer));
    EXPECT_EQ("payload", std::string(buffer, 7));
    EXPECT_EQ(1u, boxes.calls.size());
}

TEST_F(DiskFileTest, TheEndOfTheFileIsNotAnError) {
    const std::wstring path = At(L"short.txt");
    ASSERT_TRUE(WriteRaw(path, "abc"));
    BoxRecorder boxes;
    DiskFile file;
    ASSERT_TRUE(file.Open(path.c_str(), GENERIC_READ, OPEN_EXISTING, true));
    char buffer[8];
    EXPECT_EQ(3u, file.Read(8, buffer));
    EXPECT_EQ(0u, file.Read(8, buffer));
    EXPECT_TRUE(boxes.calls.empty());
}

TEST_F(DiskFileTest, WriteFailuresAskRetryOrCancel) {
    const std::wstring path = At(L"readonly-handle.txt");
    ASSERT_TRUE(WriteRaw(path, ""));
    {
        BoxRecorder boxes;
        DiskFile quiet;
        ASSERT_TRUE(quiet.Open(path.c_str(), GENERIC_READ, OPEN_EXISTING, false));
        EXPECT_FALSE(quiet.Write(3, "abc"));
        EXPECT_TRUE(boxes.calls.empty());
    }
    BoxRecorder boxes;
    boxes.answers = {IDCANCEL};
    DiskFile file;
    ASSERT_TRUE(file.Open(path.c_str(), GENERIC_READ, OPEN_EXISTING, true));
    EXPECT_FALSE(file.Write(3, "abc"));
    ASSERT_EQ(1u, boxes.calls.size());
    ExpectBox(boxes.calls[0], L"Unable to write to '" + path + L"'", L"File Write Error", MB_RETRYCANCEL);

    // Retry after the file has been made writable: the bytes are written once.
    boxes.calls.clear();
    boxes.answers = {IDRETRY};
    boxes.onBox = [&](const MessageBoxCall&) { file.Open(path.c_str(), GENERIC_WRITE, OPEN_EXISTING, true); };
    EXPECT_TRUE(file.Write(3, "xyz"));
    EXPECT_EQ(1u, boxes.calls.size());
    file.Close();
    EXPECT_EQ("xyz", ReadRaw(path));
}

TEST_F(DiskFileTest, ANullBufferIsOnlyAcceptedForNothing) {
    const std::wstring path = At(L"null.txt");
    BoxRecorder boxes;
    DiskFile file;
    ASSERT_TRUE(file.Open(path.c_str(), GENERIC_WRITE, CREATE_ALWAYS, true));
    EXPECT_TRUE(file.Write(0, nullptr));
    EXPECT_TRUE(boxes.calls.empty());
    EXPECT_FALSE(file.Write(4, nullptr));
    ASSERT_EQ(1u, boxes.calls.size());
    ExpectBox(boxes.calls[0], L"Error writing a NULL buffer to file", L"File Write Error", MB_OK);

    file.SetShowErrors(false);
    EXPECT_FALSE(file.Write(4, nullptr));
    EXPECT_EQ(1u, boxes.calls.size());
}

// --- ReadLine --------------------------------------------------------------------------------------

namespace {

std::vector<std::wstring> ReadAllLines(const std::wstring& path, bool wide, bool* extraCallFalse = nullptr) {
    std::vector<std::wstring> lines;
    DiskFile file;
    if (!file.Open(path.c_str(), GENERIC_READ, OPEN_EXISTING, false)) return {L"<cannot open>"};
    WString line(L"stale");
    while (ReadLine(file, line, wide)) {
        lines.push_back(S(line));
        if (lines.size() > 50) break;
    }
    EXPECT_TRUE(line.Empty()) << "the line is emptied even when nothing is read";
    if (extraCallFalse) *extraCallFalse = !ReadLine(file, line, wide);
    return lines;
}

std::string Utf16(const std::wstring& text) {
    std::string bytes;
    for (wchar_t ch : text) {
        bytes += char(ch & 0xFF);
        bytes += char((ch >> 8) & 0xFF);
    }
    return bytes;
}

using Lines = std::vector<std::wstring>;

struct LineCase {
    const char* name;
    std::wstring content;
    Lines expected;
};

// The same cases serve both modes: the content is written as bytes or as UTF-16.
const LineCase kLineCases[] = {
    {"empty file", L"", {}},
    {"CR only", L"a\rb", {L"a", L"b"}},
    {"LF only", L"a\nb\n", {L"a", L"b"}},
    {"CR LF", L"a\r\nb\r\n", {L"a", L"b"}},
    {"CR LF then a lone LF", L"a\r\n\n", {L"a", L""}},
    {"empty lines", L"\r\n\r\nx", {L"", L"", L"x"}},
    {"LF CR is two line ends", L"a\n\rb", {L"a", L"", L"b"}},
    {"CR CR", L"a\r\rb", {L"a", L"", L"b"}},
    // A CR with nothing after it ends the line as the end of the file does.
    {"CR at the end after an empty line", L"a\r\r", {L"a"}},
    {"last line without a line end", L"one\r\ntwo", {L"one", L"two"}},
    {"blanks are kept", L" a \r\n\t", {L" a ", L"\t"}},
};

}  // namespace

TEST_F(DiskFileTest, ReadLineEightBit) {
    for (const auto& c : kLineCases) {
        const std::wstring path = At(L"lines8.txt");
        ASSERT_TRUE(WriteRaw(path, ToAnsi(c.content.c_str())));
        bool endsFalse = false;
        EXPECT_EQ(c.expected, ReadAllLines(path, false, &endsFalse)) << c.name;
        EXPECT_TRUE(endsFalse) << c.name;
    }
}

TEST_F(DiskFileTest, ReadLineWide) {
    for (const auto& c : kLineCases) {
        const std::wstring path = At(L"lines16.txt");
        ASSERT_TRUE(WriteRaw(path, Utf16(c.content)));
        bool endsFalse = false;
        EXPECT_EQ(c.expected, ReadAllLines(path, true, &endsFalse)) << c.name;
        EXPECT_TRUE(endsFalse) << c.name;
    }
}

TEST_F(DiskFileTest, ReadLineByteOrderMarks) {
    const std::wstring path = At(L"bom.txt");
    // Wide: a mark is dropped at the start of the file and of any line, kept inside a line.
    ASSERT_TRUE(WriteRaw(path, Utf16(L"\uFEFFa\r\n\uFEFFb\uFEFF\r\n\uFEFF\r\n\u00e9\u4e2d")));
    EXPECT_EQ((Lines{L"a", L"b\uFEFF", L"", L"\u00e9\u4e2d"}), ReadAllLines(path, true));

    // An odd trailing byte is not a unit.
    ASSERT_TRUE(WriteRaw(path, Utf16(L"ab") + "c"));
    EXPECT_EQ((Lines{L"ab"}), ReadAllLines(path, true));

    // 8-bit: the bytes of a UTF-8 mark are ordinary characters of the code page.
    const std::string utf8Bom = "\xEF\xBB\xBF";
    ASSERT_TRUE(WriteRaw(path, utf8Bom + "a\r\n" + utf8Bom + "b"));
    const std::wstring bomText = S(FromAnsi(utf8Bom.c_str()));
    ASSERT_EQ(3u, bomText.size());
    EXPECT_EQ((Lines{bomText + L"a", bomText + L"b"}), ReadAllLines(path, false));
}

TEST_F(DiskFileTest, ReadLineLeavesThePositionAtTheNextLine) {
    const std::wstring path = At(L"mixed.txt");
    ASSERT_TRUE(WriteRaw(path, "a\rbc"));
    DiskFile file;
    ASSERT_TRUE(file.Open(path.c_str(), GENERIC_READ, OPEN_EXISTING, false));
    WString line;
    ASSERT_TRUE(ReadLine(file, line, false));
    char rest[4] = {};
    EXPECT_EQ(2u, file.Read(4, rest));
    EXPECT_EQ("bc", std::string(rest, 2));
}
