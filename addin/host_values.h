// Values crossing the host boundary: reading the host's parameters out of
// tVariant records and writing results back into them.
//
// The host passes strings as PWSTR (UTF-16, length in code units) or PSTR
// (8-bit text in the system code page, length in bytes).  A number may arrive
// under any numeric tag; it is read by its tag, never by reinterpreting the
// bytes of another type.  Every string handed to the host is allocated through
// the host's memory manager, because the host frees it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sdk/component_base.h"

namespace addin {

// True for the two tags a string parameter may carry (PSTR, PWSTR).
bool IsStringValue(const tVariant& value);

// The text of a PSTR or PWSTR value.  A host string is zero-terminated and
// carries its length (UTF-16 units or bytes, without the terminator); when the
// two disagree the text ends at whichever comes first, and nothing beyond
// either is read: a length of 0 reads as empty whatever follows, a length
// past the terminator stops at the terminator.  A null pointer, or any other
// tag, reads as empty.
std::u16string ReadStringValue(const tVariant& value);

// A number parameter as a 32-bit signed integer: integer tags by value
// (clamped to the 32-bit range, except that UI4/UINT keep their bit pattern),
// R4/R8/DATE truncated toward zero and clamped, a string's text read as a
// decimal number, every other tag as 0.
int32_t ReadNumberValue(const tVariant& value);

// A number parameter for a frame field, which must hold exactly what the host
// gave: read as ReadNumberValue does, except that a value beyond the 32-bit
// range is not clamped to its end (a field up to 2147483647 would take that)
// but reads as -2147483648, which no field holds.
int32_t ReadFieldValue(const tVariant& value);

// A double truncated toward zero and clamped to the 32-bit range (NaN: 0).
int32_t TruncateToInt32(double value);

void WriteBool(tVariant& out, bool value);
void WriteUi4(tVariant& out, uint32_t value);
// Writes a PWSTR result allocated through the host.  False (and the record
// left as the host passed it) when there is no memory manager or the host
// refuses memory.
bool WriteString(tVariant& out, std::u16string_view text, IMemoryManager* memory);

// Host memory for one string result, taken before a method changes anything:
// when the host refuses it, the method can still fail with nothing done.  The
// block goes to the host with HandOver; a block never handed over (an early
// return, an exception) is given back to the host's memory manager.
class HostString {
  public:
    // Room for `capacity` UTF-16 units and the terminator.  A host string may
    // be shorter than its block: the host frees the block, whatever the text.
    HostString(IMemoryManager* memory, size_t capacity);
    ~HostString();
    HostString(const HostString&) = delete;
    HostString& operator=(const HostString&) = delete;

    bool Reserved() const { return block_ != nullptr; }
    // Copies `text` (at most the capacity) into the block and writes it to
    // `out` as a PWSTR result; the host owns the block from now on.
    void HandOver(tVariant& out, std::u16string_view text);

  private:
    IMemoryManager* memory_;
    WCHAR_T* block_ = nullptr;
    size_t capacity_;
};

// A zero-terminated copy of `text` in host memory, or null.
WCHAR_T* CopyToHost(std::u16string_view text, IMemoryManager* memory);

// Exact comparison, code unit by code unit, of a zero-terminated host string
// with one of ours.  A null host string equals nothing.
bool SameText(const WCHAR_T* hostText, std::u16string_view ours);

}  // namespace addin
