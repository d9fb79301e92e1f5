// tarvo-smoke: a console program that shows the base layer working on this Windows (or wine).
#include "base/MessageBox.h"
#include "base/Random.h"
#include "base/Text.h"

#include <cstdio>

using namespace tarvo;

int wmain() {
    WString line = FormatText(L"Tarvo smoke test: %d-bit build", int(sizeof(void*) * 8));
    std::printf("%s\n", line.Narrow());

    WString path(L"<Destination>\\bin\\app.exe");
    ReplaceAll(path, L"<destination>", L"C:\\Program Files\\Tarvo Demo", true);
    std::printf("placeholder expanded: %s\n", path.Narrow());

    SetMessageBoxHook([](const MessageBoxCall& box) {
        std::printf("message box seen by the hook: [%s] %s\n", box.caption.Narrow(), box.text.Narrow());
        return IDOK;
    });
    ShowMessageBox(nullptr, L"Hello from the message-box function", L"Setup", MB_OK | MB_ICONINFORMATION);
    std::printf("random (0..9998): %u\n", ProcessRandom().Next(9999));
    return 0;
}
