#include "tools/addin-host/check_command.h"

#include <vector>

#include "addin/goods_document.h"
#include "addin/goods_report.h"
#include "scales/error_table.h"
#include "text/xml.h"
#include "tools/addin-host/commands.h"
#include "tools/addin-host/goods_document.h"
#include "tools/addin-host/host_os.h"
#include "tools/addin-host/host_text.h"
#include "tools/console/console.h"
#include "tools/console/language.h"

namespace host {

using console::Say;
namespace {

constexpr char16_t kWarningWord[] = u"Предупреждение:";

// One line of the report: where, then the add-in's own words.
void PrintLine(bool toError, const std::string& where, const std::u16string& text) {
    const std::string line = where + ": " + Utf16ToUtf8(text) + "\n";
    console::Write(toError ? console::Stream::kError : console::Stream::kOut, line);
}

std::string Where(const std::string& file, int line) {
    return line > 0 ? file + ":" + std::to_string(line) : file;
}

// The error as GetLastError would give it after UploadGoods.
std::u16string ErrorLine(const addin::GoodsProblem& problem) {
    return scales::ErrorText(problem.code, u"") + u" " + addin::DescribeProblem(problem);
}

// Errors and warnings together in document order (each list already is).
void PrintProblems(const addin::CheckedGoods& checked, const std::string& file, bool quiet) {
    size_t e = 0, w = 0;
    while (e < checked.errors.size() || (!quiet && w < checked.warnings.size())) {
        const bool error = e < checked.errors.size() &&
                           (quiet || w >= checked.warnings.size() ||
                            checked.errors[e].good.position <= checked.warnings[w].good.position);
        const addin::GoodsProblem& problem = error ? checked.errors[e++] : checked.warnings[w++];
        const std::u16string text =
            error ? ErrorLine(problem) : kWarningWord + (u" " + addin::DescribeProblem(problem));
        PrintLine(quiet, Where(file, problem.good.line), text);
    }
}

std::string Count(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

CheckVerdict CheckDocument(const std::u16string& document, const std::string& file,
                           const scales::LabelSettings& labels, bool quiet) {
    ClsXml root;
    if (!root.LoadXml(XString(document.c_str()))) return CheckVerdict::kUnreadable;
    root.GetRoot2();
    const XmlFault fault = root.Fault();
    if (fault.kind != XmlFault::Kind::kNone) {
        PrintLine(quiet, Where(file, fault.line) + ":" + std::to_string(fault.column),
                  scales::ErrorText(scales::kErrDocumentMarkup, u"") + u" " +
                      addin::DescribeFault(fault));
        return CheckVerdict::kErrors;
    }
    const addin::CheckedGoods checked =
        addin::CheckGoods(root, labels, addin::CheckScope::kEverything);
    PrintProblems(checked, file, quiet);
    if (!quiet) {
        const size_t goods = static_cast<size_t>(root.ChildCount());
        const std::string english = Count(goods, "good", "goods") + ", " +
                                    Count(checked.errors.size(), "error", "errors") + ", " +
                                    Count(checked.warnings.size(), "warning", "warnings");
        // Counts after the word, so that no Russian plural form is needed.
        const std::string russian = "товаров: " + std::to_string(goods) +
                                    ", ошибок: " + std::to_string(checked.errors.size()) +
                                    ", предупреждений: " + std::to_string(checked.warnings.size());
        console::Print("%s: %s\n", file.c_str(), Say(english.c_str(), russian.c_str()));
    }
    return checked.errors.empty() ? CheckVerdict::kClean : CheckVerdict::kErrors;
}

int RunCheckCommand(const CommandLine& line) {
    // --lib and --lang may be given as for every command; the check does not
    // need the library.
    const size_t common = (line.Has("--lib") ? 1 : 0) + (line.Has("--lang") ? 1 : 0);
    if (line.positional.size() != 1 || line.options.size() != common || !line.flags.empty())
        return Fail(kExitUsage,
                    Say("check takes one goods file (addin-host --help for usage)",
                        "check принимает один файл товаров (справка: addin-host --help)"));
    const std::string& file = line.positional[0];
    std::string bytes;
    if (!ReadWholeFile(file, bytes))
        return Fail(
            kExitUsage,
            Say("cannot read the goods file ", "не удаётся прочитать файл товаров ") + file);
    switch (CheckDocument(DocumentText(bytes), file, scales::LabelSettings{}, false)) {
        case CheckVerdict::kClean:
            return kExitOk;
        case CheckVerdict::kErrors:
            return kExitFailed;
        case CheckVerdict::kUnreadable:
            break;
    }
    return Fail(kExitUsage,
                file + Say(" holds no text to check", ": в файле нет текста для проверки"));
}

}  // namespace host
