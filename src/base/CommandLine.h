#pragma once
// Reading the process command line: fixed-text tests, "--name=value" switches, the arguments
// after the program path, and the path of the running executable.
#include "base/Text.h"

namespace tarvo {

// Switches in command-line order: names without their leading dashes, and their values (an empty
// text when a switch has none). The two lists always have the same count.
struct CommandLineSwitches {
    StringList names;
    StringList values;

    int Count() const { return names.Count(); }
};

// True when `fragment` occurs anywhere in `text`, exactly and with case.
bool HasText(const WString& text, const WString& fragment);

// Scans for "-name" / "--name" switches after the program path. A name ends at a double quote,
// "=" or a blank; the value follows after any blanks and "=": a double-quoted text, or a word up
// to the next blank. A value that would begin with "-" is taken as the next switch instead.
CommandLineSwitches ParseSwitches(const WString& commandLine);

// Index of the first switch named `name` (ASCII letters compared without case), or -1.
int FindSwitch(const CommandLineSwitches& switches, const WString& name);

// The command line less the program path (quoted, or up to the first blank), without surrounding
// blanks. A command line that is only a program path has an empty tail.
WString CommandLineTail(const WString& commandLine);
// The same for this process's own command line.
WString CommandLineTail();

// Full path of the running executable; the empty text when the system cannot give it whole.
WString ModulePath();

}  // namespace tarvo
