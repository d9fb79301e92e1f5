#include "base/CommandLine.h"

namespace tarvo {

namespace {
constexpr int kModulePathCapacity = 1000;

// Position of the first of `a`, `b`, `c` at or after `start`; `text.Length()` (the terminator)
// when none occurs.
int FindFirstOf(const WString& text, int start, wchar_t a, wchar_t b, wchar_t c) {
    int best = text.Length();
    for (wchar_t ch : {a, b, c}) {
        int pos = text.Find(ch, start);
        if (pos != 0 && pos < best) best = pos;
    }
    return best;
}
}  // namespace

bool HasText(const WString& text, const WString& fragment) { return text.Find(fragment, 1) != 0; }

CommandLineSwitches ParseSwitches(const WString& commandLine) {
    CommandLineSwitches result;
    const WString& line = commandLine;
    int pos = 1;
    if (line.At(1) == L'"') {
        int close = line.Find(L'"', 2);
        pos = close != 0 ? close + 1 : 1;
    }
    for (;;) {
        int dash = line.Find(L'-', pos);
        if (dash == 0) break;
        int nameStart = line.At(dash + 1) == L'-' ? dash + 2 : dash + 1;
        int delimiter = FindFirstOf(line, nameStart, L'"', L'=', L' ');
        WString name = line.Sub(nameStart, delimiter - 1);
        if (name.Empty()) {
            pos = delimiter + 1;
            continue;
        }
        int p = delimiter;
        while (line.At(p) == L' ' || line.At(p) == L'=') ++p;
        WString value;
        wchar_t first = line.At(p);
        if (first == 0 || first == L'-') {
            pos = p;  // a following switch is scanned from here
        } else if (first == L'"') {
            int close = line.Find(L'"', p + 1);
            if (close != 0) {
                value = line.Sub(p + 1, close - 1);
                pos = close + 1;
            } else {
                pos = p + 1;
            }
        } else {
            int blank = line.Find(L' ', p);
            if (blank != 0) {
                value = line.Sub(p, blank - 1);
                pos = blank + 1;
            } else {
                value = line.From(p);
                pos = line.Length();
            }
        }
        result.names.Add(name);
        result.values.Add(value);
    }
    return result;
}

int FindSwitch(const CommandLineSwitches& switches, const WString& name) {
    for (int i = 0; i < switches.names.Count(); ++i) {
        if (EqualsIgnoreCase(switches.names.At(i), name)) return i;
    }
    return -1;
}

WString CommandLineTail(const WString& commandLine) {
    int pathEnd = commandLine.At(1) == L'"' ? commandLine.Find(L'"', 2) : commandLine.Find(L' ', 2);
    // Without a closing quote or a blank the program path runs to the end: there are no arguments.
    // (Handing the path on as an argument would give the elevated instance a stray word.)
    if (pathEnd == 0) return WString();
    WString tail = commandLine.From(pathEnd + 1);
    tail.TrimRight();
    tail.TrimLeft();
    return tail;
}

WString CommandLineTail() { return CommandLineTail(WString(::GetCommandLineW())); }

WString ModulePath() {
    wchar_t buffer[kModulePathCapacity];
    DWORD count = ::GetModuleFileNameW(nullptr, buffer, kModulePathCapacity);
    // A full buffer means the path was cut short (and Windows XP leaves it unterminated); a cut
    // path would name some other file, so it counts as failure.
    if (count == 0 || count >= DWORD(kModulePathCapacity)) return WString();
    return WString(buffer, int(count));
}

}  // namespace tarvo
