#include "addin/goods_document.h"

#include <array>
#include <memory>
#include <unordered_map>

#include "addin/goods_numbers.h"
#include "addin/goods_report.h"
#include "scales/error_table.h"
#include "scales/field_ranges.h"
#include "scales/frames.h"
#include "text/codepage.h"
#include "text/xstring.h"

namespace addin {
namespace {

enum Attribute { kPlu, kCode, kName, kPrice, kShelfLife, kAttributeCount };
constexpr const char16_t* kAttributeNames[kAttributeCount] = {u"PLU", u"Code", u"Name", u"Price",
                                                              u"ShelfLife"};

// What a number beyond the 32-bit range becomes in its field: a value no
// goods field holds, so the range rule refuses it rather than a wrapped
// number reaching the scales.
constexpr int32_t kBeyondRange = INT32_MIN;

// The numbers of a good, each bound for one field of the record.
struct NumberAttribute {
    Attribute attribute;
    int32_t scales::GoodsFields::*field;
    int32_t malformedCode;
    int32_t largest;  // the record's limit, for the text of what is allowed
};
constexpr NumberAttribute kNumbers[] = {
    {kPlu, &scales::GoodsFields::plu, scales::kErrNumberFormat, scales::kLargestPlu},
    {kCode, &scales::GoodsFields::code, scales::kErrNumberFormat, scales::kLargest6Digits},
    {kPrice, &scales::GoodsFields::price, scales::kErrPriceFormat, scales::kLargest8Digits},
    {kShelfLife, &scales::GoodsFields::shelfLife, scales::kErrNumberFormat, scales::kLargest16Bit},
};

int32_t FieldValue(int64_t value) {
    return value < INT32_MIN || value > INT32_MAX ? kBeyondRange : static_cast<int32_t>(value);
}

// The five attributes of one good as written.  One of these serves every
// good in turn, so the check allocates no strings per good beyond the name.
struct WrittenGood {
    std::array<XString, kAttributeCount> text;
    std::array<bool, kAttributeCount> present{};

    void Read(ClsXml& element) {
        for (int a = 0; a < kAttributeCount; ++a)
            present[a] = element.GetAttrValue(kAttributeNames[a], text[a]);
    }
    std::optional<std::u16string> Written(Attribute a) const {
        if (!present[a]) return std::nullopt;
        return text[a].toU16();
    }
};

// Walks the goods, converting each and noting what is wrong.
class GoodsChecker {
  public:
    GoodsChecker(const scales::LabelSettings& labels, CheckScope scope)
        : labels_(labels), scope_(scope) {}

    CheckedGoods Run(ClsXml& root) {
        CheckLabels();
        const int count = root.ChildCount();
        if (scope_ == CheckScope::kFirstError) result_.goods.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count && !Done(); ++i) {
            std::unique_ptr<ClsXml> element = root.GetChild(i);
            if (element) CheckGood(*element, i + 1);
        }
        if (!result_.errors.empty()) result_.goods.clear();
        return std::move(result_);
    }

  private:
    bool Done() const { return scope_ == CheckScope::kFirstError && !result_.errors.empty(); }

    // The label settings go into every record: one the record cannot hold is
    // the scales' settings' fault, not any good's.
    void CheckLabels() {
        const int32_t code = scales::CheckGoodsFields(scales::LabelledGood(labels_, 0, 0, 0, 0));
        if (code == scales::kOk) return;
        GoodsProblem problem;
        problem.code = code;
        LabelSettingOf(code, labels_, problem.attribute, problem.found);
        result_.errors.push_back(std::move(problem));
    }

    void CheckGood(ClsXml& element, int position) {
        written_.Read(element);
        const size_t errorsBefore = result_.errors.size();
        GoodsItem good;
        good.fields = scales::LabelledGood(labels_, 0, 0, 0, 0);
        for (const NumberAttribute& number : kNumbers) {
            good.fields.*number.field = ReadNumber(number, element, position);
            if (Done()) return;
        }
        if (written_.present[kName]) good.name = written_.text[kName].toU16();
        if (scope_ == CheckScope::kEverything) Warn(element, position, good);
        if (result_.errors.size() == errorsBefore) result_.goods.push_back(std::move(good));
    }

    int32_t ReadNumber(const NumberAttribute& number, ClsXml& element, int position) {
        const Attribute a = number.attribute;
        if (!written_.present[a]) return 0;
        int64_t value = 0;
        const std::string_view text = written_.text[a].utf8Text();
        const bool wellFormed = a == kPrice ? ReadPrice(text, value) : ReadWholeNumber(text, value);
        if (!wellFormed) {
            Note(result_.errors, number.malformedCode, element, position, a,
                 AllowedNumberText(a == kPrice, number.largest));
            return 0;
        }
        // The range rules of the goods record, one field at a time, so that
        // each field's own code is found whatever the others hold.
        scales::GoodsFields probe;
        probe.*number.field = FieldValue(value);
        const int32_t code = scales::CheckGoodsFields(probe);
        if (code != scales::kOk) {
            Note(result_.errors, code, element, position, a,
                 AllowedNumberText(a == kPrice, number.largest));
        }
        return probe.*number.field;
    }

    void Warn(ClsXml& element, int position, const GoodsItem& good) {
        if (!written_.present[kPlu]) {
            Note(result_.warnings, 0, element, position, kPlu, WarningText(GoodsWarning::kNoPlu));
        } else if (good.fields.plu == 0) {
            Note(result_.warnings, 0, element, position, kPlu, WarningText(GoodsWarning::kPluZero));
        }
        if (!written_.present[kPrice])
            Note(result_.warnings, 0, element, position, kPrice,
                 WarningText(GoodsWarning::kNoPrice));
        WarnRepeatedPlu(element, position, good.fields.plu);
        WarnName(element, position, good.name);
    }

    // The scales keep one good per PLU: a later good of the same PLU takes
    // the earlier one's place.
    void WarnRepeatedPlu(ClsXml& element, int position, int32_t plu) {
        if (!written_.present[kPlu] || plu <= 0) return;
        const auto earlier = firstWithPlu_.emplace(
            plu, GoodPlace{position, element.Line(), std::nullopt, std::nullopt});
        if (earlier.second) return;
        Note(result_.warnings, 0, element, position, kPlu,
             WarningText(GoodsWarning::kRepeatedPlu, earlier.first->second));
    }

    // The name goes to the scales in windows-1251, cut to what the goods
    // record and its continuation hold; characters that code page lacks are
    // dropped on the way.
    void WarnName(ClsXml& element, int position, const std::u16string& name) {
        const std::string name1251 = text::Utf16ToWindows1251(name);
        const std::u16string lacking = CharactersLacking(name);
        if (!lacking.empty()) {
            Note(result_.warnings, 0, element, position, kName,
                 WarningText(GoodsWarning::kNameLacksCharacters, {}, lacking));
        }
        if (name1251.size() > scales::kNameMax) {
            const std::u16string cut =
                text::Windows1251ToUtf16(name1251.substr(0, scales::kNameMax));
            Note(result_.warnings, 0, element, position, kName,
                 WarningText(GoodsWarning::kNameCut, {}, cut));
        }
    }

    static std::u16string CharactersLacking(const std::u16string& name) {
        std::u16string lacking;
        for (size_t i = 0; i < name.size(); ++i) {
            const bool pair = i + 1 < name.size() && name[i] >= 0xD800 && name[i] < 0xDC00 &&
                              name[i + 1] >= 0xDC00 && name[i + 1] < 0xE000;
            const std::u16string one = name.substr(i, pair ? 2 : 1);
            if (text::Utf16ToWindows1251(one).empty() && lacking.find(one) == std::u16string::npos)
                lacking += one;
            if (pair) ++i;
        }
        return lacking;
    }

    void Note(std::vector<GoodsProblem>& list, int32_t code, ClsXml& element, int position,
              Attribute a, std::u16string detail) {
        GoodsProblem problem;
        problem.code = code;
        problem.good =
            GoodPlace{position, element.Line(), written_.Written(kPlu), written_.Written(kName)};
        problem.attribute = kAttributeNames[a];
        problem.found = written_.Written(a);
        problem.detail = std::move(detail);
        list.push_back(std::move(problem));
    }

    const scales::LabelSettings labels_;
    const CheckScope scope_;
    WrittenGood written_;
    CheckedGoods result_;
    std::unordered_map<int32_t, GoodPlace> firstWithPlu_;
};

}  // namespace

CheckedGoods CheckGoods(ClsXml& root, const scales::LabelSettings& labels, CheckScope scope) {
    return GoodsChecker(labels, scope).Run(root);
}

GoodPlace PlaceOf(ClsXml& root, int index) {
    std::unique_ptr<ClsXml> element = root.GetChild(index);
    if (!element) return GoodPlace{index + 1, 0, std::nullopt, std::nullopt};
    WrittenGood written;
    written.Read(*element);
    return GoodPlace{index + 1, element->Line(), written.Written(kPlu), written.Written(kName)};
}

}  // namespace addin
