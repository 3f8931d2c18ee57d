// A small reader of 1C's built-in language, enough to hold an example module
// to the add-in: the tokens outside comments, the add-in object it creates,
// the calls on that object with their argument counts, and whether its blocks
// balance.  Keywords are taken as the house writes them (Russian, in their
// usual capitalisation).
#pragma once

#include <string>
#include <vector>

namespace bsl {

struct Token {
    enum Kind { kWord, kString, kPunct } kind;
    std::string text;  // a string literal's value without its quotes
    int line;
};

// Comments ("//" to the end of the line) are dropped; "" inside a string
// literal is one quote.  "#Область" and "&НаСервере" are single words.
std::vector<Token> Tokenize(const std::string& source);

struct Call {
    std::string method;
    int arguments;
    int line;
};

struct AddInObject {
    std::string variable;   // "Весы" in: Весы = Новый("AddIn.TaviZav.Имя");
    std::string className;  // the part after the second dot: "Имя"
};

// The first `X = Новый("AddIn.<name>.<class>")` of the module; empty when none.
AddInObject FindAddInObject(const std::vector<Token>& tokens);

// Every `<variable>.<Method>(...)` with the number of its arguments.
std::vector<Call> CallsOn(const std::vector<Token>& tokens, const std::string& variable);

// What is wrong with the block structure (Процедура/КонецПроцедуры,
// Функция/КонецФункции, Если/КонецЕсли, Для|Пока ... Цикл/КонецЦикла,
// Попытка/Исключение/КонецПопытки, #Область/#КонецОбласти), one line per
// fault; empty when every block closes in order.
std::vector<std::string> BlockFaults(const std::vector<Token>& tokens);

}  // namespace bsl
