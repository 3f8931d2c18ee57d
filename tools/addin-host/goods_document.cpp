#include "tools/addin-host/goods_document.h"

#include "text/xml.h"
#include "tools/addin-host/host_text.h"

namespace host {

namespace {
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
constexpr const char16_t* kGoodAttributes[] = {u"PLU", u"Code", u"Name", u"Price", u"ShelfLife"};

GoodPiece PieceOf(ClsXml& good) {
    GoodPiece piece;
    std::u16string attributes;
    for (const char16_t* name : kGoodAttributes) {
        XString value;
        if (!good.GetAttrValue(name, value)) continue;
        std::u16string text = value.toU16();
        attributes += u' ' + std::u16string(name) + u"=\"" + EscapeAttribute(text) + u'"';
        if (std::u16string(name) == u"PLU") piece.plu = Utf16ToUtf8(text);
        if (std::u16string(name) == u"Name") piece.name = Utf16ToUtf8(text);
    }
    piece.document = u"<Goods><Good" + attributes + u"/></Goods>";
    return piece;
}
}  // namespace

std::u16string DocumentText(const std::string& fileBytes) {
    std::string_view bytes(fileBytes);
    if (bytes.substr(0, 3) == kUtf8Bom) bytes.remove_prefix(3);
    return Utf8ToUtf16(bytes);
}

bool SplitGoods(const std::u16string& document, std::vector<GoodPiece>& pieces) {
    pieces.clear();
    XString text(document.c_str());
    ClsXml root;
    if (!root.LoadXml(text)) return false;
    root.GetRoot2();
    int count = root.ChildCount();
    for (int i = 0; i < count; ++i) {
        std::unique_ptr<ClsXml> good = root.GetChild(i);
        if (good) pieces.push_back(PieceOf(*good));
    }
    return true;
}

std::u16string EscapeAttribute(const std::u16string& value) {
    std::u16string out;
    for (char16_t c : value) {
        switch (c) {
            case u'&':
                out += u"&amp;";
                break;
            case u'<':
                out += u"&lt;";
                break;
            case u'>':
                out += u"&gt;";
                break;
            case u'"':
                out += u"&quot;";
                break;
            case u'\t':
                out += u"&#x9;";
                break;
            case u'\n':
                out += u"&#xA;";
                break;
            case u'\r':
                out += u"&#xD;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace host
