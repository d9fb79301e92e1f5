#include "elevation/RequestChannel.h"

#include "base/Files.h"
#include "elevation/ChannelTestSupport.h"
#include "elevation/Launch.h"

#include <gtest/gtest.h>

#include <thread>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

struct RunCall {
    std::wstring program;
    std::wstring arguments;
    bool wait;
    std::wstring valueAtThatTime;  // registry value "Order" when the program was run
    bool fileStillThere;
};

// A "[run]" handler that records its calls instead of running anything.
class RunRecorder {
public:
    RunRecorder(std::wstring channel, std::wstring key) : channel_(std::move(channel)), key_(std::move(key)) {}

    RunRequestHandler Handler() {
        return [this](const WString& program, const WString& arguments, bool wait) {
            calls.push_back({program.c_str(), arguments.c_str(), wait,
                             ReadRegValue(HKEY_CURRENT_USER, key_, L"Order").Text(), Exists(channel_)});
        };
    }

    std::vector<RunCall> calls;

private:
    std::wstring channel_;
    std::wstring key_;
};

// UTF-16 LE bytes of `text` exactly as given (line ends included by the caller).
std::string Utf16(const std::wstring& text) {
    std::string bytes;
    for (wchar_t ch : text) {
        bytes += char(ch & 0xFF);
        bytes += char(ch >> 8);
    }
    return bytes;
}

std::wstring Key(TestKey& key) { return key.Under(HKEY_CURRENT_USER); }

}  // namespace

// --- the launcher's reader ---------------------------------------------------------------------

TEST(ServeRequests, CarriesOutRequestsInFileOrderThenDeletesTheFile) {
    ScratchFolder scratch;
    TestKey key(L"serve-order");
    const std::wstring k = Key(key);
    const std::wstring channel = scratch / L"TVI1.tmp";
    RunRecorder runs(channel, k);
    WriteBytes(channel, ChannelBytes({L"[setreg_hkcu_string]", L"Order", k, L"first",
                                      L"[run]", L"C:\\Tools\\one.exe", L"", L"0",
                                      L"[setreg_hkcu_string]", L"Order", k, L"second",
                                      L"[run]", L"C:\\Tools\\two.exe", L"--x \"quoted arg\"", L"1",
                                      L"[setreg_hkcu_dword]", L"Count", k + L"\\Sub", L"7"}));

    ServeRequests(channel.c_str(), runs.Handler());

    ASSERT_EQ(2u, runs.calls.size());
    EXPECT_EQ(L"C:\\Tools\\one.exe", runs.calls[0].program);
    EXPECT_EQ(L"", runs.calls[0].arguments);
    EXPECT_FALSE(runs.calls[0].wait);
    EXPECT_EQ(L"first", runs.calls[0].valueAtThatTime);
    EXPECT_EQ(L"C:\\Tools\\two.exe", runs.calls[1].program);
    EXPECT_EQ(L"--x \"quoted arg\"", runs.calls[1].arguments);
    EXPECT_TRUE(runs.calls[1].wait);
    EXPECT_EQ(L"second", runs.calls[1].valueAtThatTime);
    // The file goes only after the requests are done: the writer waits for exactly that.
    EXPECT_TRUE(runs.calls[1].fileStillThere);
    EXPECT_FALSE(Exists(channel));

    RegValue order = ReadRegValue(HKEY_CURRENT_USER, k, L"Order");
    EXPECT_EQ(DWORD(REG_SZ), order.type);
    EXPECT_EQ(L"second", order.Text());
    // The stored size includes the terminating NUL.
    EXPECT_EQ(std::wstring(L"second").size() * 2 + 2, order.data.size());
    RegValue count = ReadRegValue(HKEY_CURRENT_USER, k + L"\\Sub", L"Count");
    EXPECT_EQ(DWORD(REG_DWORD), count.type);
    EXPECT_EQ(7u, count.Dword());
}

TEST(ServeRequests, ReadsNumbersLikeTheScriptDoes) {
    ScratchFolder scratch;
    TestKey key(L"serve-numbers");
    const std::wstring k = Key(key);
    struct Case {
        const wchar_t* text;
        DWORD value;
    } cases[] = {
        {L"-1", 0xFFFFFFFFu}, {L" 42", 42}, {L"12abc", 12}, {L"", 0}, {L"+7", 7}, {L"abc", 0}, {L"4294967297", 1},
    };
    std::vector<std::wstring> lines;
    for (size_t i = 0; i < std::size(cases); ++i) {
        lines.insert(lines.end(), {L"[setreg_hkcu_dword]", L"N" + std::to_wstring(i), k, cases[i].text});
    }
    // "[run]" reads its wait line the same way.
    lines.insert(lines.end(), {L"[run]", L"a.exe", L"", L" 2x", L"[run]", L"b.exe", L"", L"-0"});
    const std::wstring channel = scratch / L"TVI2.tmp";
    WriteBytes(channel, ChannelBytes(lines));
    RunRecorder runs(channel, k);

    ServeRequests(channel.c_str(), runs.Handler());

    for (size_t i = 0; i < std::size(cases); ++i) {
        RegValue value = ReadRegValue(HKEY_CURRENT_USER, k, L"N" + std::to_wstring(i));
        EXPECT_EQ(DWORD(REG_DWORD), value.type) << Narrow(cases[i].text);
        EXPECT_EQ(cases[i].value, value.Dword()) << Narrow(cases[i].text);
    }
    ASSERT_EQ(2u, runs.calls.size());
    EXPECT_TRUE(runs.calls[0].wait);
    EXPECT_FALSE(runs.calls[1].wait);
}

TEST(ServeRequests, PassesOverLinesThatAreNotHeadersOneByOne) {
    ScratchFolder scratch;
    TestKey key(L"serve-skip");
    const std::wstring k = Key(key);
    const std::wstring channel = scratch / L"TVI3.tmp";
    RunRecorder runs(channel, k);
    WriteBytes(channel, ChannelBytes({
                            L"noise before",
                            // Not headers: capital letter, trailing blank, leading blank. Their
                            // would-be value lines are looked at one by one...
                            L"[Run]", L"C:\\never.exe", L"", L"1",
                            L"[run] ", L"C:\\never.exe", L"", L"1",
                            L" [setreg_hkcu_string]", L"Skipped", k, L"no",
                            // ...so a header among them still starts a request.
                            L"[RUN]", L"[setreg_hkcu_string]", L"Taken", k, L"yes",
                            L"",
                            // An empty program line is consumed with its two lines and does nothing.
                            L"[run]", L"", L"[setreg_hkcu_string]", L"1",
                            L"[setreg_hkcu_string]", L"Last", k, L"after the empty run",
                        }));

    ServeRequests(channel.c_str(), runs.Handler());

    EXPECT_TRUE(runs.calls.empty());
    EXPECT_EQ(L"yes", ReadRegValue(HKEY_CURRENT_USER, k, L"Taken").Text());
    EXPECT_EQ(DWORD(REG_NONE), ReadRegValue(HKEY_CURRENT_USER, k, L"Skipped").type);
    EXPECT_EQ(L"after the empty run", ReadRegValue(HKEY_CURRENT_USER, k, L"Last").Text());
    EXPECT_FALSE(Exists(channel));
}

TEST(ServeRequests, AcceptsByteOrderMarksBareLineFeedsAndAFileCutShort) {
    ScratchFolder scratch;
    TestKey key(L"serve-lenient");
    const std::wstring k = Key(key);
    const std::wstring channel = scratch / L"TVI4.tmp";
    RunRecorder runs(channel, k);
    WriteBytes(channel, Utf16(L"\xFEFF[setreg_hkcu_string]\nA\n" + k + L"\n\xFEFFwith mark\n" +
                              L"\xFEFF[setreg_hkcu_dword]\r\nB\r\n" + k + L"\r\n5\n" +
                              L"[setreg_hkcu_string]\r\nC\r\n" + k));

    ServeRequests(channel.c_str(), runs.Handler());

    EXPECT_EQ(L"with mark", ReadRegValue(HKEY_CURRENT_USER, k, L"A").Text());
    EXPECT_EQ(5u, ReadRegValue(HKEY_CURRENT_USER, k, L"B").Dword());
    // The missing data line is empty: an empty text is written.
    RegValue c = ReadRegValue(HKEY_CURRENT_USER, k, L"C");
    EXPECT_EQ(DWORD(REG_SZ), c.type);
    EXPECT_EQ(L"", c.Text());
    EXPECT_FALSE(Exists(channel));
}

TEST(ServeRequests, NoFileNoRequest) {
    ScratchFolder scratch;
    bool called = false;
    ServeRequests((scratch / L"TVI5.tmp").c_str(), [&](const WString&, const WString&, bool) { called = true; });
    EXPECT_FALSE(called);
    EXPECT_FALSE(Exists(scratch / L"TVI5.tmp"));
}

// --- the elevated instance's writer -------------------------------------------------------------

TEST(PostRequest, WritesUtf16LinesAndReturnsOnceTheFileIsGone) {
    ScratchFolder scratch;
    const std::wstring channel = scratch / L"TVI6.tmp";
    ChannelPathScope scope(channel);
    FakeLauncher launcher(channel);
    StringList lines;
    for (const wchar_t* line : {L"[run]", L"C:\\Program Files\\Ünïcode\\app.exe", L"", L"1"}) lines.Add(line);

    EXPECT_TRUE(PostRequest(lines));

    EXPECT_FALSE(Exists(channel));
    ASSERT_EQ(1u, launcher.Requests().size());
    EXPECT_EQ(ChannelBytes({L"[run]", L"C:\\Program Files\\Ünïcode\\app.exe", L"", L"1"}), launcher.Requests()[0]);
}

TEST(PostRequest, ReplacesAFileLeftBehind) {
    ScratchFolder scratch;
    const std::wstring channel = scratch / L"TVI7.tmp";
    ChannelPathScope scope(channel);
    const std::string stale = ChannelBytes({L"[setreg_hkcu_string]", L"Old", L"Software\\Old", L"a long stale value"});
    WriteBytes(channel, stale);
    StringList lines;
    for (const wchar_t* line : {L"[run]", L"x.exe", L"", L"0"}) lines.Add(line);
    bool posted = false;
    std::thread writer([&] { posted = PostRequest(lines); });

    std::string seen;
    ASSERT_TRUE(WaitUntil([&] {
        seen = ReadBytes(channel);
        return !seen.empty() && seen != stale;
    }));
    // Created anew, not overwritten in place: no tail of the old content.
    EXPECT_EQ(ChannelBytes({L"[run]", L"x.exe", L"", L"0"}), seen);
    ::DeleteFileW(channel.c_str());
    writer.join();
    EXPECT_TRUE(posted);
}

TEST(PostRequest, WithoutChannelTheRequestIsDropped) {
    ChannelPathScope scope(L"");
    StringList lines;
    for (const wchar_t* line : {L"[run]", L"x.exe", L"", L"0"}) lines.Add(line);
    EXPECT_FALSE(PostRequest(lines));
}

// --- two processes ---------------------------------------------------------------------------------

namespace {

void WriteRequests(const std::wstring& path, const std::vector<std::wstring>& lines) {
    std::string text;
    for (const std::wstring& line : lines) text += Narrow(line) + "\n";
    WriteBytes(path, text);
}

std::wstring PosterArguments(const std::wstring& channel, const std::wstring& requests, const std::wstring& log) {
    return L"--channel=\"" + channel + L"\" --requests=\"" + requests + L"\" --log=\"" + log + L"\"";
}

}  // namespace

TEST(RequestChannel, LauncherServesTheChildsRequestsInOrderUntilItEnds) {
    ScratchFolder scratch;
    TestKey key(L"channel-order");
    const std::wstring k = Key(key);
    const std::wstring channel = scratch / L"TVI8.tmp";
    const std::wstring requests = scratch / L"requests.txt";
    const std::wstring log = scratch / L"poster.log";
    WriteRequests(requests, {L"[setreg_hkcu_string]", L"Order", k, L"first",
                             L"[run]", L"C:\\one.exe", L"-a", L"0",
                             L"[setreg_hkcu_string]", L"Order", k, L"second",
                             L"[run]", L"C:\\two.exe", L"", L"1",
                             L"[setreg_hkcu_dword]", L"All", k, L"-1"});
    RunRecorder runs(channel, k);

    EXPECT_TRUE(LaunchAndServe(FixturePath(L"tarvo-poster.exe").c_str(), PosterArguments(channel, requests, log).c_str(),
                               channel.c_str(), runs.Handler()));

    std::vector<std::string> lines = LogLines(log);
    EXPECT_EQ((std::vector<std::string>{"watch 1", "posted 1 1", "posted 2 1", "posted 3 1", "posted 4 1",
                                        "posted 5 1", "done"}),
              lines);
    ASSERT_EQ(2u, runs.calls.size());
    EXPECT_EQ(L"C:\\one.exe", runs.calls[0].program);
    EXPECT_EQ(L"-a", runs.calls[0].arguments);
    EXPECT_FALSE(runs.calls[0].wait);
    EXPECT_EQ(L"first", runs.calls[0].valueAtThatTime);
    EXPECT_EQ(L"C:\\two.exe", runs.calls[1].program);
    EXPECT_TRUE(runs.calls[1].wait);
    EXPECT_EQ(L"second", runs.calls[1].valueAtThatTime);
    EXPECT_EQ(L"second", ReadRegValue(HKEY_CURRENT_USER, k, L"Order").Text());
    EXPECT_EQ(0xFFFFFFFFu, ReadRegValue(HKEY_CURRENT_USER, k, L"All").Dword());
    EXPECT_FALSE(Exists(channel));
}

TEST(RequestChannel, ElevatedInstanceStopsWaitingWhenItsLauncherIsGone) {
    ScratchFolder scratch;
    TestKey key(L"channel-gone");
    const std::wstring k = Key(key);
    const std::wstring channel = scratch / L"TVI9.tmp";
    const std::wstring requests = scratch / L"requests.txt";
    const std::wstring log = scratch / L"poster.log";
    WriteRequests(requests, {L"[setreg_hkcu_string]", L"Never", k, L"served",
                             L"[setreg_hkcu_string]", L"NeverEither", k, L"served"});
    // The launcher stand-in starts the poster, waits for its first request and ends unserved.
    std::wstring commandLine =
        L"\"" + FixturePath(L"tarvo-poster.exe") + L"\" " + PosterArguments(channel, requests, log) + L" --relaunch";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    ::WaitForSingleObject(info.hProcess, INFINITE);
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);

    ASSERT_TRUE(WaitUntil([&] { return LineIndex(LogLines(log), "done") >= 0; })) << ReadBytes(log);
    std::vector<std::string> lines = LogLines(log);
    EXPECT_GE(LineIndex(lines, "watch 1"), 0);
    EXPECT_LT(LineIndex(lines, "launcher leaves"), LineIndex(lines, "posted 1 0"));
    // The first request is dropped once the launcher is gone; the next is not even written.
    EXPECT_LT(LineIndex(lines, "posted 1 0"), LineIndex(lines, "posted 2 0"));
    EXPECT_FALSE(Exists(channel));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, k));
}

TEST(Launch, ProgramsThatCannotStartFailQuietly) {
    MessageRecorder boxes;
    ScratchFolder scratch;
    const std::wstring missing = scratch / L"missing.exe";
    EXPECT_FALSE(LaunchElevated(missing.c_str(), L"", true));
    EXPECT_FALSE(LaunchAndServe(missing.c_str(), L"", (scratch / L"TVI10.tmp").c_str(), nullptr));
    EXPECT_FALSE(StartWithShell(missing.c_str(), L"", nullptr, true));
    EXPECT_TRUE(boxes.calls.empty());
}

TEST(Launch, LaunchElevatedWaitsWhenAsked) {
    ScratchFolder scratch;
    const std::wstring log = scratch / L"probe.log";
    ASSERT_TRUE(LaunchElevated(FixturePath(L"tarvo-probe.exe").c_str(), (L"--log=\"" + log + L"\" --wait-ms=300").c_str(),
                               true));
    std::vector<std::string> lines = LogLines(log);
    ASSERT_EQ(2u, lines.size()) << ReadBytes(log);
    EXPECT_EQ(0, LineIndex(lines, "started"));
    EXPECT_EQ(1, LineIndex(lines, "ended"));
}
