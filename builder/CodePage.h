#pragma once
// The installer's 8-bit text: setup.dat and package entry names are read in the system's ANSI
// code page. The builder knows the single-byte Windows code pages (874 and 1250 to 1258) so that
// it can check entry names and, where the file system speaks UTF-8, find the files a script names.
#include <cstdint>
#include <string>

namespace tarvo::packager {

constexpr uint32_t kDefaultCodePage = 1252;

class CodePage {
public:
    // Null for a code page the builder does not know (double-byte ones included).
    static const CodePage* Find(uint32_t number);
    // "874, 1250 to 1258", for messages.
    static std::string SupportedList();

    uint32_t Number() const { return number_; }
    // The Unicode character of a byte; 0 when the code page leaves the byte undefined.
    uint32_t CharOf(uint8_t byte) const { return byte < 0x80 ? byte : upper_[byte - 0x80]; }

    // 8-bit text to UTF-8; false at the first undefined byte, whose position goes to `bad`.
    bool ToUtf8(const std::string& text, std::string* utf8, size_t* bad = nullptr) const;
    // UTF-8 to 8-bit text; false when `utf8` is not UTF-8 or holds a character the code page
    // cannot write, which goes to `bad` as UTF-8.
    bool FromUtf8(const std::string& utf8, std::string* text, std::string* bad = nullptr) const;

    CodePage(uint32_t number, const uint16_t* upper) : number_(number), upper_(upper) {}

private:
    uint32_t number_;
    const uint16_t* upper_;  // bytes 0x80 to 0xFF
};

// True when `text` is well-formed UTF-8; `nonAscii` tells whether it holds any multi-byte character.
bool IsUtf8(const std::string& text, bool* nonAscii = nullptr);

}  // namespace tarvo::packager
