#pragma once
// The setup script reader. A script is 8-bit text read line by line; each reader knows its own
// sections (header text and number of value lines) and passes over every other line.
//
// Grammar in brief: a header is a line equal to the header text, compared with case; its value
// lines are the lines that follow, taken whatever they hold (an empty line is an empty value, a
// value is never tested for being a header); a section cut short by the end of the file gets
// empty values. Lines are never trimmed.
#include "base/Files.h"
#include "base/Text.h"

namespace tarvo {

struct ScriptSection {
    const wchar_t* header;  // e.g. L"[CopyFile]"
    int valueLines;
};

class SetupScript {
public:
    SetupScript() = default;
    // `sections` is the reader's table; it must outlive the reader.
    SetupScript(const ScriptSection* sections, int count) : sections_(sections), count_(count) {}
    SetupScript(const SetupScript&) = delete;
    SetupScript& operator=(const SetupScript&) = delete;

    // Opens an existing file for reading, without messages.
    bool Open(const WString& path);
    bool IsOpen() const { return file_.IsOpen(); }
    void Close() { file_.Close(); }

    // Reads the next line into Line(); false at the end of the file.
    bool NextLine();
    // Reads the next line as a value: the empty text at the end of the file.
    WString ReadValue();
    // Reads `count` values into `values` (cleared first).
    void ReadValues(int count, StringList& values);
    // Back to the start of the file.
    bool Rewind();

    const WString& Line() const { return line_; }

    // Moves to the next line that equals one of the table's headers and returns that row, or null
    // at the end of the file. The section's value lines are left for the caller to read.
    const ScriptSection* NextSection();

private:
    DiskFile file_;
    WString line_;
    const ScriptSection* sections_ = nullptr;
    int count_ = 0;
};

// An entry of "[CreateIcon]", "[RunFile]" or "[RunAndWaitFile]" is optional when its last value
// line contains "Optional - "; the caption is that line less its first 11 characters.
bool IsOptionLine(const WString& line);
WString OptionCaption(const WString& line);

// "[Message]" text: the two characters "\n" stand for a line break (CR LF).
WString MessageText(const WString& value);

// The message-box type of a "[Message]" kind line (compared whole, with case): "QuestionYesNo"
// asks Yes or No; "Warning", "Information", "Question" and "Error" choose the icon of an OK box;
// anything else is a plain OK box.
UINT MessageBoxType(const WString& kind);

}  // namespace tarvo
