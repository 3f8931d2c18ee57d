// The 25 methods the host calls by English or Russian name, as data, and the
// dispatcher frame every CallAsFunc goes through.
//
// Frame rules, common to every method: a number outside the table fails; a
// method that touches its parameters fails when the host passes no array or
// fewer parameters than the table gives (we never index past what the host
// passed); a string parameter of any other type than PSTR/PWSTR fails the call
// before anything is done.  Otherwise the call succeeds and the method reports
// its outcome in the return value and the last error.
#pragma once

#include <cstdint>

#include "sdk/component_base.h"

class CDeviceTable;

namespace addin {

constexpr long kMethodCount = 25;

// One host call as the handlers see it.  Parameters are numbered from 1.
struct MethodCall {
    CDeviceTable& table;
    IMemoryManager* memory;
    tVariant& result;
    tVariant* params;
    long count;

    tVariant& Param(int number) const { return params[number - 1]; }
};

using MethodHandler = bool (*)(MethodCall& call);

struct MethodEntry {
    long number;
    const char16_t* english;
    const char16_t* russian;
    long paramCount;
    // False for methods that never look at their parameters: they may be
    // called with no array at all.
    bool touchesParams;
    MethodHandler handler;
};

// The entry for a method number, or null outside 0..kMethodCount-1.
const MethodEntry* FindMethodEntry(long number);
// The number of the first English, then Russian name equal to `name`; -1.
long FindMethodByName(const WCHAR_T* name);
// The dispatcher frame: checks the call and runs the method's handler.
bool CallMethod(long number, CDeviceTable& table, IMemoryManager* memory, tVariant* result,
                tVariant* params, long count);

}  // namespace addin
