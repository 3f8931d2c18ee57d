// The forgiving reader of the goods document.  It never rejects a text: what
// it cannot make sense of is skipped, an end tag closes whatever element is
// open, and elements still open at the end keep what was read into them.  The
// first thing a well-formed document would not hold is noted as the tree's
// fault, with its line and column, so that a caller can refuse the text.  It
// walks the text once with an explicit "current element" pointer, so nesting
// depth never reaches the stack.  The goods are all in elements and their
// attributes: text between tags, CDATA, comments, processing instructions and
// the DOCTYPE are stepped over without being kept.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <type_traits>

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
void CleanAttributeName(std::string_view raw, std::string& name) {
    name.clear();
    for (char c : raw)
        if (IsNameChar(static_cast<unsigned char>(c))) name.push_back(c);
    bool badStart =
        !name.empty() && (name[0] == '-' || name[0] == '.' || (name[0] >= '0' && name[0] <= '9'));
    if (badStart) name.insert(name.begin(), 'A');
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

// Line and column, from 1, of a byte offset: columns count characters, so
// every byte but a UTF-8 continuation byte starts one.  Asked only when a
// fault is noted, so the goods themselves never pay for it.
void LocateOffset(std::string_view text, size_t offset, int& line, int& column) {
    constexpr unsigned char kContinuationMask = 0xC0, kContinuation = 0x80;
    offset = std::min(offset, text.size());
    line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + offset, '\n'));
    size_t lineStart = text.rfind('\n', offset == 0 ? 0 : offset - 1);
    lineStart = lineStart == std::string_view::npos || offset == 0 ? 0 : lineStart + 1;
    column = 1;
    for (size_t i = lineStart; i < offset; ++i)
        if ((static_cast<unsigned char>(text[i]) & kContinuationMask) != kContinuation) ++column;
}

// Keeps the first fault of a text; later ones add nothing a reader could use.
class FaultNote {
  public:
    FaultNote(std::string_view text, XmlFault& fault) : text_(text), fault_(fault) {}

    bool Noted() const { return fault_.kind != XmlFault::Kind::kNone; }

    void Note(XmlFault::Kind kind, size_t offset, std::string_view name,
              const XmlNode* open = nullptr) {
        if (Noted()) return;
        fault_.kind = kind;
        LocateOffset(text_, offset, fault_.line, fault_.column);
        fault_.name = std::string(name);
        if (open == nullptr) return;
        fault_.openName = open->tag;
        LocateOffset(text_, open->offset, fault_.openLine, fault_.openColumn);
    }

  private:
    std::string_view text_;
    XmlFault& fault_;
};

enum class TagEnd { kOpen, kSelfClosed, kUnclosed };

// Gathers the attributes of one start tag, then keeps them and their
// characters in one block of the element's own.
class AttributeRun {
  public:
    void Clear() {
        pending_.clear();
        characters_.clear();
    }
    size_t Size() const { return pending_.size(); }

    // `shared` is a name stored before, or empty for `name` to be stored.
    void Add(std::string_view shared, std::string_view name, std::string_view value) {
        Pending added{shared, characters_.size(), 0, 0, 0};
        if (shared.empty()) {
            characters_.append(name);
            added.nameSize = name.size();
        }
        added.valueAt = characters_.size();
        added.valueSize = value.size();
        characters_.append(value);
        pending_.push_back(added);
    }

    void KeepIn(XmlNode& node) const {
        node.attributeCount = pending_.size();
        if (pending_.empty()) return;
        const size_t head = pending_.size() * sizeof(XmlAttribute);
        // new[] memory suits any type's alignment; the attributes need no
        // destructor when the block is freed.
        static_assert(std::is_trivially_destructible_v<XmlAttribute>);
        node.storage.reset(new char[head + characters_.size()]);
        char* characters = node.storage.get() + head;
        std::copy(characters_.begin(), characters_.end(), characters);
        auto* attributes = reinterpret_cast<XmlAttribute*>(node.storage.get());
        for (size_t i = 0; i < pending_.size(); ++i) {
            const Pending& p = pending_[i];
            const std::string_view name =
                p.shared.empty() ? std::string_view(characters + p.nameAt, p.nameSize) : p.shared;
            new (&attributes[i]) XmlAttribute{name, {characters + p.valueAt, p.valueSize}};
        }
        node.attributes = attributes;
    }

  private:
    struct Pending {
        std::string_view shared;
        size_t nameAt, nameSize, valueAt, valueSize;  // in characters_
    };
    std::vector<Pending> pending_;
    std::string characters_;
};

// Reads the attributes of a start tag from text[pos] up to and including its
// closing ">" or "/>", gathering them in a run.  Elements of one document
// tend to repeat their attribute names in one order, so a name the previous
// element had in the same place is not stored again.
class AttributeReader {
  public:
    AttributeReader(std::string_view text, size_t& pos, FaultNote& faults, const XmlNode* previous,
                    std::string& scratch)
        : text_(text), pos_(pos), faults_(faults), previous_(previous), name_(scratch) {}

    TagEnd ReadAll(AttributeRun& out) {
        while (true) {
            SkipBlanks();
            if (pos_ >= text_.size()) return TagEnd::kUnclosed;
            char c = text_[pos_];
            if (c == '>') {
                ++pos_;
                return TagEnd::kOpen;
            }
            if (c == '/') {
                ++pos_;
                if (pos_ < text_.size() && text_[pos_] == '>') {
                    ++pos_;
                    return TagEnd::kSelfClosed;
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

    void ReadOne(AttributeRun& out) {
        size_t start = pos_;
        while (pos_ < text_.size() && !EndsName(text_[pos_])) ++pos_;
        std::string_view raw = text_.substr(start, pos_ - start);
        SkipBlanks();
        std::string_view value;
        if (pos_ < text_.size() && text_[pos_] == '=') {
            ++pos_;
            SkipBlanks();
            value = ReadValue(raw);
        } else if (!raw.empty()) {
            faults_.Note(XmlFault::Kind::kUnquotedValue, pos_, raw);  // no value at all
        }
        if (raw.empty()) return;
        CleanAttributeName(raw, name_);
        const std::string_view shared = SharedName(out.Size());
        if (value.find('&') == std::string_view::npos)
            out.Add(shared, name_, value);
        else
            out.Add(shared, name_, DecodeAttributeEntities(value));
    }

    // The name as the element before stored it in the same place, if it is
    // the same.
    std::string_view SharedName(size_t place) const {
        if (previous_ != nullptr && place < previous_->attributeCount) {
            const std::string_view known = previous_->attributes[place].name;
            if (known == name_) return known;
        }
        return {};
    }

    std::string_view ReadValue(std::string_view name) {
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
        faults_.Note(XmlFault::Kind::kUnquotedValue, pos_, name);
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
    FaultNote& faults_;
    const XmlNode* previous_;  // the element read before, or null
    std::string& name_;
};

// The first attribute name of an element that occurs twice, if any.  Start
// tags of goods hold a handful of attributes; a hostile one with thousands is
// sorted.
std::optional<std::string_view> RepeatedName(const XmlNode& node) {
    constexpr size_t kPairwiseLimit = 16;
    const size_t count = node.attributeCount;
    const XmlAttribute* attributes = node.attributes;
    if (count <= kPairwiseLimit) {
        for (size_t i = 1; i < count; ++i)
            for (size_t j = 0; j < i; ++j)
                if (attributes[i].name == attributes[j].name) return attributes[i].name;
        return std::nullopt;
    }
    std::vector<std::string_view> names;
    for (size_t i = 0; i < count; ++i) names.push_back(attributes[i].name);
    std::sort(names.begin(), names.end());
    for (size_t i = 1; i < count; ++i)
        if (names[i] == names[i - 1]) return names[i];
    return std::nullopt;
}

class DocumentParser {
  public:
    DocumentParser(std::string_view text, XmlTree& tree)
        : text_(text), tree_(tree), current_(tree.root), faults_(text, tree.fault) {}

    void Run() {
        tree_.root->tag = "empty";  // until the first start tag names it
        pos_ = text_.find('<');
        while (pos_ < text_.size()) {
            ReadMarkup();
            size_t next = std::min(text_.size(), text_.find('<', pos_));
            if (root_ == RootState::kClosed) NoteTextAfterRoot(next);
            pos_ = next;  // text between tags
        }
        if (root_ == RootState::kOpen)
            faults_.Note(XmlFault::Kind::kUnclosedElement, text_.size(), current_->tag, current_);
    }

  private:
    // The root element: not yet read, open, or closed again.
    enum class RootState { kNone, kOpen, kClosed };

    bool At(std::string_view prefix) const {
        return text_.compare(pos_, prefix.size(), prefix) == 0;
    }

    // When the markup here opens with `open`, moves past the next `close` (to
    // the end of the text, a fault, when there is none).
    bool SkipBlock(std::string_view open, std::string_view close) {
        if (!At(open)) return false;
        size_t at = text_.find(close, pos_ + open.size());
        if (at == std::string_view::npos)
            faults_.Note(XmlFault::Kind::kUnclosedMarkup, pos_, open, OpenElement());
        pos_ = at == std::string_view::npos ? text_.size() : at + close.size();
        return true;
    }

    void ReadMarkup() {
        if (SkipBlock("<?", "?>") || SkipBlock("<!--", "-->")) return;
        if (At("<![CDATA[")) {
            if (root_ == RootState::kClosed)
                faults_.Note(XmlFault::Kind::kContentAfterRoot, pos_, "");
            SkipBlock("<![CDATA[", "]]>");
            return;
        }
        if (At("<!DOCTYPE")) return SkipDoctype();
        if (SkipBlock("<!", ">")) return;
        if (At("</")) return ReadEndTag();
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
        if (at >= text_.size()) faults_.Note(XmlFault::Kind::kUnclosedMarkup, pos_, "<!DOCTYPE");
        pos_ = std::min(text_.size(), at + 1);
    }

    // The element an end tag here would close, or null when none is open.
    const XmlNode* OpenElement() const { return root_ == RootState::kOpen ? current_ : nullptr; }

    void NoteTextAfterRoot(size_t next) {
        for (size_t at = pos_; at < next && !faults_.Noted(); ++at)
            if (!IsBlank(text_[at])) faults_.Note(XmlFault::Kind::kContentAfterRoot, at, "");
    }

    // The name is compared with the open element's, but whatever it says,
    // the end tag closes the element that is open: that is how the reader has
    // always shaped the tree.  The root stays current once everything is
    // closed.
    void ReadEndTag() {
        const size_t start = pos_;
        size_t nameEnd = pos_ + 2;
        while (nameEnd < text_.size() && !IsBlank(text_[nameEnd]) && text_[nameEnd] != '>')
            ++nameEnd;
        const std::string_view name = text_.substr(start + 2, nameEnd - start - 2);
        const XmlNode* open = OpenElement();
        if (open == nullptr || open->tag != name)
            faults_.Note(XmlFault::Kind::kMismatchedEndTag, start, name, open);
        SkipBlock("</", ">");
        if (current_->parent != nullptr)
            current_ = current_->parent;
        else if (root_ == RootState::kOpen)
            root_ = RootState::kClosed;
    }

    // Lines are counted as the parse goes, one stretch between start tags at
    // a time.
    int LineAt(size_t offset) {
        line_ += static_cast<int>(
            std::count(text_.begin() + lineCountedTo_, text_.begin() + offset, '\n'));
        lineCountedTo_ = offset;
        return line_;
    }

    void ReadStartTag() {
        const size_t start = pos_++;
        std::string name;
        for (; pos_ < text_.size(); ++pos_) {
            char c = text_[pos_];
            if (IsBlank(c) || c == '/' || c == '>') break;
            if (c != '<') name.push_back(c);
        }
        if (root_ == RootState::kClosed)
            faults_.Note(XmlFault::Kind::kContentAfterRoot, start, name);
        XmlNode* node = root_ != RootState::kNone ? tree_.NewNode(current_) : tree_.root;
        node->tag = std::move(name);
        node->offset = start;
        node->line = LineAt(start);
        attributes_.Clear();
        const TagEnd end =
            AttributeReader(text_, pos_, faults_, previous_, name_).ReadAll(attributes_);
        attributes_.KeepIn(*node);
        previous_ = node;
        if (end == TagEnd::kUnclosed)
            faults_.Note(XmlFault::Kind::kUnclosedMarkup, start, node->tag, OpenElement());
        if (!faults_.Noted()) {
            if (const auto repeated = RepeatedName(*node))
                faults_.Note(XmlFault::Kind::kDuplicateAttribute, start, *repeated);
        }
        const bool open = end == TagEnd::kOpen;
        if (node == tree_.root) {
            root_ = open ? RootState::kOpen : RootState::kClosed;
        } else if (open) {
            current_ = node;
        }
    }

    std::string_view text_;
    XmlTree& tree_;
    XmlNode* current_;
    FaultNote faults_;
    size_t pos_ = 0;
    RootState root_ = RootState::kNone;
    int line_ = 1;
    size_t lineCountedTo_ = 0;
    const XmlNode* previous_ = nullptr;  // the element read last
    std::string name_;                   // an attribute's name being cleaned
    AttributeRun attributes_;            // reused from tag to tag
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
