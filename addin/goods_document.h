// The goods document UploadGoods receives: each child element of the root is
// one good, described by its attributes "PLU", "Code", "Name", "Price" and
// "ShelfLife", and becomes the goods record the scales take, with the label
// fields of the scales it goes to.
//
// The whole document is checked before anything of it is sent: a good whose
// numbers are not written as numbers (goods_numbers.h), or that the goods
// record cannot hold (scales/field_ranges.h), stops the upload before the
// first frame, so the scales never hold half a new table.  A missing or
// empty attribute is not an error: it reads as 0 or an empty name, as
// configurations have always relied on.  The same check serves addin-host's
// `check`, which also wants the warnings: goods that go through but are
// probably not what the document's author meant.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scales/goods_fields.h"
#include "text/xml.h"

namespace addin {

// What the document gives of one good; the label fields come from the scales
// it goes to (scales::LabelledGood).
struct GoodsItem {
    std::string_view name;  // UTF-8, in the document's tree (CheckedGoods::document)
    int32_t code = 0;
    int32_t plu = 0;
    int32_t price = 0;  // hundredths
    int32_t shelfLife = 0;
};

// Where a good stands in the document and how it names itself there: what a
// person needs to find it.
struct GoodPlace {
    int position = 0;                   // among the root's child elements, from 1; 0: the document
    int line = 0;                       // of its start tag
    std::optional<std::u16string> plu;  // as written; none when absent
    std::optional<std::u16string> name;
};

// One thing found wrong, or doubtful, in the document.
struct GoodsProblem {
    int32_t code = 0;  // the error's result code; 0 for a warning
    GoodPlace good;
    std::u16string attribute;             // "Price"; for a label setting its name ("etikdep")
    std::optional<std::u16string> found;  // the attribute's text as written
    std::u16string detail;                // an error: what is allowed; a warning: what will happen
};

enum class CheckScope {
    kFirstError,  // UploadGoods: stop at the first error, no warnings
    kEverything,  // every error and every warning, for a person to read
};

struct CheckedGoods {
    std::vector<GoodsItem> goods;  // every good in document order, when no error
    std::vector<GoodsProblem> errors;
    std::vector<GoodsProblem> warnings;
    // The goods' names point into the document's tree, which this handle
    // keeps alive.
    std::shared_ptr<ClsXml> document;
};

// Checks and converts every child element of `root` for scales with these
// label settings; a label setting the record cannot hold is an error of the
// document as a whole (position 0).
CheckedGoods CheckGoods(ClsXml& root, const scales::LabelSettings& labels, CheckScope scope);

// The place of the child element at `index` (from 0).
GoodPlace PlaceOf(ClsXml& root, int index);

}  // namespace addin
