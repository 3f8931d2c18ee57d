#include "state_format.h"

#include <cstdio>
#include <vector>

#include "cp1251.h"
#include "decoder.h"

namespace emu {
namespace {

std::string Field(const char* name, const std::string& jsonValue) {
    return std::string("\"") + name + "\": " + jsonValue;
}

template <typename Number>
std::string Field(const char* name, Number value) {
    return Field(name, std::to_string(value));
}

std::string Join(const std::vector<std::string>& items, const std::string& separator) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) out += (i ? separator : "") + items[i];
    return out;
}

std::string Object(const std::vector<std::string>& fields) {
    return "{" + Join(fields, ", ") + "}";
}

std::string Array(const std::vector<std::string>& items, const std::string& indent) {
    if (items.empty()) return "[]";
    return "[\n" + indent + "  " + Join(items, ",\n" + indent + "  ") + "\n" + indent + "]";
}

std::string HexBytes(const std::string& bytes) {
    std::string out;
    char buf[4];
    for (char c : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", static_cast<uint8_t>(c));
        out += buf;
    }
    return out;
}

std::string GoodJson(const Good& g) {
    return Object(
        {Field("plu", g.plu), Field("code", g.code), Field("name", JsonString(g.nameUtf8)),
         Field("nameHex", JsonString(HexBytes(g.nameCp1251))), Field("price", g.price),
         Field("priceText", JsonString(FormatPrice(g.price))), Field("shelfLife", g.shelfLife),
         Field("labelNumber", g.labelNumber), Field("labelExtra", g.labelExtra),
         Field("department", g.department), Field("barcodeFormat", g.barcodeFormat),
         Field("weightMeasure", g.weightMeasure),
         Field("unit", JsonString(WeightUnitName(g.weightMeasure))), Field("extra1", g.extra1),
         Field("extra2", g.extra2), Field("extra3", g.extra3), Field("extra4", g.extra4)});
}

std::string ClockJson(const Clock& c) {
    if (!c.set) return "null";
    return Object({Field("year", c.year), Field("month", c.month), Field("day", c.day),
                   Field("hour", c.hour), Field("minute", c.minute), Field("second", c.second)});
}

std::string MessagesJson(const State& state) {
    std::vector<std::string> items;
    for (const auto& [number, lines] : state.messages) {
        std::vector<std::string> quoted;
        for (const std::string& line : lines) quoted.push_back(JsonString(line));
        items.push_back(
            Object({Field("number", number), Field("lines", "[" + Join(quoted, ", ") + "]")}));
    }
    return Array(items, "  ");
}

// Only the keys that hold a code: an unset key is 0 in the scales.
std::string HotKeysJson(const State& state) {
    std::vector<std::string> items;
    for (size_t i = 0; i < state.hotKeys.size(); ++i) {
        if (state.hotKeys[i] != 0)
            items.push_back(Object({Field("key", i + 1), Field("code", state.hotKeys[i])}));
    }
    return Array(items, "  ");
}

}  // namespace

std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        const auto u = static_cast<uint8_t>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string FormatStateJson(const State& state) {
    std::vector<std::string> goods;
    for (const auto& entry : state.goods) goods.push_back(GoodJson(entry.second));
    return "{\n  " +
           Join({Field("framesReceived", state.framesReceived),
                 Field("framesWithWrongFixedBytes", state.framesWithWrongFixedBytes),
                 Field("framesAtWrongLineSetting", state.framesAtWrongLineSetting),
                 Field("clock", ClockJson(state.clock)), Field("goods", Array(goods, "  ")),
                 Field("messages", MessagesJson(state)), Field("hotKeys", HotKeysJson(state))},
                ",\n  ") +
           "\n}\n";
}

std::string FormatGoodsTable(const State& state) {
    if (state.goods.empty()) return "(no goods)\n";
    std::vector<std::vector<std::string>> rows{
        {"PLU", "Code", "Name", "Price", "Shelf life", "Label", "Dept", "Barcode", "Unit"}};
    for (const auto& [plu, g] : state.goods) {
        rows.push_back({std::to_string(plu), std::to_string(g.code), g.nameUtf8,
                        FormatPrice(g.price), std::to_string(g.shelfLife),
                        std::to_string(g.labelNumber), std::to_string(g.department),
                        std::to_string(g.barcodeFormat), WeightUnitName(g.weightMeasure)});
    }
    // Widths in characters, not bytes: names are Cyrillic UTF-8.
    std::vector<size_t> widths(rows[0].size(), 0);
    for (const auto& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Utf8Length(row[c]));
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            line += (c ? "  " : "") + row[c];
            if (c + 1 < row.size()) line += std::string(widths[c] - Utf8Length(row[c]), ' ');
        }
        out += line + "\n";
    }
    return out;
}

}  // namespace emu
