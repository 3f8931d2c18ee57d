// The document tree behind ClsXml handles: elements with their attributes and
// children, built once by ParseXmlDocument and never changed afterwards.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/xml.h"

namespace text {

struct XmlAttribute {
    std::string_view name;   // UTF-8
    std::string_view value;  // UTF-8, entity references already replaced
};

struct XmlNode {
    std::string tag;
    // The attributes and the line side by side: a walk over thousands of
    // elements reads just these, and finds them in one cache line.
    const XmlAttribute* attributes = nullptr;  // document order; lookups take the first
    size_t attributeCount = 0;
    int line = 0;  // of the start tag's "<", from 1
    // Where the attributes lie, followed by the characters of their names and
    // values: one block per element instead of a string per name and value.
    // A name the element before had in the same place is that element's, so
    // a document's names are stored once.
    std::unique_ptr<char[]> storage;
    std::vector<XmlNode*> children;  // document order
    XmlNode* parent = nullptr;
    size_t offset = 0;  // of that "<" in the parsed text
};

struct XmlTree {
    // Every node lives here, so that freeing a tree never recurses through its
    // depth, however deeply a hostile document nests.
    std::deque<XmlNode> nodes;
    XmlNode* root = nullptr;
    XmlFault fault;  // the text's first fault, if any

    XmlTree();
    XmlTree(const XmlTree&) = delete;
    XmlTree& operator=(const XmlTree&) = delete;
    XmlNode* NewNode(XmlNode* parent);
};

// Reads any text into a tree; never fails, and notes the text's first fault
// in tree.fault.  Iterative: nesting depth costs heap, not stack.
void ParseXmlDocument(std::string_view utf8, XmlTree& tree);

// Attribute-value entity references: the five named ones and the hexadecimal
// forms of tab, LF and CR; everything else stays as written.
std::string DecodeAttributeEntities(std::string_view value);

// Decimal integer of an attribute value: blanks and tabs, an optional sign,
// digits up to the first non-digit; wraps like a 32-bit integer.
int ParseAttributeInt(std::string_view value);

}  // namespace text
