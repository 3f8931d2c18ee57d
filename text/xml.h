// ClsXml: a read-only handle on one element of a parsed XML document.
//
// The parser is forgiving (it never rejects a text it could read) and does not
// recurse per nesting level.  A document text names no file: LoadXml always
// parses the text it is given.  What would make the text not a well-formed
// document is kept beside the tree as its first fault, for a caller that must
// not act on a document whose meaning the forgiving reading had to guess.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "text/xstring.h"

// The first fault of a loaded text, in reading order.  Entities, character
// references, the declaration and text before the root harm nothing and are
// not faults.
struct XmlFault {
    enum class Kind {
        kNone,
        kUnclosedElement,     // the text ends with `openName` still open
        kMismatchedEndTag,    // end tag `name` while `openName` is open (or none is)
        kUnquotedValue,       // attribute `name` has a value without quotes, or none
        kDuplicateAttribute,  // attribute `name` twice in one start tag
        kContentAfterRoot,    // text, or element `name`, after the root has closed
        kUnclosedMarkup,      // a tag, comment, CDATA section, DOCTYPE or PI never closed
    };
    Kind kind = Kind::kNone;
    int line = 0;          // from 1
    int column = 0;        // from 1, in characters
    std::string name;      // UTF-8
    std::string openName;  // the element open at the fault; empty when none
    int openLine = 0;
    int openColumn = 0;
};

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
    // A new handle on this same element: it keeps the tree alive on its own.
    std::unique_ptr<ClsXml> Share();
    bool GetAttrValue(const char16_t* name, XString& value);
    // Unused by the add-in: it reads goods' numbers without wrapping them.
    int GetAttrValueInt(const char16_t* name);
    // The line, from 1, on which this element's start tag begins.
    int Line();
    // The first fault of the loaded text; kind kNone for a well-formed one.
    XmlFault Fault();

    // Reads the attributes `names` (UTF-8, matched exactly, first occurrence)
    // of every child element in document order, without a handle for each:
    // what reading a document of thousands of elements needs.  `visit` gets
    // the child's line and one value per name, null where the child has none;
    // the pointers hold only during the call, the characters they view as
    // long as any handle on this tree.  `visit` returning false ends the
    // walk; it must not call this handle.
    using ChildVisitor = std::function<bool(int line, const std::string_view* const* values)>;
    void VisitChildren(const std::vector<std::string>& names, const ChildVisitor& visit);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
