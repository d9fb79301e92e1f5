// Containers made by the builder, holding real installers made by the builder, run the way a user
// or a deployment tool starts them.
//
// The inner installers are small products ("Tarvo E2E Alpha", "Beta", "Gamma"): each places a
// file, writes a machine-wide value and runs tarvo-probe, whose log line names the product, so the
// log tells which installers ran and in which order. Container entries that are tarvo-probe itself
// log the command line the container gave them (the log path comes from TARVO_PROBE_LOG, which
// the container and its installers inherit).
//
// A container passes no switch of its own to its installers but "--force32bit": silent mode does
// not reach them. An installer looks for "--silent" anywhere in its command line, its own path
// included, so entries named "...--silent.exe" install without waiting for a click, the way a
// publisher makes a container that installs unattended.
#include "e2e/ContainerSupport.h"

#include "builder/ByteIo.h"
#include "builder/Packing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

using namespace tarvo::e2e;
using tarvo::testing::Exists;
using tarvo::testing::ReadBytes;

namespace {

struct Product {
    const char* tag;  // the probe's "product=" value and the name of the file it places
    std::wstring name;
};
const Product kAlpha = {"alpha", L"Tarvo E2E Alpha"};
const Product kBeta = {"beta", L"Tarvo E2E Beta"};
const Product kGamma = {"gamma", L"Tarvo E2E Gamma"};

std::string Quoted(const std::wstring& path) { return "\"" + Narrow(path) + "\""; }
std::wstring Wide(const char* ascii) { return std::wstring(ascii, ascii + std::strlen(ascii)); }

// An installer's script: the product's file, its value under HKLM, and tarvo-probe run from the
// package with the log and, when given, a file to wait for.
std::string ProductScript(const Product& p, const std::wstring& log, const std::wstring& gate) {
    const std::string name = Narrow(p.name);
    std::string arguments = "--log=" + Quoted(log) + " product=" + p.tag;
    if (!gate.empty()) arguments += " --wait-file=" + Quoted(gate);
    return "[Project Name]\n" + name + "\n\n[ProgramVersion]\n1.0\n\n[Install To]\n<Program Files>\\" + name +
           "\n\n[CopyFile]\n" + p.tag + ".txt\n<Destination>\\" + p.tag + ".txt\n\n[Registry]\nHKLM\nSoftware\\" +
           name + "\nSTRING\nTag\n" + p.tag + "\n\n[RunAndWaitFile]\n<TempInstall>\\tarvo-probe.exe\n" + arguments +
           "\n\n";
}

struct Message {
    std::string text;
    std::string kind;
};

// A container's script: its messages, then one [CopyFile] per installer (the destination line is
// not read by a container).
std::string ContainerScript(const std::vector<Message>& messages, const std::vector<std::wstring>& entries) {
    std::string script = "[InstallContainer]\n\n";
    for (const Message& m : messages) script += "[Message]\n" + m.text + "\n" + m.kind + "\n\n";
    for (const std::wstring& e : entries)
        script += "[CopyFile]\n" + Narrow(e) + "\n<Destination>\\" + Narrow(e) + "\n\n";
    return script;
}

bool IsInstalled(const Product& p) {
    return Exists(ProgramFiles() + L"\\" + p.name + L"\\" + Wide(p.tag) + L".txt") &&
           ReadString(HKEY_LOCAL_MACHINE, L"Software\\" + p.name, L"Tag").value_or(L"") == Wide(p.tag);
}

// The products whose probe ran, in order ("alpha", "beta", ...), from the "product=" arguments.
std::vector<std::string> ProductsRun(const std::wstring& log) {
    std::vector<std::string> products;
    for (const std::string& line : StartedLines(log)) {
        size_t at = line.find(" product=");
        if (at != std::string::npos) products.push_back(line.substr(at + 9, line.find(' ', at + 9) - at - 9));
    }
    return products;
}

bool HasProductLine(const std::wstring& log, const char* tag) {
    for (const std::string& p : ProductsRun(log)) {
        if (p == tag) return true;
    }
    return false;
}

// Entries that are tarvo-probe itself: the programs they ran as (file names) and their command
// lines after the program path.
struct ProbeRun {
    std::string program;
    std::string arguments;
};
std::vector<ProbeRun> ProbeEntriesRun(const std::wstring& log) {
    std::vector<ProbeRun> runs;
    for (const std::string& line : StartedLines(log)) {
        if (line.find(" product=") != std::string::npos) continue;
        std::string command = CommandLineOf(line);
        size_t end = command.empty()     ? std::string::npos
                     : command[0] == '"' ? command.find('"', 1) + 1
                                         : command.find(' ');
        runs.push_back({ProgramOf(line), end == std::string::npos ? std::string() : command.substr(end)});
    }
    return runs;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class ContainerInstall : public ::testing::Test {
protected:
    // Everything the tests run, built once.
    struct Built {
        tarvo::testing::ScratchFolder work;
        std::wstring log;   // the probes' log
        std::wstring gate;  // Beta's probe waits until this file exists
        std::vector<std::unique_ptr<Project>> projects;
        std::wstring alpha, beta, gamma;  // the products' installers
        std::wstring damaged;             // Gamma's installer with a damaged package
        std::wstring three;               // alpha, beta, gamma (and setup.bmp, setup.lic)
        std::wstring questions;           // two messages, then beta alone
        std::wstring variants;            // 32-bit alpha and probe, 64-bit gamma and probe
        std::wstring nested;              // the variants container in both variants, and probes
        std::wstring broken;              // no program at all, named .exe
        std::wstring failing;             // alpha, the damaged one, the broken one, gamma with its wizard, beta
        std::wstring setupNames;          // probes named setup.* and otherwise, packed by hand
    };

    static std::wstring Build(const std::string& script,
                              const std::vector<std::pair<std::wstring, std::wstring>>& files,
                              const std::wstring& output,
                              const std::vector<std::pair<std::wstring, std::string>>& made = {}) {
        built_->projects.push_back(std::make_unique<Project>());
        Project& project = *built_->projects.back();
        project.Script(script);
        for (const auto& f : files) project.CopyIn(f.first, f.second);
        for (const auto& f : made) project.File(f.first, f.second);
        return project.Build(output);
    }

    static void SetUpTestSuite() {
        built_ = new Built;
        Built& b = *built_;
        b.log = b.work / L"probe.log";
        b.gate = b.work / L"gate";
        const std::wstring probe = FixtureFile(L"tarvo-probe.exe");
        auto product = [&](const Product& p, const std::wstring& gate) {
            return Build(ProductScript(p, b.log, gate), {{L"tarvo-probe.exe", probe}}, Wide(p.tag) + L".exe",
                         {{Wide(p.tag) + L".txt", std::string(p.tag) + "\r\n"}});
        };
        b.alpha = product(kAlpha, L"");
        b.beta = product(kBeta, b.gate);
        b.gamma = product(kGamma, L"");

        // A damaged package: one byte of its directory changed, so that its checksum fails. The
        // package ends with its trailer's two magic values; the section that holds it may be
        // padded after them.
        std::string bytes = ReadBytes(b.gamma);
        const size_t magic = bytes.rfind(std::string("\x83\x52\x34\x03\x43\xF3\xFF\x0E", 8));
        if (magic != std::string::npos && magic > 64)
            bytes[magic - 40] ^= 0x5A;
        else
            ADD_FAILURE() << "no package trailer in " << Narrow(b.gamma);
        b.damaged = b.work / L"damaged.exe";
        tarvo::testing::WriteBytes(b.damaged, bytes);
        b.broken = b.work / L"broken.exe";
        tarvo::testing::WriteBytes(b.broken, "not a program\r\n");

        b.three =
            Build(ContainerScript({}, {L"alpha--silent.exe", L"beta--silent.exe", L"gamma--silent.exe"}),
                  {{L"alpha--silent.exe", b.alpha}, {L"beta--silent.exe", b.beta}, {L"gamma--silent.exe", b.gamma}},
                  L"three.exe", {{L"setup.bmp", "BM not a picture"}, {L"setup.lic", "Terms\r\n"}});
        b.questions = Build(ContainerScript({{"Tarvo E2E suite\\nBeta comes next", "Information"},
                                             {"Install Tarvo E2E Beta now?", "QuestionYesNo"}},
                                            {L"beta--silent.exe"}),
                            {{L"beta--silent.exe", b.beta}}, L"questions.exe");
        b.variants = Build(ContainerScript({}, {L"alpha--silent.exe", L"probe.exe", L"gamma__TVI_WIN64--silent.exe",
                                                L"probe__TVI_WIN64.exe"}),
                           {{L"alpha--silent.exe", b.alpha},
                            {L"probe.exe", probe},
                            {L"gamma__TVI_WIN64--silent.exe", b.gamma},
                            {L"probe__TVI_WIN64.exe", probe}},
                           L"variants.exe");
        b.nested = Build(ContainerScript({}, {L"variants.exe", L"variants__TVI_WIN64.exe", L"outer-probe.exe",
                                              L"outer-probe__TVI_WIN64.exe"}),
                         {{L"variants.exe", b.variants},
                          {L"variants__TVI_WIN64.exe", b.variants},
                          {L"outer-probe.exe", probe},
                          {L"outer-probe__TVI_WIN64.exe", probe}},
                         L"nested.exe");
        b.failing = Build(ContainerScript({}, {L"alpha--silent.exe", L"damaged.exe", L"broken.exe", L"gamma.exe",
                                               L"beta--silent.exe"}),
                          {{L"alpha--silent.exe", b.alpha},
                           {L"damaged.exe", b.damaged},
                           {L"broken.exe", b.broken},
                           {L"gamma.exe", b.gamma},
                           {L"beta--silent.exe", b.beta}},
                          L"failing.exe");
        b.setupNames = BuildSetupNames(probe);
    }

    // The builder numbers every installer of a container ("1001 - setup.exe"), so a bare
    // "setup.exe" entry only comes from a package made another way: written here with the
    // builder's own packer and put into the installer with "tarvo-build embed".
    static std::wstring BuildSetupNames(const std::wstring& probe) {
        using namespace tarvo::packager;
        const std::string probePath = Narrow(probe);
        std::vector<EntrySource> sources = {
            {"setup.dat", "", "[InstallContainer]\r\n"}, {"Setup.BMP", "", "BM not a picture"},
            {"setup.txt", "", "not a program\r\n"},      {"SETUP.EXE", probePath, ""},
            {"1001 - setup.exe", probePath, ""},         {"setup-tools.exe", probePath, ""},
        };
        const std::wstring package = built_->work / L"setup-names.package";
        File out;
        std::string error;
        PackingReport report;
        if (!out.Open(Narrow(package), "wb", &error) ||
            !WritePackage(sources, PackingOptions(), out, &report, &error) || !out.Close()) {
            ADD_FAILURE() << error;
            return L"";
        }
        const std::wstring exe = built_->work / L"setup-names.exe";
        Program embed(DistFile(L"tarvo-build.exe"), L"embed " + QuoteArgument(DistFile(L"tarvo-setup.exe")) + L" " +
                                                        QuoteArgument(package) + L" -o " + QuoteArgument(exe));
        EXPECT_EQ(embed.Finish(), 0u) << embed.Output();
        return Exists(exe) ? exe : L"";
    }

    static void TearDownTestSuite() {
        delete built_;
        built_ = nullptr;
    }

    void SetUp() override {
        ASSERT_FALSE(built_->three.empty() || built_->questions.empty() || built_->nested.empty() ||
                     built_->failing.empty() || built_->setupNames.empty())
            << "an installer was not built";
        Forget();
    }
    void TearDown() override { Forget(); }
    void Forget() {
        for (const Product* p : {&kAlpha, &kBeta, &kGamma}) ForgetProduct(p->name);
        ::DeleteFileW(built_->log.c_str());
        OpenGate();
    }

    static void OpenGate() { tarvo::testing::WriteBytes(built_->gate, "open"); }
    static void CloseGate() { ::DeleteFileW(built_->gate.c_str()); }
    static const std::wstring& Log() { return built_->log; }

    static Built* built_;
    ScopedVariable probeLog_{L"TARVO_PROBE_LOG", built_->log};
};
ContainerInstall::Built* ContainerInstall::built_ = nullptr;

// The container that the user started runs its installers one after the other in package order,
// under its window, each installer with its own elevated copy; setup.dat, setup.bmp and setup.lic
// are not run. Cancel on the window closes the window, not the run.
TEST_F(ContainerInstall, RunsEveryInstallerInOrderUnderItsWindow) {
    CloseGate();
    Program container(built_->three, L"");
    ASSERT_TRUE(container.Started());

    // Beta, the second installer, waits for the gate: the moment to look at the screen.
    ASSERT_TRUE(WaitUntil([] { return HasProductLine(Log(), "beta"); })) << ReadWholeFile(Log());
    EXPECT_TRUE(IsInstalled(kAlpha)) << "the first installer had not finished when the second started";
    EXPECT_FALSE(IsInstalled(kGamma));

    // One container process, which did not start a copy of itself; the running installer did.
    int containers = 0, betas = 0;
    for (const ProcessEntry& p : Processes()) {
        if (::lstrcmpiW(p.exe.c_str(), L"three.exe") == 0) ++containers;
        if (p.exe.find(L"beta--silent.exe") != std::wstring::npos) ++betas;
    }
    EXPECT_EQ(containers, 1);
    EXPECT_EQ(betas, 2) << "the installer's launcher and its elevated copy";

    std::vector<HWND> windows = VisibleWindowsOf(container.Pid());
    ASSERT_EQ(windows.size(), 1u) << "the container window";
    HWND window = windows[0];
    RECT r = {};
    ::GetWindowRect(window, &r);
    EXPECT_GT(r.right - r.left, 0);
    // Beta's own wizard (silent, but on the screen) is centred over the container window, and the
    // console window that Windows gives tarvo-probe (a console program started by a program
    // without one) stands in a corner: both moved aside, so that the screenshot shows the
    // container window alone.
    // The console window comes up a moment after its program has started: the screen counts as
    // clear once nothing has covered the container window for half a second.
    int clearPolls = 0;
    EXPECT_TRUE(WaitUntil(
        [&] {
            clearPolls = MoveOthersAside(window) ? clearPolls + 1 : 0;
            return clearPolls >= 10;
        },
        20000));
    std::wstring shot = SaveScreenshot(window, L"container-three-installers.bmp");
    EXPECT_FALSE(shot.empty());

    // Cancel, pressed while an installer runs, closes the window and nothing else.
    HWND cancel = ::GetDlgItem(window, IDCANCEL);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(TextOf(cancel), L"Cancel");
    DWORD_PTR ignored = 0;
    EXPECT_NE(::SendMessageTimeoutW(cancel, BM_CLICK, 0, 0, SMTO_NORMAL, 20000, &ignored), 0)
        << "the container window does not answer while an installer runs";
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(window); }, 20000));

    OpenGate();
    EXPECT_EQ(container.Finish(), 0u);
    EXPECT_EQ(ProductsRun(Log()), (std::vector<std::string>{"alpha", "beta", "gamma"}));
    EXPECT_TRUE(ProbeEntriesRun(Log()).empty());
    for (const Product* p : {&kAlpha, &kBeta, &kGamma}) {
        EXPECT_TRUE(IsInstalled(*p)) << Narrow(p->name);
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, UninstallKey(p->name))) << Narrow(p->name);
    }
    EXPECT_FALSE(::IsWindow(window));
}

// Messages come before the first installer, in boxes of the container ("Setup", no owner); one
// selected installer runs without the container window.
TEST_F(ContainerInstall, MessagesComeFirstAndASingleInstallerRunsWithoutAWindow) {
    CloseGate();
    Program container(built_->questions, L"");
    ASSERT_TRUE(container.Started());

    std::optional<MessageBoxSeen> first = WaitForMessageBox(container.Pid(), L"Tarvo E2E suite");
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->text, L"Tarvo E2E suite\r\nBeta comes next");
    EXPECT_EQ(first->caption, L"Setup");
    EXPECT_EQ(first->buttons, std::vector<int>{IDOK});
    EXPECT_TRUE(first->hasIcon);
    EXPECT_EQ(::GetWindow(first->window, GW_OWNER), nullptr);
    EXPECT_TRUE(StartedLines(Log()).empty()) << "an installer ran before the messages";
    first->Press(IDOK);

    std::optional<MessageBoxSeen> question = WaitForMessageBox(container.Pid(), L"Install Tarvo E2E Beta now?");
    ASSERT_TRUE(question.has_value());
    EXPECT_EQ(question->buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_TRUE(StartedLines(Log()).empty());
    question->Press(IDYES);

    ASSERT_TRUE(WaitUntil([] { return HasProductLine(Log(), "beta"); })) << ReadWholeFile(Log());
    EXPECT_TRUE(VisibleWindowsOf(container.Pid()).empty()) << "a window for one installer";
    OpenGate();
    EXPECT_EQ(container.Finish(), 0u);
    EXPECT_TRUE(IsInstalled(kBeta));
}

// No to a "QuestionYesNo" runs nothing and tells the caller the user cancelled; in silent mode
// no message is shown and the installers run.
TEST_F(ContainerInstall, NoRunsNothingAndSilentModeSkipsTheMessages) {
    {
        Program container(built_->questions, L"");
        std::optional<MessageBoxSeen> first = WaitForMessageBox(container.Pid(), L"Tarvo E2E suite");
        ASSERT_TRUE(first.has_value());
        first->Press(IDOK);
        std::optional<MessageBoxSeen> question = WaitForMessageBox(container.Pid(), L"Install Tarvo E2E Beta now?");
        ASSERT_TRUE(question.has_value());
        question->Press(IDNO);
        EXPECT_EQ(container.Finish(), 1602u);
        EXPECT_TRUE(StartedLines(Log()).empty());
        EXPECT_FALSE(IsInstalled(kBeta));
    }
    {
        Program container(built_->questions, L"--silent");
        // A box would hold the container up: answered, so that the run ends and the test fails.
        std::vector<std::wstring> boxes;
        while (container.Running()) {
            if (std::optional<MessageBoxSeen> box = FindMessageBox(container.Pid())) {
                boxes.push_back(box->text);
                box->Press(box->buttons.empty() ? IDOK : box->buttons.front());
            }
            ::Sleep(50);
        }
        EXPECT_EQ(container.Finish(), 0u);
        EXPECT_TRUE(boxes.empty()) << Narrow(boxes.front());
        EXPECT_TRUE(IsInstalled(kBeta));
    }
}

// On this 64-bit Windows a container runs its 64-bit entries; with "--force32bit" it runs the
// 32-bit ones and passes the switch on, so a container inside it makes the same choice.
TEST_F(ContainerInstall, VariantsFollowWindowsOrTheForceSwitchDownToANestedContainer) {
    // Two blanks before the switch: the program's quoted path and the argument text
    // " --force32bit" are joined with one.
    const std::vector<ProbeRun> forced = {{"outer-probe.exe", "  --force32bit"}, {"probe.exe", "  --force32bit"}};
    struct Case {
        const char* what;
        const wchar_t* arguments;
        std::vector<ProbeRun> probes;  // the outer container's probe first, then the inner one's
        const Product* installed;
        const Product* notInstalled;
    } cases[] = {
        {"64-bit Windows", L"", {{"outer-probe__TVI_WIN64.exe", ""}, {"probe__TVI_WIN64.exe", ""}}, &kGamma, &kAlpha},
        {"--force32bit", L"--force32bit", forced, &kAlpha, &kGamma},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Forget();
        Program container(built_->nested, c.arguments);
        EXPECT_EQ(container.Finish(), 0u);
        std::vector<ProbeRun> probes = ProbeEntriesRun(Log());
        ASSERT_EQ(probes.size(), c.probes.size()) << ReadWholeFile(Log());
        // The outer container runs the inner one first, so the inner probe logs first.
        std::reverse(probes.begin(), probes.end());
        for (size_t i = 0; i < probes.size(); ++i) {
            EXPECT_TRUE(EndsWith(probes[i].program, c.probes[i].program)) << probes[i].program;
            EXPECT_EQ(probes[i].arguments, c.probes[i].arguments);
        }
        EXPECT_TRUE(IsInstalled(*c.installed));
        EXPECT_FALSE(IsInstalled(*c.notInstalled));
    }
}

// The container's exit code is the first non-zero one of its installers, and a failing installer
// does not stop the ones after it: here Gamma's damaged copy reports its package and fails (1603),
// a file that is no program cannot be started (1603, reported by the container over its window),
// then the user closes Gamma's own wizard (1602).
TEST_F(ContainerInstall, ExitCodeIsTheFirstFailingInstallersAndTheRestStillRun) {
    Program container(built_->failing, L"");
    ASSERT_TRUE(container.Started());
    HWND window = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        std::vector<HWND> windows = VisibleWindowsOf(container.Pid());
        window = windows.empty() ? nullptr : windows[0];
        return window != nullptr;
    }));

    // The boxes are answered until the next installer's wizard is up.
    int corrupted = 0;
    std::optional<MessageBoxSeen> notRun;
    const wchar_t* const gammaWizard = L"Tarvo E2E Gamma Installer";
    ASSERT_TRUE(WaitUntil([&] {
        // The damaged installer's own boxes, in whichever of its processes shows them.
        if (std::optional<MessageBoxSeen> box = FindMessageBox(0, L"corrupted")) {
            EXPECT_EQ(box->text, L"This installation is corrupted, please obtain a new copy.");
            box->Press(IDOK);
            ++corrupted;
            WaitUntil([&] { return !::IsWindowVisible(box->window); }, 5000);
        }
        if (std::optional<MessageBoxSeen> box = FindMessageBox(container.Pid(), L"Error whilst running")) {
            notRun = box;
            EXPECT_EQ(::GetWindow(box->window, GW_OWNER), window);
            box->Press(IDOK);
            WaitUntil([&] { return !::IsWindowVisible(box->window); }, 5000);
        }
        HWND wizard = ::FindWindowW(nullptr, gammaWizard);
        return wizard && ::IsWindowVisible(wizard);
    }));
    EXPECT_GE(corrupted, 1);
    ASSERT_TRUE(notRun.has_value());
    EXPECT_NE(notRun->text.find(L"broken.exe'"), std::wstring::npos) << Narrow(notRun->text);
    EXPECT_EQ(notRun->caption, L"Setup");

    DriverProcess driver({L"click", gammaWizard, L"\"Cancel\"", L"gone", gammaWizard, L"30000"});
    EXPECT_EQ(driver.Finish(), 0u) << driver.Output();

    EXPECT_EQ(container.Finish(), 1603u);
    EXPECT_EQ(ProductsRun(Log()), (std::vector<std::string>{"alpha", "beta"}));
    EXPECT_TRUE(IsInstalled(kAlpha));
    EXPECT_TRUE(IsInstalled(kBeta));
    EXPECT_FALSE(IsInstalled(kGamma));
}

// Entries named setup with any extension, in any letter case, are never run; names that only
// contain "setup" are. Silent mode does not reach the installers, and a container without 64-bit
// entries passes them nothing.
TEST_F(ContainerInstall, SetupNamedEntriesAreNeverRun) {
    Program container(built_->setupNames, L"--silent");
    EXPECT_EQ(container.Finish(), 0u);
    std::vector<ProbeRun> probes = ProbeEntriesRun(Log());
    ASSERT_EQ(probes.size(), 2u) << ReadWholeFile(Log());
    EXPECT_TRUE(EndsWith(probes[0].program, "-1001 - setup.exe")) << probes[0].program;
    EXPECT_TRUE(EndsWith(probes[1].program, "-setup-tools.exe")) << probes[1].program;
    for (const ProbeRun& p : probes) EXPECT_EQ(p.arguments, "") << p.program;
}

}  // namespace
