#include "tests/docs/module_reader.h"

#include <map>

namespace bsl {
namespace {

// Letters of either alphabet (UTF-8 bytes from 0x80 up), digits, underscore.
bool IsWordByte(unsigned char c) {
    return c >= 0x80 || c == '_' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
           (c >= 'A' && c <= 'Z');
}

// From an opening quote to the closing one; "" stands for one quote.
size_t ReadString(const std::string& source, size_t at, std::string& value) {
    for (++at; at < source.size(); ++at) {
        if (source[at] != '"') {
            value += source[at];
        } else if (at + 1 < source.size() && source[at + 1] == '"') {
            value += '"';
            ++at;
        } else {
            return at + 1;
        }
    }
    return at;
}

}  // namespace

std::vector<Token> Tokenize(const std::string& source) {
    std::vector<Token> tokens;
    int line = 1;
    size_t at = 0;
    while (at < source.size()) {
        const unsigned char c = static_cast<unsigned char>(source[at]);
        if (c == '\n') ++line;
        if (source.compare(at, 2, "//") == 0) {
            at = source.find('\n', at);
            if (at == std::string::npos) break;
        } else if (c == '"') {
            Token token{Token::kString, "", line};
            at = ReadString(source, at, token.text);
            tokens.push_back(token);
        } else if (IsWordByte(c) || c == '#' || c == '&') {
            size_t end = at + 1;
            while (end < source.size() && IsWordByte(static_cast<unsigned char>(source[end]))) {
                ++end;
            }
            tokens.push_back({Token::kWord, source.substr(at, end - at), line});
            at = end;
        } else {
            if (c > ' ') tokens.push_back({Token::kPunct, std::string(1, source[at]), line});
            ++at;
        }
    }
    return tokens;
}

AddInObject FindAddInObject(const std::vector<Token>& tokens) {
    const std::string prefix = "AddIn.";
    for (size_t i = 0; i + 4 < tokens.size(); ++i) {
        const bool shape = tokens[i].kind == Token::kWord && tokens[i + 1].text == "=" &&
                           tokens[i + 2].text == "Новый" && tokens[i + 3].text == "(" &&
                           tokens[i + 4].kind == Token::kString;
        const std::string& name = tokens[i + 4].text;
        if (!shape || name.compare(0, prefix.size(), prefix) != 0) continue;
        const size_t dot = name.find('.', prefix.size());
        if (dot == std::string::npos) continue;
        return {tokens[i].text, name.substr(dot + 1)};
    }
    return {};
}

std::vector<Call> CallsOn(const std::vector<Token>& tokens, const std::string& variable) {
    std::vector<Call> calls;
    for (size_t i = 0; i + 3 < tokens.size(); ++i) {
        const bool call = tokens[i].kind == Token::kWord && tokens[i].text == variable &&
                          tokens[i + 1].text == "." && tokens[i + 2].kind == Token::kWord &&
                          tokens[i + 3].text == "(";
        if (!call || (i > 0 && tokens[i - 1].text == ".")) continue;
        int depth = 0;
        int commas = 0;
        const bool empty = i + 4 < tokens.size() && tokens[i + 4].kind == Token::kPunct &&
                           tokens[i + 4].text == ")";
        for (size_t j = i + 3; j < tokens.size(); ++j) {
            const std::string& t = tokens[j].text;
            if (tokens[j].kind == Token::kString) continue;
            if (t == "(" || t == "[") ++depth;
            if (t == ")" || t == "]") --depth;
            if (t == "," && depth == 1) ++commas;
            if (depth == 0) break;
        }
        calls.push_back({tokens[i + 2].text, empty ? 0 : commas + 1, tokens[i].line});
    }
    return calls;
}

namespace {

struct OpenBlock {
    std::string opener;
    int line;
    bool middleSeen;  // Цикл after Для/Пока, Исключение after Попытка
};

// What closes each opener, and which openers need their middle word first.
const std::map<std::string, std::string> kCloser = {
    {"Процедура", "КонецПроцедуры"}, {"Функция", "КонецФункции"}, {"Если", "КонецЕсли"},
    {"Для", "КонецЦикла"},           {"Пока", "КонецЦикла"},      {"Попытка", "КонецПопытки"},
    {"#Область", "#КонецОбласти"},
};

bool IsLoop(const std::string& opener) {
    return opener == "Для" || opener == "Пока";
}

std::string Where(const Token& token) {
    return "line " + std::to_string(token.line) + ": " + token.text;
}

// One word's effect on the stack of open blocks; a fault text, or empty.
std::string Apply(std::vector<OpenBlock>& open, const Token& word) {
    const std::string& w = word.text;
    if (kCloser.count(w) != 0) {
        open.push_back({w, word.line, false});
        return "";
    }
    const std::string top = open.empty() ? "" : open.back().opener;
    if (w == "Иначе" || w == "ИначеЕсли") return top == "Если" ? "" : Where(word) + " outside Если";
    if (w == "Цикл" || w == "Исключение") {
        const bool fits = w == "Цикл" ? IsLoop(top) : top == "Попытка";
        if (!fits || open.back().middleSeen) return Where(word) + " out of place";
        open.back().middleSeen = true;
        return "";
    }
    for (const auto& [opener, closer] : kCloser) {
        if (w != closer) continue;
        if (top.empty() || kCloser.at(top) != w) return Where(word) + " closes " + top;
        const bool needsMiddle = IsLoop(top) || top == "Попытка";
        if (needsMiddle && !open.back().middleSeen) return Where(word) + " without its middle";
        open.pop_back();
        return "";
    }
    return "";
}

}  // namespace

std::vector<std::string> BlockFaults(const std::vector<Token>& tokens) {
    std::vector<std::string> faults;
    std::vector<OpenBlock> open;
    for (size_t i = 0; i < tokens.size(); ++i) {
        // A word after a dot is a property or method, never a keyword.
        if (tokens[i].kind != Token::kWord || (i > 0 && tokens[i - 1].text == ".")) continue;
        const std::string fault = Apply(open, tokens[i]);
        if (!fault.empty()) faults.push_back(fault);
    }
    for (const OpenBlock& block : open) {
        faults.push_back("line " + std::to_string(block.line) + ": " + block.opener +
                         " never closed");
    }
    return faults;
}

}  // namespace bsl
