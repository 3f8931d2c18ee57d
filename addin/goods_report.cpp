#include "addin/goods_report.h"

#include "scales/error_table.h"
#include "scales/frames.h"
#include "text/codepage.h"

namespace addin {
namespace {

constexpr int32_t kHundredthsPerUnit = 100;

std::u16string Number(int64_t value) {
    return text::Utf8ToUtf16(std::to_string(value));
}

std::u16string Quoted(const std::u16string& text) {
    return u"\"" + text + u"\"";
}

std::u16string Written(const char16_t* attribute, const std::optional<std::u16string>& text) {
    return text ? attribute + (u"=" + Quoted(*text)) : u"без " + std::u16string(attribute);
}

// Where a fault's element was opened: " (строка 3, столбец 1)".
std::u16string OpenedAt(const XmlFault& fault) {
    return u" (строка " + Number(fault.openLine) + u", столбец " + Number(fault.openColumn) + u")";
}

std::u16string Utf16(const std::string& utf8) {
    return text::Utf8ToUtf16(utf8);
}

std::u16string FaultReason(const XmlFault& f) {
    using Kind = XmlFault::Kind;
    const std::u16string name = Utf16(f.name), open = Utf16(f.openName);
    switch (f.kind) {
        case Kind::kUnclosedElement:
            return u"документ кончился, а элемент <" + open + u">" + OpenedAt(f) + u" не закрыт";
        case Kind::kMismatchedEndTag:
            if (f.openName.empty())
                return u"закрывающий тег </" + name + u"> без открытого элемента";
            return u"закрывающий тег </" + name + u"> не соответствует открытому элементу <" +
                   open + u">" + OpenedAt(f);
        case Kind::kUnquotedValue:
            return u"значение атрибута " + name + u" не заключено в кавычки";
        case Kind::kDuplicateAttribute:
            return u"атрибут " + name + u" повторяется в одном элементе";
        case Kind::kContentAfterRoot:
            if (f.name.empty()) return u"текст после конца корневого элемента";
            return u"элемент <" + name + u"> после конца корневого элемента";
        case Kind::kUnclosedMarkup:
            if (!f.name.empty() && f.name[0] == '<')
                return u"разметка " + Quoted(name) + u" не закрыта до конца документа";
            return u"тег <" + name + u" не закрыт знаком \">\"";
        case Kind::kNone:
            break;
    }
    return u"ошибок нет";
}

struct LabelSetting {
    int32_t code;
    const char16_t* name;
    int32_t scales::LabelSettings::*field;
};
constexpr LabelSetting kLabelSettings[] = {
    {scales::kErrLabelNumberRange, u"etiknum", &scales::LabelSettings::labelNumber},
    {scales::kErrDepartmentRange, u"etikdep", &scales::LabelSettings::department},
    {scales::kErrBarcodeFormatRange, u"etikbarcode", &scales::LabelSettings::barcodeFormat},
    {scales::kErrWeightUnitRange, u"etikodv", &scales::LabelSettings::weightMeasure},
};

}  // namespace

std::u16string AllowedNumberText(bool price, int32_t largest) {
    if (!price)
        return u"целое число от 0 до " + Number(largest) + u", тысячи можно отделять пробелом";
    std::u16string cents = Number(largest % kHundredthsPerUnit);
    if (cents.size() < 2) cents.insert(0, 1, u'0');
    return u"число от 0 до " + Number(largest / kHundredthsPerUnit) + u"," + cents +
           u", не больше двух знаков после запятой или точки, тысячи можно отделять пробелом";
}

std::u16string WarningText(GoodsWarning warning, const GoodPlace& earlier,
                           const std::u16string& text) {
    switch (warning) {
        case GoodsWarning::kNoPlu:
            return u"PLU не указан, товар будет записан под PLU 0";
        case GoodsWarning::kPluZero:
            return u"товар будет записан под PLU 0";
        case GoodsWarning::kNoPrice:
            return u"цена не указана, товар будет записан с ценой 0,00";
        case GoodsWarning::kRepeatedPlu:
            return u"этот PLU уже есть у товара № " + Number(earlier.position) + u" (строка " +
                   Number(earlier.line) + u"), на весах останется только последний из них";
        case GoodsWarning::kNameCut:
            return u"название не помещается в запись весов (" + Number(scales::kNameMax) +
                   u" знак windows-1251), на весы попадёт " + Quoted(text);
        case GoodsWarning::kNameLacksCharacters:
            return u"знаков " + Quoted(text) + u" нет в windows-1251, на весы они не попадут";
    }
    return {};
}

void LabelSettingOf(int32_t code, const scales::LabelSettings& labels, std::u16string& setting,
                    std::optional<std::u16string>& value) {
    for (const LabelSetting& label : kLabelSettings) {
        if (label.code != code) continue;
        setting = label.name;
        value = Number(labels.*label.field);
    }
}

std::u16string DescribeGood(const GoodPlace& good, int total) {
    std::u16string text = u"Товар № " + Number(good.position);
    if (total > 0) text += u" из " + Number(total);
    return text + u" (строка " + Number(good.line) + u", " + Written(u"PLU", good.plu) + u", " +
           Written(u"Name", good.name) + u")";
}

std::u16string DescribeProblem(const GoodsProblem& problem) {
    if (problem.good.position == 0)
        return u"Настройка " + Quoted(problem.attribute) + u" = " + problem.found.value_or(u"") +
               u".";
    std::u16string text = DescribeGood(problem.good) + u": ";
    // A warning about the PLU or the name needs no second copy of what the
    // good's own description shows; an error always names its attribute.
    const bool error = problem.code != scales::kOk;
    const bool shown = problem.attribute == u"PLU" || problem.attribute == u"Name";
    if (problem.found && (error || !shown))
        text += problem.attribute + u"=" + Quoted(*problem.found) + u"; ";
    if (error) text += u"допускается: ";
    return text + problem.detail + u".";
}

std::u16string DescribeFault(const XmlFault& fault) {
    return u"Строка " + Number(fault.line) + u", столбец " + Number(fault.column) + u": " +
           FaultReason(fault) + u".";
}

std::u16string DescribeFailedGood(const GoodPlace& good, int total, int programmedBefore) {
    return DescribeGood(good, total) +
           u" не запрограммирован; до него запрограммировано товаров: " + Number(programmedBefore) +
           u".";
}

}  // namespace addin
