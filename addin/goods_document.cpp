#include "addin/goods_document.h"

#include <unordered_map>

#include "addin/goods_numbers.h"
#include "addin/goods_report.h"
#include "scales/error_table.h"
#include "scales/field_ranges.h"
#include "scales/frames.h"
#include "text/codepage.h"

namespace addin {
namespace {

enum Attribute { kPlu, kCode, kName, kPrice, kShelfLife, kAttributeCount };
constexpr const char16_t* kAttributeNames[kAttributeCount] = {u"PLU", u"Code", u"Name", u"Price",
                                                              u"ShelfLife"};

const std::vector<std::string>& AttributeNamesUtf8() {
    static const std::vector<std::string> names = {"PLU", "Code", "Name", "Price", "ShelfLife"};
    return names;
}

// What a number beyond the 32-bit range becomes in its field: a value no
// goods field holds, so the range rule refuses it rather than a wrapped
// number reaching the scales.
constexpr int32_t kBeyondRange = INT32_MIN;

// The numbers of a good, each bound for one field of the record, in the
// order of kNumbers.
enum Number { kPluNumber, kCodeNumber, kPriceNumber, kShelfLifeNumber };
struct NumberAttribute {
    Attribute attribute;
    int32_t scales::GoodsFields::*field;
    int32_t malformedCode;
    int32_t largest;  // the record's limit (scales/field_ranges.h); every field starts at 0
};
constexpr NumberAttribute kNumbers[] = {
    {kPlu, &scales::GoodsFields::plu, scales::kErrNumberFormat, scales::kLargestPlu},
    {kCode, &scales::GoodsFields::code, scales::kErrNumberFormat, scales::kLargest6Digits},
    {kPrice, &scales::GoodsFields::price, scales::kErrPriceFormat, scales::kLargest8Digits},
    {kShelfLife, &scales::GoodsFields::shelfLife, scales::kErrNumberFormat, scales::kLargest16Bit},
};
constexpr size_t kNumberCount = sizeof(kNumbers) / sizeof(kNumbers[0]);
static_assert(kNumbers[kPluNumber].attribute == kPlu && kNumbers[kCodeNumber].attribute == kCode &&
              kNumbers[kPriceNumber].attribute == kPrice &&
              kNumbers[kShelfLifeNumber].attribute == kShelfLife);

int32_t FieldValue(int64_t value) {
    return value < INT32_MIN || value > INT32_MAX ? kBeyondRange : static_cast<int32_t>(value);
}

// The attributes of one good as written: null where absent.
using Written = const std::string_view* const*;

std::optional<std::u16string> Utf16Of(const std::string_view* text) {
    if (text == nullptr) return std::nullopt;
    return text::Utf8ToUtf16(*text);
}

GoodPlace PlaceOfWritten(int position, int line, Written values) {
    return GoodPlace{position, line, Utf16Of(values[kPlu]), Utf16Of(values[kName])};
}

// Reads one number attribute; false when it is malformed.  A missing
// attribute reads as 0.
bool ReadNumber(const NumberAttribute& number, Written values, int32_t& field) {
    const std::string_view* text = values[number.attribute];
    int64_t value = 0;
    const bool wellFormed =
        text == nullptr ||
        (number.attribute == kPrice ? ReadPrice(*text, value) : ReadWholeNumber(*text, value));
    field = FieldValue(value);
    return wellFormed;
}

bool Fits(const NumberAttribute& number, int32_t value) {
    return value >= 0 && value <= number.largest;
}

// Walks the goods, converting each and noting what is wrong.  The common
// case, a good that is right, costs four number readings, each checked
// against its field's limit; the texts are made only for a good that has
// something to say.
class GoodsChecker {
  public:
    GoodsChecker(const scales::LabelSettings& labels, CheckScope scope)
        : labels_(labels), scope_(scope) {}

    CheckedGoods Run(ClsXml& root) {
        result_.document = root.Share();
        CheckLabels();
        if (Done()) return std::move(result_);
        if (scope_ == CheckScope::kFirstError)
            result_.goods.reserve(static_cast<size_t>(root.ChildCount()));
        root.VisitChildren(AttributeNamesUtf8(), [this](int line, Written values) {
            CheckGood(line, values);
            return !Done();
        });
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
        labelsFit_ = false;
        GoodsProblem problem;
        problem.code = code;
        LabelSettingOf(code, labels_, problem.attribute, problem.found);
        result_.errors.push_back(std::move(problem));
    }

    // The label settings are the same for every good and checked once, so
    // a good's record fits when its own numbers do.
    void CheckGood(int line, Written values) {
        ++position_;
        int32_t numbers[kNumberCount];
        bool fits = labelsFit_;
        for (size_t i = 0; i < kNumberCount; ++i)
            fits &= ReadNumber(kNumbers[i], values, numbers[i]) && Fits(kNumbers[i], numbers[i]);
        if (!fits) NoteErrors(line, values);
        const std::string_view name =
            values[kName] != nullptr ? *values[kName] : std::string_view();
        if (scope_ == CheckScope::kEverything) Warn(line, values, numbers[kPluNumber], name);
        if (!fits) return;
        // Filled in place: the goods of a large document are the check's
        // main cost, and a copy of a whole item would double the stores.
        GoodsItem& good = result_.goods.emplace_back();
        good.name = name;
        good.plu = numbers[kPluNumber];
        good.code = numbers[kCodeNumber];
        good.price = numbers[kPriceNumber];
        good.shelfLife = numbers[kShelfLifeNumber];
    }

    // Each number attribute on its own, so that every field's own code is
    // found whatever the others hold.
    void NoteErrors(int line, Written values) {
        for (const NumberAttribute& number : kNumbers) {
            scales::GoodsFields probe;
            int32_t code = number.malformedCode;
            if (ReadNumber(number, values, probe.*number.field))
                code = scales::CheckGoodsFields(probe);
            if (code == scales::kOk) continue;
            Note(result_.errors, code, line, values, number.attribute,
                 AllowedNumberText(number.attribute == kPrice, number.largest));
            if (Done()) return;
        }
    }

    void Warn(int line, Written values, int32_t plu, std::string_view name) {
        if (values[kPlu] == nullptr) {
            Note(result_.warnings, 0, line, values, kPlu, WarningText(GoodsWarning::kNoPlu));
        } else if (plu == 0) {
            Note(result_.warnings, 0, line, values, kPlu, WarningText(GoodsWarning::kPluZero));
        }
        if (values[kPrice] == nullptr)
            Note(result_.warnings, 0, line, values, kPrice, WarningText(GoodsWarning::kNoPrice));
        WarnRepeatedPlu(line, values, plu);
        WarnName(line, values, text::Utf8ToUtf16(name));
    }

    // The scales keep one good per PLU: a later good of the same PLU takes
    // the earlier one's place.
    void WarnRepeatedPlu(int line, Written values, int32_t plu) {
        if (values[kPlu] == nullptr || plu <= 0) return;
        const auto earlier =
            firstWithPlu_.emplace(plu, GoodPlace{position_, line, std::nullopt, std::nullopt});
        if (earlier.second) return;
        Note(result_.warnings, 0, line, values, kPlu,
             WarningText(GoodsWarning::kRepeatedPlu, earlier.first->second));
    }

    // The name goes to the scales in windows-1251, cut to what the goods
    // record and its continuation hold; characters that code page lacks are
    // dropped on the way.
    void WarnName(int line, Written values, const std::u16string& name) {
        const std::u16string lacking = CharactersLacking(name);
        if (!lacking.empty()) {
            Note(result_.warnings, 0, line, values, kName,
                 WarningText(GoodsWarning::kNameLacksCharacters, {}, lacking));
        }
        const std::string name1251 = text::Utf16ToWindows1251(name);
        if (name1251.size() > scales::kNameMax) {
            const std::u16string cut =
                text::Windows1251ToUtf16(name1251.substr(0, scales::kNameMax));
            Note(result_.warnings, 0, line, values, kName,
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

    void Note(std::vector<GoodsProblem>& list, int32_t code, int line, Written values, Attribute a,
              std::u16string detail) {
        GoodsProblem problem;
        problem.code = code;
        problem.good = PlaceOfWritten(position_, line, values);
        problem.attribute = kAttributeNames[a];
        problem.found = Utf16Of(values[a]);
        problem.detail = std::move(detail);
        list.push_back(std::move(problem));
    }

    const scales::LabelSettings labels_;
    const CheckScope scope_;
    bool labelsFit_ = true;
    int position_ = 0;
    CheckedGoods result_;
    std::unordered_map<int32_t, GoodPlace> firstWithPlu_;
};

}  // namespace

CheckedGoods CheckGoods(ClsXml& root, const scales::LabelSettings& labels, CheckScope scope) {
    return GoodsChecker(labels, scope).Run(root);
}

GoodPlace PlaceOf(ClsXml& root, int index) {
    GoodPlace place{index + 1, 0, std::nullopt, std::nullopt};
    int at = 0;
    root.VisitChildren(AttributeNamesUtf8(), [&](int line, Written values) {
        if (at++ < index) return true;
        place = PlaceOfWritten(index + 1, line, values);
        return false;
    });
    return place;
}

}  // namespace addin
