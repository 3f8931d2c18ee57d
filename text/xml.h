// ClsXml: a read-only handle on one element of a parsed XML document.
//
// The parser is forgiving (it never rejects a text it could read) and does not
// recurse per nesting level.  A document text names no file: LoadXml always
// parses the text it is given.
#pragma once

#include <memory>

#include "text/xstring.h"

class ClsXml {
  public:
    ClsXml();
    ~ClsXml();
    ClsXml(const ClsXml&) = delete;
    ClsXml& operator=(const ClsXml&) = delete;

    bool LoadXml(const XString& text);
    void GetRoot2();
    int ChildCount();
    std::unique_ptr<ClsXml> GetChild(int index);  // null outside 0..ChildCount()-1
    bool GetAttrValue(const char16_t* name, XString& value);
    // Unused by the add-in: it reads goods' numbers without wrapping them.
    int GetAttrValueInt(const char16_t* name);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
