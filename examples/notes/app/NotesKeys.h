#pragma once
// Where Tarvo Notes keeps its settings. The program and its shell extension share the key; the
// setup script writes into the same key under both roots.
//   HKLM: "InstallDir" (text), "WordWrap" (DWORD), "Palette" (binary, four COLORREFs: paper, ink,
//         accent, rule) from the setup script; "Registered" (DWORD 1) from notes-shell.dll.
//   HKCU: "Welcome" (text) from the setup script; "Notes" (text), the user's page, from notes.exe.

namespace tarvo::notes {

constexpr wchar_t kSettingsKey[] = L"Software\\Tarvo Notes";
constexpr wchar_t kRegisteredValue[] = L"Registered";

}  // namespace tarvo::notes
