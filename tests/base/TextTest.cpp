#include "base/Text.h"

#include <gtest/gtest.h>

#include <string>

using namespace tarvo;

namespace {
std::wstring S(const WString& w) { return std::wstring(w.c_str()); }
}  // namespace

TEST(WString, LengthCountsTheTerminatorAndPositionsAreOneBased) {
    WString empty;
    EXPECT_EQ(1, empty.Length());
    EXPECT_TRUE(empty.Empty());
    for (const wchar_t* fragment : {L"", L"a"}) {
        EXPECT_EQ(0, empty.Find(fragment, 1)) << fragment;
    }
    WString abc(L"abc");
    EXPECT_EQ(4, abc.Length());
    EXPECT_EQ(L'a', abc.At(1));
    EXPECT_EQ(L'c', abc.At(3));
    EXPECT_EQ(L'c', abc.At(kLastPosition));
    EXPECT_EQ(0, abc.At(0));
    EXPECT_EQ(0, abc.At(4));
}

TEST(WString, Find) {
    struct Case {
        const wchar_t* text;
        const wchar_t* fragment;
        int start;
        int expected;
    } cases[] = {
        {L"abcabc", L"bc", 1, 2},   {L"abcabc", L"bc", 3, 5},  {L"abcabc", L"bc", 6, 0},
        {L"abcabc", L"BC", 1, 0},   {L"abc", L"", 2, 2},       {L"abc", L"", 4, 0},
        {L"abc", L"a", 0, 0},       {L"abc", L"a", -1, 0},     {L"abc", L"abcd", 1, 0},
        {L"abc", L"c", kLastPosition, 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, WString(c.text).Find(c.fragment, c.start)) << c.text << " / " << c.fragment << " @" << c.start;
    }
    EXPECT_EQ(4, WString(L"a\\b\\c").FindLast(L'\\'));
    EXPECT_EQ(0, WString(L"abc").FindLast(L'x'));
    EXPECT_EQ(3, WString(L"abcabc").Find(L'c', 1));
    EXPECT_EQ(6, WString(L"abcabc").Find(L'c', 4));
}

TEST(WString, CompareFoldsOnlyAsciiLetters) {
    struct Case {
        const wchar_t* a;
        const wchar_t* b;
        bool ignoreCase;
        int expected;
    } cases[] = {
        {L"abc", L"ABC", true, 0},        {L"abc", L"ABC", false, 1},
        {L"\u00e9", L"\u00c9", true, 1},  // no locale folding
        {L"ab", L"abc", false, -1},       {L"abc", L"ab", false, 1},
        {L"", L"", false, 0},             {L"a", L"b", false, -1},
        {L"\uffff", L"a", false, 1},  // code units compare unsigned
        {L"[", L"a", true, -1},           // '[' (0x5B) is not folded, 'A'-'Z' would be
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, Compare(c.a, c.b, c.ignoreCase)) << c.a << " vs " << c.b;
    }
}

TEST(WString, Editing) {
    WString t(L"abcdef");
    t.Delete(3, 4);
    EXPECT_EQ(L"abef", S(t));
    WString u(L"abcdef");
    u.Delete(7, 8);
    EXPECT_EQ(L"abcdef", S(u));
    u.Delete(3, 2);
    EXPECT_EQ(L"abcdef", S(u));

    WString v(L"world");
    v.Insert(1, L"hello ");
    EXPECT_EQ(L"hello world", S(v));
    v.Insert(v.Length(), L"!");
    EXPECT_EQ(L"hello world!", S(v));
    EXPECT_EQ(L'!', v.RemoveAt(kLastPosition));
    EXPECT_EQ(L'h', v.RemoveAt(1));
    EXPECT_EQ(0, v.RemoveAt(50));
    v.RemoveLast(5);
    EXPECT_EQ(L"ello ", S(v));
    v.Prepend(L'>');
    EXPECT_EQ(L">ello ", S(v));

    WString pad(L"ab");
    pad.SetCount(4);
    EXPECT_EQ(L"ab  ", S(pad));
    pad.SetCount(1);
    EXPECT_EQ(L"a", S(pad));

    WString blanks(L"  \tx  ");
    blanks.TrimRight();
    EXPECT_EQ(L"  \tx", S(blanks));
    blanks.TrimLeft();
    EXPECT_EQ(L"\tx", S(blanks));  // only U+0020 counts as a blank
}

TEST(WString, Copies) {
    WString t(L"abcdef");
    EXPECT_EQ(L"bcd", S(t.Sub(2, 4)));
    EXPECT_EQ(L"def", S(t.Sub(4, 100)));
    EXPECT_EQ(L"", S(t.Sub(0, 3)));
    EXPECT_EQ(L"", S(t.Sub(7, 9)));
    EXPECT_EQ(L"", S(t.Sub(4, 3)));
    EXPECT_EQ(L"ab", S(t.Left(2)));
    EXPECT_EQ(L"abcdef", S(t.Left(20)));
    EXPECT_EQ(L"ef", S(t.Right(2)));
    EXPECT_EQ(L"cdef", S(t.From(3)));
    EXPECT_EQ(L"AB\u00e9[Z", S(WString(L"aB\u00e9[z").Upper()));
}

TEST(WString, StorageGrowsOutOfTheInlineBufferAsDocumented) {
    WString t(std::wstring(127, L'x').c_str());
    EXPECT_TRUE(t.IsInline());
    EXPECT_EQ(128, t.Capacity());
    t.Append(L"y");  // 129 units: new length + a third
    EXPECT_FALSE(t.IsInline());
    EXPECT_EQ(129 + 129 / 3, t.Capacity());

    WString joined = WString(std::wstring(200, L'a').c_str()).Plus(L"b");
    EXPECT_EQ(202 + 25, joined.Capacity());

    WString inserted(std::wstring(127, L'a').c_str());
    inserted.Insert(1, L"b");
    EXPECT_EQ(129 + 32, inserted.Capacity());

    WString assigned;
    assigned = std::wstring(300, L'z').c_str();
    EXPECT_EQ(301, assigned.Capacity());

    // Self-append and copies of heap texts stay intact.
    WString self(std::wstring(100, L'q').c_str());
    self.Append(self);
    EXPECT_EQ(std::wstring(200, L'q'), S(self));
    WString moved(std::move(self));
    EXPECT_EQ(201, moved.Length());
    EXPECT_EQ(1, self.Length());
}

TEST(WString, NumbersAndUserValue) {
    EXPECT_EQ(L"0", S(WString(int32_t(0))));
    EXPECT_EQ(L"-42", S(WString(int32_t(-42))));
    EXPECT_EQ(L"-9223372036854775808", S(WString(INT64_MIN)));
    EXPECT_EQ(L"9223372036854775807", S(WString(INT64_MAX)));
    WString t(L"x");
    t.SetValue(7);
    WString copy(t);
    EXPECT_EQ(7, copy.Value());
}

TEST(WString, AnsiRoundTrip) {
    WString w("setup.dat");
    EXPECT_EQ(L"setup.dat", S(w));
    EXPECT_STREQ("setup.dat", w.Narrow());
    EXPECT_STREQ("", WString().Narrow());
}

TEST(ReplaceAll, Table) {
    struct Case {
        const wchar_t* text;
        const wchar_t* search;
        const wchar_t* replacement;
        bool ignoreCase;
        const wchar_t* expected;
    } cases[] = {
        {L"<Destination>\\a", L"<destination>", L"C:\\x", true, L"C:\\x\\a"},
        {L"<Destination>\\a", L"<destination>", L"C:\\x", false, L"<Destination>\\a"},
        {L"aaa", L"a", L"aa", false, L"aaaaaa"},
        {L"aAa", L"a", L"aa", true, L"aaaaaa"},
        {L"abc", L"", L"x", false, L"abc"},
        {L"x<A>y<a>z", L"<a>", L"", true, L"xyz"},
        {L"\u00c9t\u00e9", L"\u00e9", L"e", true, L"\u00c9te"},  // only ASCII folds
        {L"setup__TVI_WIN64.exe", L"__TVI_WIN64", L"", false, L"setup.exe"},
    };
    for (const auto& c : cases) {
        WString t(c.text);
        ReplaceAll(t, c.search, c.replacement, c.ignoreCase);
        EXPECT_EQ(c.expected, S(t)) << c.text;
    }
    WString m(L"app__TVI_UNICODE__TVI_WIN64.exe");
    StripMarkers(m);
    EXPECT_EQ(L"app.exe", S(m));
}

TEST(ParseInteger, Table) {
    struct Case {
        const wchar_t* text;
        int64_t expected;
    } cases[] = {
        {L" -12x", -12}, {L"+7", 7}, {L"x1", 0}, {L"", 0}, {L"  42  ", 42}, {L"-", 0},
        {L"18446744073709551617", 1},  // wraps
        {L"9223372036854775807", INT64_MAX},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, ParseInteger(c.text)) << c.text;
}

TEST(SplitLines, Table) {
    struct Case {
        const wchar_t* text;
        std::vector<std::wstring> lines;
    } cases[] = {
        {L"a\r\n\r\nb", {L"a", L"", L"b"}},
        {L"a\r\n", {L"a"}},
        {L"a\nb\rc", {L"a\nb", L"c"}},
        {L"a\r\n\n\nb", {L"a", L"b"}},
        {L"", {}},
        {L"\r", {L""}},
    };
    for (const auto& c : cases) {
        StringList list;
        list.Add(L"stale");
        SplitLines(c.text, list);
        ASSERT_EQ(int(c.lines.size()), list.Count()) << c.text;
        for (int i = 0; i < list.Count(); ++i) {
            EXPECT_EQ(c.lines[i], S(list.At(i)));
            EXPECT_EQ(0, list.ValueAt(i));
        }
    }
}

TEST(FormatText, WideConventionsAndBufferGrowth) {
    EXPECT_EQ(L"Running Install 2 of 3", S(FormatText(L"Running Install %d of %d", 2, 3)));
    EXPECT_EQ(L"Unable to extract 'a b'", S(FormatText(L"Unable to extract '%s'", L"a b")));
    std::wstring s999(999, L'x'), s1000(1000, L'y'), s6000(6000, L'z');
    EXPECT_EQ(s999, S(FormatText(L"%s", s999.c_str())));
    EXPECT_EQ(s1000, S(FormatText(L"%s", s1000.c_str())));
    EXPECT_EQ(s6000, S(FormatText(L"%s", s6000.c_str())));
}

TEST(PointerArray, GrowsByADoublingStepAndShifts) {
    PointerArray a;
    int values[100];
    EXPECT_EQ(16, a.Capacity());
    for (int i = 0; i < 17; ++i) a.Add(&values[i]);
    EXPECT_EQ(16 + 32, a.Capacity());
    for (int i = 17; i < 49; ++i) a.Add(&values[i]);
    EXPECT_EQ(16 + 32 + 64, a.Capacity());
    a.Insert(0, &values[99]);
    EXPECT_EQ(&values[99], a.At(0));
    EXPECT_EQ(&values[0], a.At(1));
    a.Insert(500, &values[98]);
    EXPECT_EQ(&values[98], a.At(a.Count() - 1));
    EXPECT_EQ(&values[99], a.RemoveAt(0));
    EXPECT_EQ(&values[0], a.At(0));
    EXPECT_EQ(nullptr, a.RemoveAt(-1));
    EXPECT_EQ(nullptr, a.At(1000));
}

TEST(StringList, OwnsItemsWithValues) {
    StringList list;
    list.Add(L"one", 1);
    list.Add(L"Two", 2);
    list.Insert(0, L"zero", 0);
    list.RemoveAt(10);
    ASSERT_EQ(3, list.Count());
    EXPECT_EQ(L"zero", S(list.At(0)));
    EXPECT_EQ(2, list.ValueAt(2));
    EXPECT_TRUE(list.Contains(L"two", true));
    EXPECT_FALSE(list.Contains(L"two", false));
    StringList copy(list);
    list.Clear();
    EXPECT_EQ(3, copy.Count());
    EXPECT_EQ(L"", S(copy.At(-1)));
}

TEST(ByteBuffer, ResizeKeepsCapacityAndCursorsStayInside) {
    ByteBuffer b;
    EXPECT_EQ(nullptr, b.Data());
    ASSERT_TRUE(b.Resize(0));
    EXPECT_NE(nullptr, b.Data());  // at least one byte is allocated
    ASSERT_TRUE(b.Resize(64, true));
    EXPECT_EQ(0, b.Data()[63]);
    b.SetReadPos(100);
    EXPECT_EQ(64u, b.ReadPos());
    uint8_t* block = b.Data();
    ASSERT_TRUE(b.Resize(10));
    EXPECT_EQ(block, b.Data());
    EXPECT_EQ(10u, b.ReadPos());
    ASSERT_TRUE(b.Resize(1000));
    EXPECT_EQ(1000u, b.Size());
    // A request no allocator can meet leaves the buffer empty and null.
    EXPECT_FALSE(b.Resize(SIZE_MAX / 2));
    EXPECT_EQ(nullptr, b.Data());
    EXPECT_EQ(0u, b.Size());
}
