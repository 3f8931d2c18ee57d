// The forgiving reader of the goods document.  It never rejects a text: what
// it cannot make sense of is skipped, an end tag closes whatever element is
// open, and elements still open at the end keep what was read into them.  It
// walks the text once with an explicit "current element" pointer, so nesting
// depth never reaches the stack.  The goods are all in elements and their
// attributes: text between tags, CDATA, comments, processing instructions and
// the DOCTYPE are stepped over without being kept.
#include <algorithm>
#include <cstdint>

#include "text/xml_tree.h"

namespace text {

XmlTree::XmlTree() {
    root = NewNode(nullptr);
    root->tag = "unnamed";
}

XmlNode* XmlTree::NewNode(XmlNode* parent) {
    nodes.emplace_back();
    XmlNode* node = &nodes.back();
    node->parent = parent;
    if (parent != nullptr) parent->children.push_back(node);
    return node;
}

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

bool IsNameChar(unsigned char c) {
    constexpr unsigned char kFirstNonAscii = 0x80;
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    bool digit = c >= '0' && c <= '9';
    bool punctuation = c == '!' || c == '-' || c == '.' || c == ':' || c == '_';
    return letter || digit || punctuation || c >= kFirstNonAscii;
}

// Attribute names keep letters, digits, "!-.:_" and non-ASCII bytes; a name
// that would start with "-", "." or a digit is given a leading "A".
std::string CleanAttributeName(std::string_view raw) {
    std::string name;
    for (char c : raw)
        if (IsNameChar(static_cast<unsigned char>(c))) name.push_back(c);
    bool badStart =
        !name.empty() && (name[0] == '-' || name[0] == '.' || (name[0] >= '0' && name[0] <= '9'));
    if (badStart) name.insert(name.begin(), 'A');
    return name;
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    size_t at = text.find(from);
    if (at == std::string::npos) return;
    std::string out;
    size_t done = 0;
    for (; at != std::string::npos; at = text.find(from, done)) {
        out.append(text, done, at - done).append(to);
        done = at + from.size();
    }
    out.append(text, done, std::string::npos);
    text.swap(out);
}

// Reads the attributes of a start tag from text[pos] up to and including its
// closing ">" or "/>".
class AttributeReader {
  public:
    AttributeReader(std::string_view text, size_t& pos) : text_(text), pos_(pos) {}

    // Returns true when the tag closed itself with "/>".
    bool ReadAll(std::vector<XmlAttribute>& out) {
        while (true) {
            SkipBlanks();
            if (pos_ >= text_.size()) return false;
            char c = text_[pos_];
            if (c == '>') {
                ++pos_;
                return false;
            }
            if (c == '/') {
                ++pos_;
                if (pos_ < text_.size() && text_[pos_] == '>') {
                    ++pos_;
                    return true;
                }
                continue;
            }
            ReadOne(out);
        }
    }

  private:
    void SkipBlanks() {
        while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
    }

    bool EndsName(char c) const { return IsBlank(c) || c == '=' || c == '/' || c == '>'; }

    void ReadOne(std::vector<XmlAttribute>& out) {
        size_t start = pos_;
        while (pos_ < text_.size() && !EndsName(text_[pos_])) ++pos_;
        std::string_view raw = text_.substr(start, pos_ - start);
        SkipBlanks();
        std::string_view value;
        if (pos_ < text_.size() && text_[pos_] == '=') {
            ++pos_;
            SkipBlanks();
            value = ReadValue();
        }
        if (raw.empty()) return;
        out.push_back({CleanAttributeName(raw), DecodeAttributeEntities(value)});
    }

    std::string_view ReadValue() {
        if (pos_ >= text_.size()) return {};
        char quote = text_[pos_];
        if (IsQuote(quote)) {
            size_t start = ++pos_;
            size_t end = text_.find(quote, start);
            pos_ = end == std::string_view::npos ? text_.size() : end + 1;
            return text_.substr(start,
                                (end == std::string_view::npos ? text_.size() : end) - start);
        }
        // A value without quotes ends at a blank, at the end of the tag or at
        // a quote; it never runs on into the following markup.
        size_t start = pos_;
        while (pos_ < text_.size() && !EndsUnquotedValue()) ++pos_;
        return text_.substr(start, pos_ - start);
    }

    bool EndsUnquotedValue() const {
        char c = text_[pos_];
        if (IsBlank(c) || c == '>' || IsQuote(c)) return true;
        return c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '>';
    }

    std::string_view text_;
    size_t& pos_;
};

class DocumentParser {
  public:
    DocumentParser(std::string_view text, XmlTree& tree)
        : text_(text), tree_(tree), current_(tree.root) {}

    void Run() {
        tree_.root->tag = "empty";  // until the first start tag names it
        pos_ = text_.find('<');
        while (pos_ < text_.size()) {
            ReadMarkup();
            pos_ = std::min(text_.size(), text_.find('<', pos_));  // text between tags
        }
    }

  private:
    bool At(std::string_view prefix) const {
        return text_.compare(pos_, prefix.size(), prefix) == 0;
    }

    // When the markup here opens with `open`, moves past the next `close` (to
    // the end of the text when there is none).
    bool SkipBlock(std::string_view open, std::string_view close) {
        if (!At(open)) return false;
        size_t at = text_.find(close, pos_ + open.size());
        pos_ = at == std::string_view::npos ? text_.size() : at + close.size();
        return true;
    }

    void ReadMarkup() {
        if (SkipBlock("<?", "?>") || SkipBlock("<!--", "-->") || SkipBlock("<![CDATA[", "]]>"))
            return;
        if (At("<!DOCTYPE")) return SkipDoctype();
        if (SkipBlock("<!", ">")) return;
        if (SkipBlock("</", ">")) return CloseElement();
        ReadStartTag();
    }

    // A DOCTYPE may carry an internal subset in brackets, whose declarations
    // hold ">" characters of their own.
    void SkipDoctype() {
        int bracketDepth = 0;
        size_t at = pos_ + 2;
        for (; at < text_.size(); ++at) {
            char c = text_[at];
            if (c == '[') ++bracketDepth;
            if (c == ']' && bracketDepth > 0) --bracketDepth;
            if (c == '>' && bracketDepth == 0) break;
        }
        pos_ = std::min(text_.size(), at + 1);
    }

    // End tags are not matched against start tags: any of them closes the
    // element that is open.  The root stays current once everything is closed.
    void CloseElement() {
        if (current_->parent != nullptr) current_ = current_->parent;
    }

    void ReadStartTag() {
        ++pos_;
        std::string name;
        for (; pos_ < text_.size(); ++pos_) {
            char c = text_[pos_];
            if (IsBlank(c) || c == '/' || c == '>') break;
            if (c != '<') name.push_back(c);
        }
        XmlNode* node = rootNamed_ ? tree_.NewNode(current_) : tree_.root;
        rootNamed_ = true;
        node->tag = std::move(name);
        bool selfClosing = AttributeReader(text_, pos_).ReadAll(node->attributes);
        if (!selfClosing && node != tree_.root) current_ = node;
    }

    std::string_view text_;
    XmlTree& tree_;
    XmlNode* current_;
    size_t pos_ = 0;
    bool rootNamed_ = false;
};

}  // namespace

void ParseXmlDocument(std::string_view utf8, XmlTree& tree) {
    DocumentParser(utf8, tree).Run();
}

std::string DecodeAttributeEntities(std::string_view value) {
    std::string out(value);
    if (out.find('&') == std::string::npos) return out;
    if (out.find('#') != std::string::npos) {
        ReplaceAll(out, "&#x9;", "\t");
        ReplaceAll(out, "&#xA;", "\n");
        ReplaceAll(out, "&#xD;", "\r");
    }
    ReplaceAll(out, "&lt;", "<");
    ReplaceAll(out, "&gt;", ">");
    ReplaceAll(out, "&quot;", "\"");
    ReplaceAll(out, "&apos;", "'");
    ReplaceAll(out, "&amp;", "&");  // last, so that "&amp;lt;" reads as "&lt;"
    return out;
}

int ParseAttributeInt(std::string_view value) {
    size_t pos = 0;
    while (pos < value.size() && (value[pos] == ' ' || value[pos] == '\t')) ++pos;
    bool negative = false;
    if (pos < value.size() && (value[pos] == '+' || value[pos] == '-'))
        negative = value[pos++] == '-';
    // Unsigned arithmetic wraps on overflow, as the host's 32-bit integers do.
    uint32_t magnitude = 0;
    constexpr uint32_t kBase = 10;
    for (; pos < value.size() && value[pos] >= '0' && value[pos] <= '9'; ++pos)
        magnitude = magnitude * kBase + static_cast<uint32_t>(value[pos] - '0');
    return static_cast<int32_t>(negative ? 0u - magnitude : magnitude);
}

}  // namespace text
