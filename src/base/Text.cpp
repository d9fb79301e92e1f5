#include "base/Text.h"

#include <cstdarg>
#include <cstring>
#include <cwchar>
#include <new>

namespace tarvo {

namespace {

const WString& EmptyText() {
    static const WString empty;
    return empty;
}

inline wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? wchar_t(c + (L'a' - L'A')) : c; }
inline wchar_t UpperAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? wchar_t(c - (L'a' - L'A')) : c; }

}  // namespace

// --- construction ------------------------------------------------------------------------

WString::WString() noexcept : data_(inline_) { inline_[0] = 0; }

WString::WString(const wchar_t* text) : WString() {
    if (text) Assign(text, int(wcslen(text)));
}

WString::WString(const wchar_t* text, int count) : WString() {
    if (text && count > 0) Assign(text, count);
}

WString::WString(const char* ansi) : WString() { *this = FromAnsi(ansi); }

WString::WString(int64_t number) : WString() {
    wchar_t digits[24];
    int n = 0;
    // Work on the unsigned magnitude so that the most negative value converts too.
    uint64_t magnitude = number < 0 ? uint64_t(0) - uint64_t(number) : uint64_t(number);
    do {
        digits[n++] = wchar_t(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (number < 0) digits[n++] = L'-';
    wchar_t out[24];
    for (int i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
    Assign(out, n);
}

WString::WString(int32_t number) : WString(int64_t(number)) {}

WString::WString(const WString& other) : WString() {
    Assign(other.data_, other.Count());
    value_ = other.value_;
}

WString::WString(WString&& other) noexcept : WString() { *this = std::move(other); }

WString& WString::operator=(const WString& other) {
    if (this != &other) {
        Assign(other.data_, other.Count());
        value_ = other.value_;
    }
    return *this;
}

WString& WString::operator=(WString&& other) noexcept {
    if (this == &other) return *this;
    if (other.IsInline()) {
        // Inline text cannot be stolen; copying 128 units or fewer never allocates.
        if (!IsInline()) {
            delete[] data_;
            data_ = inline_;
            capacity_ = kInlineCapacity;
        }
        std::memcpy(inline_, other.inline_, sizeof(wchar_t) * other.length_);
        length_ = other.length_;
    } else {
        if (!IsInline()) delete[] data_;
        data_ = other.data_;
        capacity_ = other.capacity_;
        length_ = other.length_;
        other.data_ = other.inline_;
        other.capacity_ = kInlineCapacity;
        other.SetLength(1);
    }
    value_ = other.value_;
    narrow_.clear();
    return *this;
}

WString& WString::operator=(const wchar_t* text) {
    return text ? Assign(text, int(wcslen(text))) : Assign(L"", 0);
}

WString::~WString() {
    if (!IsInline()) delete[] data_;
}

void WString::Reserve(int needed, bool keep) {
    if (needed <= capacity_) return;
    wchar_t* block = new wchar_t[needed];
    if (keep) std::memcpy(block, data_, sizeof(wchar_t) * length_);
    else block[0] = 0;
    if (!IsInline()) delete[] data_;
    data_ = block;
    capacity_ = needed;
    if (!keep) length_ = 1;
}

void WString::SetLength(int length) noexcept {
    length_ = length;
    data_[length - 1] = 0;
}

WString& WString::Assign(const wchar_t* text, int count) {
    if (count < 0) count = 0;
    // `text` may point into this very text (Sub, Left): copy through a temporary then.
    if (text >= data_ && text < data_ + capacity_) {
        WString copy(text, count);
        return Assign(copy.data_, count);
    }
    Reserve(count + 1, false);
    if (count) std::memmove(data_, text, sizeof(wchar_t) * count);
    SetLength(count + 1);
    return *this;
}

// --- access ------------------------------------------------------------------------------

wchar_t WString::At(int pos) const noexcept {
    if (pos == kLastPosition) pos = length_ - 1;
    return (pos >= 1 && pos < length_) ? data_[pos - 1] : 0;
}

const char* WString::Narrow() const {
    narrow_ = ToAnsi(data_, Count());
    return narrow_.c_str();
}

// --- editing -----------------------------------------------------------------------------

WString& WString::Append(const wchar_t* text) { return Append(WString(text)); }

WString& WString::Append(const WString& text) {
    int add = text.Count();
    if (add == 0) return *this;
    int newLength = length_ + add;
    if (newLength > capacity_) {
        WString keepAlive;
        if (&text == this) keepAlive = text;  // appending to itself
        const WString& source = (&text == this) ? keepAlive : text;
        Reserve(newLength + newLength / 3, true);
        std::memcpy(data_ + length_ - 1, source.data_, sizeof(wchar_t) * add);
    } else {
        std::memmove(data_ + length_ - 1, text.data_, sizeof(wchar_t) * add);
    }
    SetLength(newLength);
    return *this;
}

WString& WString::Append(wchar_t ch) {
    wchar_t one[2] = {ch, 0};
    return Append(WString(one, 1));
}

WString WString::Plus(const WString& text) const {
    WString joined;
    int newLength = length_ + text.Count();
    joined.Reserve(newLength + 25, false);
    std::memcpy(joined.data_, data_, sizeof(wchar_t) * Count());
    std::memcpy(joined.data_ + Count(), text.data_, sizeof(wchar_t) * text.Count());
    joined.SetLength(newLength);
    return joined;
}

WString& WString::Insert(int pos, const WString& text) {
    if (pos == kLastPosition) pos = length_ - 1;
    if (pos < 1 || pos > length_) return *this;
    if (&text == this) return Insert(pos, WString(text));
    int add = text.Count();
    if (add == 0) return *this;
    int newLength = length_ + add;
    if (newLength > capacity_) Reserve(newLength + 32, true);
    std::memmove(data_ + pos - 1 + add, data_ + pos - 1, sizeof(wchar_t) * (length_ - pos + 1));
    std::memcpy(data_ + pos - 1, text.data_, sizeof(wchar_t) * add);
    length_ = newLength;
    return *this;
}

WString& WString::Delete(int start, int end) {
    if (start == kLastPosition) start = length_ - 1;
    if (end == kLastPosition) end = length_ - 1;
    if (start < 1 || start >= length_ || end < start) return *this;
    if (end > length_ - 1) end = length_ - 1;
    int removed = end - start + 1;
    std::memmove(data_ + start - 1, data_ + end, sizeof(wchar_t) * (length_ - end));
    length_ -= removed;
    return *this;
}

wchar_t WString::RemoveAt(int pos) {
    wchar_t ch = At(pos);
    if (ch || (pos >= 1 && pos < length_) || pos == kLastPosition) {
        if (pos == kLastPosition) pos = length_ - 1;
        Delete(pos, pos);
    }
    return ch;
}

WString& WString::RemoveLast(int n) {
    if (n <= 0) return *this;
    if (n > Count()) n = Count();
    SetLength(length_ - n);
    return *this;
}

WString& WString::Prepend(wchar_t ch) {
    wchar_t one[2] = {ch, 0};
    return Insert(1, WString(one, 1));
}

WString& WString::SetCount(int n) {
    if (n < 0) n = 0;
    if (n < Count()) {
        SetLength(n + 1);
    } else if (n > Count()) {
        Reserve(n + 1, true);
        for (int i = Count(); i < n; ++i) data_[i] = L' ';
        SetLength(n + 1);
    }
    return *this;
}

WString& WString::TrimLeft() {
    int i = 0;
    while (i < Count() && data_[i] == L' ') ++i;
    if (i) Delete(1, i);
    return *this;
}

WString& WString::TrimRight() {
    int n = Count();
    while (n > 0 && data_[n - 1] == L' ') --n;
    SetLength(n + 1);
    return *this;
}

void WString::Clear() { SetLength(1); }

// --- copies ------------------------------------------------------------------------------

WString WString::Sub(int start, int end) const {
    if (start == kLastPosition) start = length_ - 1;
    if (end == kLastPosition) end = length_ - 1;
    if (start < 1 || start >= length_ || end < start) return WString();
    if (end > length_ - 1) end = length_ - 1;
    return WString(data_ + start - 1, end - start + 1);
}

WString WString::Left(int n) const {
    if (n <= 0) return WString();
    return WString(data_, n < Count() ? n : Count());
}

WString WString::Right(int n) const {
    if (n <= 0) return WString();
    if (n > Count()) n = Count();
    return WString(data_ + Count() - n, n);
}

WString WString::From(int pos) const { return Sub(pos, length_ - 1); }

WString WString::Upper() const {
    WString copy(*this);
    for (int i = 0; i < copy.Count(); ++i) copy.data_[i] = UpperAscii(copy.data_[i]);
    return copy;
}

// --- search ------------------------------------------------------------------------------

int WString::Find(const WString& fragment, int start) const {
    if (start == kLastPosition) start = length_ - 1;
    if (start <= 0 || start >= length_) return 0;
    int n = fragment.Count();
    if (n == 0) return start;
    for (int i = start - 1; i + n <= Count(); ++i) {
        if (std::wmemcmp(data_ + i, fragment.data_, n) == 0) return i + 1;
    }
    return 0;
}

int WString::Find(wchar_t ch, int start) const {
    if (start == kLastPosition) start = length_ - 1;
    if (start <= 0 || start >= length_) return 0;
    for (int i = start - 1; i < Count(); ++i) {
        if (data_[i] == ch) return i + 1;
    }
    return 0;
}

int WString::FindLast(wchar_t ch) const {
    for (int i = Count(); i >= 1; --i) {
        if (data_[i - 1] == ch) return i;
    }
    return 0;
}

bool WString::operator==(const WString& other) const {
    return length_ == other.length_ && std::wmemcmp(data_, other.data_, Count()) == 0;
}

// --- free algorithms ---------------------------------------------------------------------

int Compare(const WString& a, const WString& b, bool ignoreCase) {
    const wchar_t* p = a.c_str();
    const wchar_t* q = b.c_str();
    for (int i = 0;; ++i) {
        unsigned x = p[i], y = q[i];
        if (ignoreCase) {
            x = FoldAscii(wchar_t(x));
            y = FoldAscii(wchar_t(y));
        }
        if (x != y) return x < y ? -1 : 1;  // the terminator 0 sorts a prefix first
        if (x == 0) return 0;
    }
}

void ReplaceAll(WString& text, const WString& search, const WString& replacement, bool ignoreCase) {
    if (search.Empty()) return;
    int searchLen = search.Count();
    int replaceLen = replacement.Count();
    if (!ignoreCase) {
        int pos = text.Find(search, 1);
        while (pos != 0) {
            text.Delete(pos, pos + searchLen - 1);
            text.Insert(pos, replacement);
            pos = text.Find(search, pos + replaceLen);
        }
        return;
    }
    WString upper = text.Upper();
    WString upperSearch = search.Upper();
    int pos = upper.Find(upperSearch, 1);
    while (pos != 0) {
        upper.Delete(pos, pos + searchLen - 1);
        upper.Insert(pos, replacement);
        text.Delete(pos, pos + searchLen - 1);
        text.Insert(pos, replacement);
        pos = upper.Find(upperSearch, pos + replaceLen);
    }
}

void StripMarkers(WString& text) {
    ReplaceAll(text, L"__TVI_WIN64", L"", false);
    ReplaceAll(text, L"__TVI_UNICODE", L"", false);
}

WString FormatText(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    // Starts at 1000 units and grows fivefold until the output fits with its terminator.
    size_t size = 1000;
    WString result;
    for (;;) {
        wchar_t* buffer = new (std::nothrow) wchar_t[size];
        if (!buffer) break;
        va_list copy;
        va_copy(copy, args);
        // _vsnwprintf is the C run-time's own wide printf, where "%s" takes a wide text.
        int written = _vsnwprintf(buffer, size, format, copy);
        va_end(copy);
        if (written >= 0 && size_t(written) < size) {
            result.Assign(buffer, written);
            delete[] buffer;
            break;
        }
        delete[] buffer;
        if (size > size_t(INT32_MAX) / 5) break;  // no larger buffer: the empty text
        size *= 5;
    }
    va_end(args);
    return result;
}

int64_t ParseInteger(const WString& text) {
    WString t(text);
    t.TrimLeft();
    int pos = 1;
    bool negative = false;
    if (t.At(1) == L'-') {
        negative = true;
        pos = 2;
    } else if (t.At(1) == L'+') {
        pos = 2;
    }
    uint64_t value = 0;
    for (wchar_t c = t.At(pos); c >= L'0' && c <= L'9'; c = t.At(++pos)) {
        value = value * 10 + uint64_t(c - L'0');
    }
    return int64_t(negative ? uint64_t(0) - value : value);
}

void SplitLines(const WString& text, StringList& lines) {
    lines.Clear();
    const wchar_t* p = text.c_str();
    int n = text.Count();
    int lineStart = 0;
    int i = 0;
    while (i < n) {
        if (p[i] == L'\r') {
            lines.Add(WString(p + lineStart, i - lineStart));
            ++i;
            while (i < n && p[i] == L'\n') ++i;
            lineStart = i;
        } else {
            ++i;
        }
    }
    if (lineStart < n) lines.Add(WString(p + lineStart, n - lineStart));
}

std::string ToAnsi(const wchar_t* text, int count) {
    if (!text) return std::string();
    if (count < 0) count = int(wcslen(text));
    if (count == 0) return std::string();
    int bytes = ::WideCharToMultiByte(CP_ACP, 0, text, count, nullptr, 0, nullptr, nullptr);
    std::string out(size_t(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) ::WideCharToMultiByte(CP_ACP, 0, text, count, &out[0], bytes, nullptr, nullptr);
    return out;
}

WString FromAnsi(const char* text, int count) {
    if (!text) return WString();
    if (count < 0) count = int(strlen(text));
    if (count == 0) return WString();
    int units = ::MultiByteToWideChar(CP_ACP, 0, text, count, nullptr, 0);
    if (units <= 0) return WString();
    std::wstring buffer(size_t(units), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text, count, &buffer[0], units);
    return WString(buffer.c_str(), units);
}

// --- PointerArray ------------------------------------------------------------------------

PointerArray::PointerArray() noexcept : items_(inline_) {}

PointerArray::~PointerArray() {
    if (items_ != inline_) delete[] items_;
}

bool PointerArray::Grow() {
    int newCapacity = capacity_ + step_;
    void** block = new (std::nothrow) void*[newCapacity];
    if (!block) return false;
    std::memcpy(block, items_, sizeof(void*) * count_);
    if (items_ != inline_) delete[] items_;
    items_ = block;
    capacity_ = newCapacity;
    if (step_ < 500000) step_ = step_ * 2 > 500000 ? 500000 : step_ * 2;
    return true;
}

bool PointerArray::Insert(int index, void* item) {
    if (count_ == capacity_ && !Grow()) return false;
    if (index < 0 || index >= count_) {
        items_[count_++] = item;
        return true;
    }
    std::memmove(items_ + index + 1, items_ + index, sizeof(void*) * (count_ - index));
    items_[index] = item;
    ++count_;
    return true;
}

void* PointerArray::RemoveAt(int index) {
    if (index < 0 || index >= count_) return nullptr;
    void* item = items_[index];
    std::memmove(items_ + index, items_ + index + 1, sizeof(void*) * (count_ - index - 1));
    --count_;
    return item;
}

// --- StringList --------------------------------------------------------------------------

StringList& StringList::operator=(const StringList& other) {
    if (this != &other) CopyFrom(other);
    return *this;
}

const WString& StringList::At(int index) const {
    auto* item = static_cast<const WString*>(items_.At(index));
    return item ? *item : EmptyText();
}

WString& StringList::At(int index) {
    static WString scratch;
    auto* item = static_cast<WString*>(items_.At(index));
    if (item) return *item;
    scratch.Clear();
    return scratch;
}

void StringList::Add(const WString& text, int32_t value) { Insert(-1, text, value); }

void StringList::Insert(int index, const WString& text, int32_t value) {
    auto* item = new WString(text);
    item->SetValue(value);
    if (!items_.Insert(index, item)) delete item;
}

void StringList::RemoveAt(int index) { delete static_cast<WString*>(items_.RemoveAt(index)); }

int StringList::IndexOf(const WString& text, bool ignoreCase) const {
    for (int i = 0; i < Count(); ++i) {
        if (Compare(At(i), text, ignoreCase) == 0) return i;
    }
    return -1;
}

bool StringList::Contains(const WString& text, bool ignoreCase) const { return IndexOf(text, ignoreCase) >= 0; }

void StringList::Clear() {
    for (int i = 0; i < items_.Count(); ++i) delete static_cast<WString*>(items_.At(i));
    items_.Clear();
}

void StringList::CopyFrom(const StringList& other) {
    Clear();
    for (int i = 0; i < other.Count(); ++i) Add(other.At(i), other.ValueAt(i));
}

// --- ByteBuffer --------------------------------------------------------------------------

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept { *this = std::move(other); }

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
        delete[] data_;
        data_ = other.data_;
        size_ = other.size_;
        capacity_ = other.capacity_;
        readPos_ = other.readPos_;
        writePos_ = other.writePos_;
        other.data_ = nullptr;
        other.size_ = other.capacity_ = other.readPos_ = other.writePos_ = 0;
    }
    return *this;
}

bool ByteBuffer::Resize(size_t size, bool zero) {
    if (data_ && size <= capacity_) {
        size_ = size;
    } else {
        Free();
        size_t want = size ? size : 1;
        data_ = new (std::nothrow) uint8_t[want];
        if (!data_) return false;
        capacity_ = want;
        size_ = size;
    }
    if (zero && size_) std::memset(data_, 0, size_);
    SetReadPos(readPos_);
    SetWritePos(writePos_);
    return true;
}

void ByteBuffer::Free() noexcept {
    delete[] data_;
    data_ = nullptr;
    size_ = capacity_ = readPos_ = writePos_ = 0;
}

}  // namespace tarvo
