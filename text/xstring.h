// XString: the one string type of the add-in.
//
// Holds one text and hands it out as UTF-16 (what the host speaks), as UTF-8,
// as 8-bit text in the system code page (GetACP() on Windows, UTF-8 on Linux)
// or in a named code page ("windows-1251" is what the scales speak).  Forms are
// converted on demand and cached until the next change; returned pointers stay
// valid until the next change of the string (textIn: until the next textIn).
// Conversions never fail: malformed UTF-16/UTF-8 becomes U+FFFD, and a
// character the target code page cannot hold is dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// The operations marked "unused" belong to the string type's interface but
// serve nothing in the add-in itself; the tests hold them to their contract.
class XString {
  public:
    XString();
    explicit XString(const char16_t* wide);
    XString(const XString& other);
    XString& operator=(const XString& other);
    XString(XString&& other) noexcept;
    XString& operator=(XString&& other) noexcept;
    ~XString();

    void clear();
    void setFromWide(const char16_t* text);                 // NUL-terminated UTF-16; unused
    void setFromWideN(const char16_t* text, size_t units);  // UTF-16 with a length
    void setFromNarrow(const char* text);                   // system code page
    void setFromNarrowN(const char* text, size_t bytes);
    void setFromUtf8(const char* text);
    void setFromString(const XString& other);  // unused

    void appendNarrow(const char* text);                 // unused
    void appendNarrowN(const char* text, size_t bytes);  // unused
    void appendNarrowChar(char c);                       // unused
    void appendUtf8(const char* text);
    void appendWide(const char16_t* text);    // unused
    void appendString(const XString& other);  // unused
    // Appends `count` random bytes written in `encoding` ("hex": upper-case,
    // high nibble first; "hexlower", "hex_lower", "hex-lower": lower-case).
    void appendRandomBytes(int count, const char* encoding);
    // Replaces the text by what its base64 content decodes to, read in `charset`.
    void decodeBase64Text(const char* charset);

    int compareTo(const XString& other) const;    // -1, 0, 1; UTF-16 code units; unused
    bool containsText(const char* narrow) const;  // unused
    bool endsWithText(const char* narrow) const;  // unused
    int findText(const char* narrow) const;       // UTF-16 offset or -1; unused
    void removeAllOf(char c);
    int charCount() const;

    const char* narrowText() const;
    const char* utf8Text() const;
    const char16_t* wideText() const;
    const char* textIn(const char* charset) const;  // unused: frames use text/codepage.h
    std::u16string toU16() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
