// The licence window as a user meets it: the UI driver, a separate process, reads the terms box,
// types Enter, Escape, Tab and Alt+F4 and clicks the close button, while the window runs
// modally here over a package whose "setup.lic" the test chose. This executable carries the
// installer's resources (template 111, the skins, the manifest).
#include "dialogs/License.h"

#include "dialogs/DialogTestSupport.h"
#include "resources/resource.h"
#include "ui/ToolTip.h"
#include "ui/WizardSurface.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

const wchar_t kCaption[] = L"Tarvo licence test";
const char kTerms[] = "Terms of use\r\nSecond line\r\n\r\nLast line";

DialogRun RunLicense(const std::vector<std::wstring>& steps, const std::function<void(HWND)>& script = nullptr) {
    return RunDialog([] { return ShowLicenseWindow(nullptr); }, steps, script);
}

std::wstring Id(int id) { return std::to_wstring(id); }

class LicenseWindow : public ::testing::Test {
protected:
    CaptionScope caption{kCaption};
};

TEST_F(LicenseWindow, ShowsTheTermsWithTheirLineBreaksAndEnterCloses) {
    TestPackage package(kTerms);
    DialogRun run = RunLicense({L"wait", kCaption, L"20000", L"text", kCaption, Id(IDC_LICENSE_TEXT), L"list", kCaption,
                                L"keys", kCaption, L"Enter", L";", L"gone", kCaption, L"10000"});
    EXPECT_EQ(0u, run.driverExit) << run.driverOutput;
    EXPECT_NE(std::string::npos,
              run.driverOutput.find("text id=1008 \"Terms of use\\r\\nSecond line\\r\\n\\r\\nLast line\""))
        << run.driverOutput;
    EXPECT_EQ(1, run.endCode);
    EXPECT_TRUE(run.trace.Saw("command 1")) << "Enter went through the default \"Close\" button";
    // The window's parts, as the driver saw them: the close button at the top right, visible.
    EXPECT_NE(std::string::npos, run.driverOutput.find("control id=1090 class=Static visible=1 enabled=1"))
        << run.driverOutput;
    EXPECT_NE(std::string::npos, run.driverOutput.find("text=\"Tarvo licence test\"")) << run.driverOutput;
}

TEST_F(LicenseWindow, TheCloseButtonEndsTheWindowAtOnce) {
    TestPackage package(kTerms);
    DialogRun run = RunLicense(
        {L"wait", kCaption, L"20000", L"mouse", kCaption, Id(kCloseButtonId), L"gone", kCaption, L"10000"});
    EXPECT_EQ(0u, run.driverExit) << run.driverOutput;
    EXPECT_EQ(1, run.endCode);
    EXPECT_FALSE(run.trace.Saw("command 1")) << "not through the \"Close\" push button";
    EXPECT_FALSE(run.trace.Saw("close"));
}

TEST_F(LicenseWindow, EscapeDoesNothingWhereverTheFocusIs) {
    struct Case {
        const char* focus;
        std::vector<std::wstring> before;  // steps that place the focus
        bool commandExpected;              // whether Escape reaches the window as command 2
    };
    const Case cases[] = {
        {"the Close push button", {}, true},
        // A multi-line edit box of a dialog would close it on Escape.
        {"the terms box", {L"mouse", kCaption, Id(IDC_LICENSE_TEXT), L"sleep", L"300"}, false},
    };
    for (const Case& c : cases) {
        TestPackage package(kTerms);
        std::vector<std::wstring> steps = {L"wait", kCaption, L"20000"};
        steps.insert(steps.end(), c.before.begin(), c.before.end());
        // Escape first; the window must still be there for the Enter that follows.
        for (const wchar_t* step : {L"keys", kCaption, L"Escape", L";", L"sleep", L"300", L"keys", kCaption, L"Enter",
                                    L";", L"gone", kCaption, L"10000"}) {
            steps.push_back(step);
        }
        DialogRun run = RunLicense(steps);
        EXPECT_EQ(0u, run.driverExit) << c.focus << "\n" << run.driverOutput;
        EXPECT_EQ(c.commandExpected, run.trace.Saw("command 2")) << c.focus;
        EXPECT_EQ(1, run.endCode) << c.focus << ": only Enter ended it";
        EXPECT_FALSE(run.trace.Saw("close")) << c.focus;
    }
}

TEST_F(LicenseWindow, TabReachesTheCloseButtonAndEnterOnItCloses) {
    TestPackage package(kTerms);
    // From the "Close" push button: the terms box, then the close button.
    DialogRun run = RunLicense(
        {L"wait", kCaption, L"20000", L"keys", kCaption, L"Tab", L"Tab", L"Enter", L";", L"gone", kCaption, L"10000"});
    EXPECT_EQ(0u, run.driverExit) << run.driverOutput;
    EXPECT_EQ(1, run.endCode);
    EXPECT_FALSE(run.trace.Saw("command 1")) << "the close button took Enter itself";
    EXPECT_TRUE(KeyboardCuesShown()) << "releasing Tab on the button turned the focus frames on";
}

TEST_F(LicenseWindow, AltF4EndsItWithZero) {
    TestPackage package(kTerms);
    DialogRun run = RunLicense({L"wait", kCaption, L"20000", L"keys", kCaption, L"Alt+F4", L";", L"gone", kCaption,
                                L"10000"});
    EXPECT_EQ(0u, run.driverExit) << run.driverOutput;
    EXPECT_EQ(0, run.endCode);
    EXPECT_TRUE(run.trace.Saw("close"));
}

TEST_F(LicenseWindow, AnEmptyOrMissingTermsFileGivesAnEmptyBox) {
    struct Case {
        const char* terms;
        const char* name;
    };
    for (const Case& c : {Case{"", "empty"}, Case{nullptr, "missing"}}) {
        TestPackage package(c.terms);
        EXPECT_EQ(c.terms != nullptr, package.Package().HasTerms()) << c.name;
        DialogRun run = RunLicense({L"wait", kCaption, L"20000", L"text", kCaption, Id(IDC_LICENSE_TEXT), L"keys",
                                    kCaption, L"Enter", L";", L"gone", kCaption, L"10000"});
        EXPECT_EQ(0u, run.driverExit) << c.name << "\n" << run.driverOutput;
        EXPECT_NE(std::string::npos, run.driverOutput.find("text id=1008 \"\"")) << c.name << "\n" << run.driverOutput;
        EXPECT_EQ(1, run.endCode) << c.name;
    }
}

TEST(LicenseTerms, ReadAsAnsiTextFromTheTemporaryInstallFolderOnly) {
    EXPECT_TRUE(ReadTermsText().Empty()) << "no package, no terms (never a bare \"setup.lic\")";
    {
        // Windows-1252 in wine's default code page: 0xE9 is e acute.
        TestPackage package("Caf\xE9\r\nline");
        EXPECT_EQ(WString(L"Caf\u00E9\r\nline"), ReadTermsText());
    }
    EXPECT_TRUE(ReadTermsText().Empty());
}

TEST_F(LicenseWindow, DraggingTheSurfaceMovesTheWindowButAPressOnTheCloseButtonDoesNot) {
    TestPackage package(kTerms);
    RECT before = {};
    RECT afterDrag = {};
    RECT afterButton = {};
    DialogRun run = RunLicense({}, [&](HWND dialog) {
        ::GetWindowRect(dialog, &before);
        auto press = [&](POINT screen, POINT moveTo) {
            ::SetCursorPos(screen.x, screen.y);
            POINT client = screen;
            ::ScreenToClient(dialog, &client);
            ::SendMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.x, client.y));
            ::SetCursorPos(moveTo.x, moveTo.y);
            ::SendMessageW(dialog, WM_MOUSEMOVE, MK_LBUTTON, 0);
            ::SendMessageW(dialog, WM_LBUTTONUP, 0, MAKELPARAM(client.x, client.y));
        };
        // A point of the surface between the title and the terms box.
        POINT surface = {before.left + 200, before.top + 50};
        press(surface, POINT{surface.x + 30, surface.y + 20});
        ::GetWindowRect(dialog, &afterDrag);
        // On the close button: pressing and moving off cancels the press, and does not drag.
        RECT button;
        ::GetWindowRect(::GetDlgItem(dialog, kCloseButtonId), &button);
        POINT onButton = {(button.left + button.right) / 2, (button.top + button.bottom) / 2};
        press(onButton, POINT{onButton.x - 60, onButton.y + 60});
        ::GetWindowRect(dialog, &afterButton);
        ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(1, run.endCode);
    EXPECT_EQ(before.left + 30, afterDrag.left);
    EXPECT_EQ(before.top + 20, afterDrag.top);
    EXPECT_EQ(before.right - before.left, afterDrag.right - afterDrag.left);
    EXPECT_EQ(afterDrag.left, afterButton.left);
    EXPECT_EQ(afterDrag.top, afterButton.top);
}

TEST_F(LicenseWindow, TheWindowIsRoundedBorderlessAndLooksLikeTheWizards) {
    TestPackage package(kTerms);
    COLORREF corner = 0;
    COLORREF centreOfTitleBand = 0;
    bool hasRegion = false;
    LONG_PTR style = 0;
    int buttonRight = 0, windowWidth = 0;
    DialogRun run = RunLicense({}, [&](HWND dialog) {
        HRGN region = ::CreateRectRgn(0, 0, 0, 0);
        hasRegion = ::GetWindowRgn(dialog, region) != ERROR;
        RECT rect;
        ::GetWindowRect(dialog, &rect);
        windowWidth = rect.right - rect.left;
        // Outside the rounded corner, inside the window rectangle.
        corner = ::PtInRegion(region, 1, 1) ? 1 : 0;
        centreOfTitleBand = ::PtInRegion(region, windowWidth / 2, 1) ? 1 : 0;
        ::DeleteObject(region);
        style = ::GetWindowLongPtrW(dialog, GWL_STYLE);
        RECT button;
        ::GetWindowRect(::GetDlgItem(dialog, kCloseButtonId), &button);
        buttonRight = button.right - rect.left;
        ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(0, run.endCode);
    EXPECT_TRUE(hasRegion);
    EXPECT_EQ(0u, corner) << "the corner is cut away";
    EXPECT_EQ(1u, centreOfTitleBand);
    EXPECT_FALSE(style & WS_CAPTION);
    // x = width - DluToPixelsX(10) - 88 / 4 - 2 with a 22-pixel frame: the button ends just short
    // of 10 dialog units from the right edge.
    EXPECT_LT(buttonRight, windowWidth - 2);
    EXPECT_GT(buttonRight, windowWidth - 40);
}

}  // namespace
