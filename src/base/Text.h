#pragma once
// WString and the text algorithms every layer relies on.
//
// Contract in brief: UTF-16, always zero-terminated; Length() counts the terminator (the empty
// text has length 1); positions are 1-based and 0 means "not found"; kLastPosition (-12345)
// names the last character wherever a position is taken. Find is exact and case-sensitive;
// ignore-case folds only ASCII 'A'-'Z'. 8-bit text converts through the ANSI code page (CP_ACP).
#include "base/Win.h"

#include <cstdint>
#include <string>

namespace tarvo {

constexpr int kLastPosition = -12345;

class WString {
public:
    static constexpr int kInlineCapacity = 128;

    WString() noexcept;
    WString(const wchar_t* text);  // null gives the empty text
    WString(const wchar_t* text, int count);
    explicit WString(const char* ansi);  // converted from the ANSI code page
    explicit WString(int32_t number);
    explicit WString(int64_t number);
    WString(const WString& other);
    WString(WString&& other) noexcept;
    WString& operator=(const WString& other);
    WString& operator=(WString&& other) noexcept;
    WString& operator=(const wchar_t* text);
    ~WString();

    // --- access -------------------------------------------------------------------------
    const wchar_t* c_str() const noexcept { return data_; }
    int Length() const noexcept { return length_; }  // terminator included
    int Count() const noexcept { return length_ - 1; }  // characters
    bool Empty() const noexcept { return length_ <= 1; }
    int Capacity() const noexcept { return capacity_; }
    bool IsInline() const noexcept { return data_ == inline_; }
    // Character at a 1-based position (kLastPosition allowed); 0 outside 1..Length()-1.
    wchar_t At(int pos) const noexcept;
    int32_t Value() const noexcept { return value_; }
    void SetValue(int32_t value) noexcept { value_ = value; }

    // 8-bit copy in the ANSI code page. The pointer is owned by this text and stays valid until
    // the next call or the text's destruction.
    const char* Narrow() const;

    // --- editing (in place) ---------------------------------------------------------------
    WString& Assign(const wchar_t* text, int count);
    WString& Append(const WString& text);
    WString& Append(const wchar_t* text);
    WString& Append(wchar_t ch);
    // Returns this text joined with `text` as a new value; this text is unchanged.
    WString Plus(const WString& text) const;
    // Inserts before position `pos` (1..Length(); Length() appends).
    WString& Insert(int pos, const WString& text);
    // Deletes characters start..end inclusive; nothing unless 1 <= start < Length() and end >= start.
    WString& Delete(int start, int end);
    // Removes the character at `pos` and returns it (0 when outside the text).
    wchar_t RemoveAt(int pos);
    WString& RemoveLast(int n);
    WString& Prepend(wchar_t ch);
    // Sets the text to n characters, padding with blanks or cutting.
    WString& SetCount(int n);
    WString& TrimLeft();   // blanks are U+0020 only
    WString& TrimRight();
    WString& Trim() { return TrimRight().TrimLeft(); }
    void Clear();

    // --- copies ---------------------------------------------------------------------------
    // start..end inclusive, end clamped to the last character; empty when start is outside the
    // text or end < start.
    WString Sub(int start, int end) const;
    WString Left(int n) const;
    WString Right(int n) const;
    WString From(int pos) const;
    WString Upper() const;  // only 'a'-'z' change

    // --- search ---------------------------------------------------------------------------
    // First position >= start where `fragment` occurs (case-sensitive); 0 when start <= 0, start
    // is past the text, or there is none. An empty fragment is found at `start` inside the text.
    int Find(const WString& fragment, int start = 1) const;
    int Find(wchar_t ch, int start = 1) const;
    int FindLast(wchar_t ch) const;
    bool Contains(const WString& fragment) const { return Find(fragment, 1) != 0; }

    bool operator==(const WString& other) const;
    bool operator!=(const WString& other) const { return !(*this == other); }
    WString& operator+=(const WString& text) { return Append(text); }
    WString& operator+=(const wchar_t* text) { return Append(text); }
    WString& operator+=(wchar_t ch) { return Append(ch); }
    friend WString operator+(const WString& a, const WString& b) { return a.Plus(b); }

private:
    // Makes room for `needed` code units (terminator included), keeping the text if asked.
    void Reserve(int needed, bool keep);
    void SetLength(int length) noexcept;

    wchar_t* data_;
    int length_ = 1;
    int capacity_ = kInlineCapacity;
    int32_t value_ = 0;
    mutable std::string narrow_;
    wchar_t inline_[kInlineCapacity];
};

// 0 when equal; 1 when `a` sorts after `b`; -1 before (a proper prefix sorts before). Code units
// compare unsigned; ignoreCase folds only ASCII 'A'-'Z'.
int Compare(const WString& a, const WString& b, bool ignoreCase);
inline bool EqualsIgnoreCase(const WString& a, const WString& b) { return Compare(a, b, true) == 0; }

// Replaces every occurrence of `search` by `replacement`; the replacement itself is never searched
// again. An empty search does nothing.
void ReplaceAll(WString& text, const WString& search, const WString& replacement, bool ignoreCase);

// Removes the "__TVI_WIN64" and "__TVI_UNICODE" markers from a script value.
void StripMarkers(WString& text);

// Wide printf: "%s" takes a const wchar_t*, "%d" an int. Returns the formatted text, or the empty
// text when no buffer large enough can be had.
WString FormatText(const wchar_t* format, ...);

// Decimal with leading blanks and an optional sign; stops at the first non-digit; wraps on overflow.
int64_t ParseInteger(const WString& text);

class StringList;
// Lines end at CR; LFs right after a CR are skipped; a lone LF stays in the line.
void SplitLines(const WString& text, StringList& lines);

// A growable array of pointers: 16 entries inline, then growth by a step that starts at 32 and
// doubles (capped at 500000). Owns nothing.
class PointerArray {
public:
    PointerArray() noexcept;
    ~PointerArray();
    PointerArray(const PointerArray&) = delete;
    PointerArray& operator=(const PointerArray&) = delete;

    int Count() const noexcept { return count_; }
    int Capacity() const noexcept { return capacity_; }
    void* At(int index) const noexcept { return index >= 0 && index < count_ ? items_[index] : nullptr; }
    void Set(int index, void* item) noexcept {
        if (index >= 0 && index < count_) items_[index] = item;
    }
    // index -1 or at/past the end appends.
    bool Insert(int index, void* item);
    bool Add(void* item) { return Insert(-1, item); }
    void* RemoveAt(int index);
    void Clear() noexcept { count_ = 0; }

private:
    bool Grow();

    void** items_;
    int count_ = 0;
    int capacity_ = 16;
    int step_ = 32;
    void* inline_[16];
};

// An ordered list of owned texts, each carrying its 32-bit user value.
class StringList {
public:
    StringList() = default;
    ~StringList() { Clear(); }
    StringList(const StringList& other) { CopyFrom(other); }
    StringList& operator=(const StringList& other);

    int Count() const noexcept { return items_.Count(); }
    // The item at `index`; an empty text when out of range.
    const WString& At(int index) const;
    WString& At(int index);
    int32_t ValueAt(int index) const { return At(index).Value(); }

    void Add(const WString& text, int32_t value = 0);
    void Insert(int index, const WString& text, int32_t value = 0);
    void RemoveAt(int index);  // ignored out of range
    bool Contains(const WString& text, bool ignoreCase) const;
    // Index of the first item equal to `text`, or -1.
    int IndexOf(const WString& text, bool ignoreCase) const;
    void Clear();
    void CopyFrom(const StringList& other);

private:
    PointerArray items_;
};

// A heap block whose failed allocation leaves Data() null: callers test it.
class ByteBuffer {
public:
    ByteBuffer() = default;
    explicit ByteBuffer(size_t size, bool zero = false) { Resize(size, zero); }
    ~ByteBuffer() { delete[] data_; }
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ByteBuffer(ByteBuffer&& other) noexcept;
    ByteBuffer& operator=(ByteBuffer&& other) noexcept;

    uint8_t* Data() const noexcept { return data_; }
    size_t Size() const noexcept { return size_; }
    size_t Capacity() const noexcept { return capacity_; }
    // A size within the capacity only changes the size; a larger one allocates a new block
    // without keeping the old bytes. Returns false (and leaves the buffer empty, Data() null) when
    // the allocation fails.
    bool Resize(size_t size, bool zero = false);
    void Free() noexcept;

    // Two cursors that never pass the size.
    size_t ReadPos() const noexcept { return readPos_; }
    size_t WritePos() const noexcept { return writePos_; }
    void SetReadPos(size_t pos) noexcept { readPos_ = pos < size_ ? pos : size_; }
    void SetWritePos(size_t pos) noexcept { writePos_ = pos < size_ ? pos : size_; }

private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
    size_t readPos_ = 0;
    size_t writePos_ = 0;
};

// UTF-16 <-> ANSI code page at the border of the program.
std::string ToAnsi(const wchar_t* text, int count = -1);
WString FromAnsi(const char* text, int count = -1);

}  // namespace tarvo
