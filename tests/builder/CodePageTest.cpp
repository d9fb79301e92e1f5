#include "builder/CodePage.h"

#include <gtest/gtest.h>

#include <string>

using namespace tarvo::packager;

TEST(CodePage, ConvertsBothWays) {
    struct Case {
        uint32_t page;
        std::string bytes;
        std::string utf8;
    };
    const Case cases[] = {
        {1252, "plain.exe", "plain.exe"},
        {1252, "caf\xE9 \x80 \x9F\xFF", "caf\xC3\xA9 \xE2\x82\xAC \xC5\xB8\xC3\xBF"},  // é € Ÿ ÿ
        {1251, "\xC6\xF3\xEA.exe", "\xD0\x96\xD1\x83\xD0\xBA.exe"},                   // Жук
        {1250, "\x8A\xE8", "\xC5\xA0\xC4\x8D"},                                       // Š č
        {1253, "\xC1\xE2", "\xCE\x91\xCE\xB2"},                                       // Α β
        {874, "\xA1", "\xE0\xB8\x81"},                                                // ก
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        const CodePage* page = CodePage::Find(c.page);
        ASSERT_NE(nullptr, page);
        std::string utf8, bytes;
        ASSERT_TRUE(page->ToUtf8(c.bytes, &utf8));
        EXPECT_EQ(c.utf8, utf8);
        ASSERT_TRUE(page->FromUtf8(c.utf8, &bytes));
        EXPECT_EQ(c.bytes, bytes);
    }
}

TEST(CodePage, UndefinedBytesAndMissingCharactersAreRefused) {
    const CodePage& cp1252 = *CodePage::Find(1252);
    for (char undefined : {'\x81', '\x8D', '\x8F', '\x90', '\x9D'}) {
        std::string utf8;
        size_t bad = 99;
        EXPECT_FALSE(cp1252.ToUtf8(std::string("ab") + undefined, &utf8, &bad)) << int(static_cast<uint8_t>(undefined));
        EXPECT_EQ(2u, bad);
    }
    struct Case {
        const char* label;
        std::string utf8;
        std::string bad;
    };
    const Case cases[] = {
        {"a CJK character", "a\xE6\x96\x87.dll", "\xE6\x96\x87"},
        {"a Cyrillic letter", "\xD0\x96", "\xD0\x96"},
        {"a stray continuation byte", "a\x80", "\x80"},
        {"a cut sequence", "a\xC3", "\xC3"},
        {"an overlong slash", "\xC0\xAF", "\xC0"},
        {"a surrogate", "\xED\xA0\x80", "\xED"},
    };
    for (const Case& c : cases) {
        std::string bytes, bad;
        EXPECT_FALSE(cp1252.FromUtf8(c.utf8, &bytes, &bad)) << c.label;
        EXPECT_EQ(c.bad, bad) << c.label;
    }
}

TEST(CodePage, OnlySingleByteWindowsCodePagesAreKnown) {
    for (uint32_t page : {874u, 1250u, 1251u, 1252u, 1253u, 1254u, 1255u, 1256u, 1257u, 1258u}) {
        EXPECT_NE(nullptr, CodePage::Find(page)) << page;
    }
    for (uint32_t page : {0u, 437u, 932u, 936u, 949u, 950u, 65001u}) EXPECT_EQ(nullptr, CodePage::Find(page)) << page;
}

TEST(CodePage, RecognisesUtf8) {
    bool nonAscii = true;
    EXPECT_TRUE(IsUtf8("plain", &nonAscii));
    EXPECT_FALSE(nonAscii);
    EXPECT_TRUE(IsUtf8("caf\xC3\xA9", &nonAscii));
    EXPECT_TRUE(nonAscii);
    EXPECT_FALSE(IsUtf8("caf\xE9"));  // the same word in code page 1252
    EXPECT_FALSE(IsUtf8("\xF4\x90\x80\x80")) << "past U+10FFFF";
}
