#include "script/SetupScript.h"

namespace tarvo {

bool SetupScript::Open(const WString& path) {
    line_.Clear();
    return file_.Open(path, GENERIC_READ, OPEN_EXISTING, false);
}

bool SetupScript::NextLine() { return file_.IsOpen() && ReadLine(file_, line_, false); }

WString SetupScript::ReadValue() {
    if (!NextLine()) line_.Clear();
    return line_;
}

void SetupScript::ReadValues(int count, StringList& values) {
    values.Clear();
    for (int i = 0; i < count; ++i) values.Add(ReadValue());
}

bool SetupScript::Rewind() {
    line_.Clear();
    return file_.IsOpen() && file_.Seek(0);
}

const ScriptSection* SetupScript::NextSection() {
    while (NextLine()) {
        for (int i = 0; i < count_; ++i) {
            if (Compare(line_, sections_[i].header, false) == 0) return &sections_[i];
        }
    }
    return nullptr;
}

bool IsOptionLine(const WString& line) { return line.Find(L"Optional - ", 1) != 0; }

WString OptionCaption(const WString& line) { return line.From(12); }

WString MessageText(const WString& value) {
    WString text(value);
    ReplaceAll(text, L"\\n", L"\r\n", false);
    return text;
}

UINT MessageBoxType(const WString& kind) {
    auto is = [&kind](const wchar_t* text) { return Compare(kind, text, false) == 0; };
    if (is(L"QuestionYesNo")) return MB_YESNO | MB_ICONQUESTION;
    if (is(L"Warning")) return MB_OK | MB_ICONWARNING;
    if (is(L"Information")) return MB_OK | MB_ICONINFORMATION;
    if (is(L"Question")) return MB_OK | MB_ICONQUESTION;
    if (is(L"Error")) return MB_OK | MB_ICONERROR;
    return MB_OK;
}

}  // namespace tarvo
