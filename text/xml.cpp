// ClsXml handles.  A handle points at one element of a shared, immutable tree;
// the tree lives as long as any handle refers to it.  Because nothing changes a
// tree once it is parsed, handles of one tree may read it from several threads
// at once; each handle's own lock serialises the calls made on that handle.
#include "text/xml.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <string_view>

#include "text/codepage.h"
#include "text/xml_tree.h"

using text::XmlNode;
using text::XmlTree;

struct ClsXml::Impl {
    std::mutex lock;
    std::shared_ptr<const XmlTree> tree;
    const XmlNode* node = nullptr;

    // The first attribute of this element with exactly this name, or null.
    const text::XmlAttribute* FindAttribute(const char16_t* name) const;
};

namespace {

// The tree of a handle that has loaded nothing: one element "unnamed".  Trees
// never change, so every such handle can share one.
const std::shared_ptr<const XmlTree>& UnnamedTree() {
    static const std::shared_ptr<const XmlTree> tree = std::make_shared<const XmlTree>();
    return tree;
}

std::string_view TrimmedName(std::string_view name) {
    constexpr std::string_view kBlanks = " \t\r\n";
    size_t first = name.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    size_t last = name.find_last_not_of(kBlanks);
    return name.substr(first, last - first + 1);
}

// Two words of `n` bytes' texts, the first and the last (overlapping when
// the text is shorter than two words), hold every byte of texts of one to two
// words' length.
template <typename Word>
bool SameEnds(const char* a, const char* b, size_t n) {
    Word a1, b1, a2, b2;
    std::memcpy(&a1, a, sizeof(Word));
    std::memcpy(&b1, b, sizeof(Word));
    std::memcpy(&a2, a + n - sizeof(Word), sizeof(Word));
    std::memcpy(&b2, b + n - sizeof(Word), sizeof(Word));
    return a1 == b1 && a2 == b2;
}

// Attribute names are a few bytes long and a document of thousands of goods
// compares five of them per good: compared a word at a time in place, they
// cost less than a call to the library's comparison.
bool SameName(std::string_view a, const std::string& b) {
    const size_t n = a.size();
    if (n != b.size()) return false;
    if (n > 2 * sizeof(uint64_t)) return std::memcmp(a.data(), b.data(), n) == 0;
    if (n >= sizeof(uint64_t)) return SameEnds<uint64_t>(a.data(), b.data(), n);
    if (n >= sizeof(uint32_t)) return SameEnds<uint32_t>(a.data(), b.data(), n);
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// The same stored characters: an empty name has none to share.
bool SameStored(std::string_view a, std::string_view b) {
    return a.data() == b.data() && a.size() == b.size() && a.data() != nullptr;
}

}  // namespace

const text::XmlAttribute* ClsXml::Impl::FindAttribute(const char16_t* name) const {
    if (name == nullptr) return nullptr;
    std::string utf8 = text::Utf16ToUtf8(name);
    std::string_view key = TrimmedName(utf8);
    for (size_t i = 0; i < node->attributeCount; ++i)
        if (node->attributes[i].name == key) return &node->attributes[i];
    return nullptr;
}

ClsXml::ClsXml() : impl_(std::make_unique<Impl>()) {
    impl_->tree = UnnamedTree();
    impl_->node = impl_->tree->root;
}

ClsXml::~ClsXml() = default;

bool ClsXml::LoadXml(const XString& text) {
    try {
        std::string_view utf8 = text.utf8Text();
        if (utf8.empty()) return false;
        auto tree = std::make_shared<XmlTree>();
        text::ParseXmlDocument(utf8, *tree);
        std::lock_guard<std::mutex> guard(impl_->lock);
        impl_->node = tree->root;
        impl_->tree = std::move(tree);
        return true;
    } catch (const std::bad_alloc&) {
        return false;  // the handle keeps its previous tree
    }
}

void ClsXml::GetRoot2() {
    std::lock_guard<std::mutex> guard(impl_->lock);
    impl_->node = impl_->tree->root;
}

int ClsXml::ChildCount() {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return static_cast<int>(impl_->node->children.size());
}

std::unique_ptr<ClsXml> ClsXml::GetChild(int index) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const auto& children = impl_->node->children;
    if (index < 0 || static_cast<size_t>(index) >= children.size()) return nullptr;
    auto child = std::make_unique<ClsXml>();
    child->impl_->tree = impl_->tree;
    child->impl_->node = children[static_cast<size_t>(index)];
    return child;
}

std::unique_ptr<ClsXml> ClsXml::Share() {
    std::lock_guard<std::mutex> guard(impl_->lock);
    auto shared = std::make_unique<ClsXml>();
    shared->impl_->tree = impl_->tree;
    shared->impl_->node = impl_->node;
    return shared;
}

bool ClsXml::GetAttrValue(const char16_t* name, XString& value) {
    value.clear();
    std::lock_guard<std::mutex> guard(impl_->lock);
    const text::XmlAttribute* attribute = impl_->FindAttribute(name);
    if (attribute == nullptr) return false;
    value.setFromUtf8(std::string(attribute->value).c_str());
    return true;
}

int ClsXml::GetAttrValueInt(const char16_t* name) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const text::XmlAttribute* attribute = impl_->FindAttribute(name);
    return attribute == nullptr ? 0 : text::ParseAttributeInt(attribute->value);
}

int ClsXml::Line() {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return impl_->node->line;
}

XmlFault ClsXml::Fault() {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return impl_->tree->fault;
}

void ClsXml::VisitChildren(const std::vector<std::string>& names, const ChildVisitor& visit) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    const size_t count = names.size();
    std::vector<const std::string_view*> values(count);
    // The stored name last found for each of `names`: elements of one
    // document share their stored names, so the next element's is known by
    // where it lies, without comparing characters.
    std::vector<std::string_view> known(count);
    for (const XmlNode* child : impl_->node->children) {
        std::fill(values.begin(), values.end(), nullptr);
        // One pass over the element's attributes.  Elements of one document
        // tend to write their attributes in one order, so each is first
        // tried against the name after the last one found.
        size_t next = 0;
        for (size_t i = 0; i < child->attributeCount; ++i) {
            const text::XmlAttribute& attribute = child->attributes[i];
            size_t k = next;
            for (size_t tried = 0; tried < count; ++tried, ++k) {
                if (k == count) k = 0;
                if (values[k] != nullptr) continue;
                if (!SameStored(attribute.name, known[k])) {
                    if (!SameName(attribute.name, names[k])) continue;
                    known[k] = attribute.name;
                }
                values[k] = &attribute.value;
                next = k + 1;
                break;
            }
        }
        if (!visit(child->line, values.data())) return;
    }
}
