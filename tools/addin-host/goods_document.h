// Splitting a goods document into one-good documents, so that the upload
// can call UploadGoods once per good and show progress between the calls.
// Each piece carries the five attributes the add-in reads ("PLU", "Code",
// "Name", "Price", "ShelfLife") exactly as they were written, and only those
// that were present, so the add-in converts every good as it would have in
// the whole document.
#pragma once

#include <string>
#include <vector>

namespace host {

struct GoodPiece {
    std::u16string document;  // <Goods><Good .../></Goods>
    std::string plu;          // for messages; empty when absent
    std::string name;
};

// UTF-8 file bytes (a byte-order mark is skipped) as UTF-16 document text.
std::u16string DocumentText(const std::string& fileBytes);

// False when the document does not parse; `pieces` holds one entry per
// child element of the root, in document order.
bool SplitGoods(const std::u16string& document, std::vector<GoodPiece>& pieces);

// Text escaped for a double-quoted XML attribute value.
std::u16string EscapeAttribute(const std::u16string& value);

}  // namespace host
