#include "tools/addin-host/progress_board.h"

#include "tools/addin-host/host_text.h"
#include "tools/console/language.h"

namespace host {

namespace {
using console::Say;

// A line cut to fit a terminal of 80 columns, so that none wraps (moving up
// counts lines on the screen), and padded with blanks that cover whatever a
// longer line drawn before left behind.
std::string FitTerminal(const std::string& line) {
    constexpr size_t kColumns = 79;
    size_t shown = 0, at = 0;
    for (; at < line.size(); ++at) {
        bool starts = (static_cast<unsigned char>(line[at]) & 0xC0) != 0x80;
        if (starts && shown++ == kColumns) break;
    }
    std::string fitted = line.substr(0, at);
    return fitted + std::string(kColumns - Utf8Width(fitted), ' ');
}

double Rate(size_t goods, double seconds) {
    return seconds > 0 ? goods / seconds : 0.0;
}
}  // namespace

ProgressBoard::ProgressBoard(std::vector<std::string> names, bool terminal, BoardOutput& output)
    : terminal_(terminal), single_(names.size() == 1), output_(output) {
    for (std::string& name : names) {
        Row row;
        row.name = std::move(name);
        widest_ = std::max(widest_, Utf8Width(row.name));
        rows_.push_back(row);
    }
}

std::string ProgressBoard::Decimal(double value, int decimals) {
    long long scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    long long scaled = static_cast<long long>(value * scale + 0.5);
    if (decimals <= 0) return std::to_string(scaled);
    std::string fraction = std::to_string(scaled % scale);
    fraction.insert(0, static_cast<size_t>(decimals) - fraction.size(), '0');
    return std::to_string(scaled / scale) + "." + fraction;
}

void ProgressBoard::Advance(size_t scales, size_t done, size_t total) {
    std::lock_guard<std::mutex> lock(mutex_);
    rows_.at(scales).done = done;
    rows_.at(scales).total = total;
}

void ProgressBoard::Finish(size_t scales, const ScalesOutcome& outcome) {
    std::lock_guard<std::mutex> lock(mutex_);
    Row& row = rows_.at(scales);
    row.finished = true;
    row.outcome = outcome;
    if (outcome.counted) {
        row.done = outcome.done;
        row.total = outcome.total;
    }
}

std::string ProgressBoard::Line(const Row& row, double now) const {
    std::string name;
    if (!single_) {
        name = row.name + ": ";
        size_t width = Utf8Width(row.name);
        if (width < widest_) name += std::string(widest_ - width, ' ');
    }
    if (row.finished && !single_) {
        bool brief = terminal_ && !row.outcome.headline.empty();
        return name + (brief ? row.outcome.headline : row.outcome.text);
    }
    if (row.total == 0) return name + Say("working...", "идёт обмен...");
    return name + std::to_string(row.done) + "/" + std::to_string(row.total) +
           Say(" goods, ", " товаров, ") + Decimal(Rate(row.done, now), 1) +
           Say(" goods/s", " товаров/с");
}

void ProgressBoard::DrawTerminal(double now) {
    std::string text;
    for (const Row& row : rows_) {
        if (single_ && row.total == 0) return;  // one command, nothing to count
        text += FitTerminal(Line(row, now)) + "\n";
    }
    output_.Up(drawnLines_);
    output_.Text(text);
    drawnLines_ = static_cast<int>(rows_.size());
}

void ProgressBoard::WritePipe(double now) {
    std::string text;
    bool periodic = now >= nextPeriodic_;
    while (nextPeriodic_ <= now) nextPeriodic_ += kPipePeriod;
    for (Row& row : rows_) {
        if (row.finished && !row.reported) {
            row.reported = true;
            if (!single_) text += Line(row, now) + "\n";
        } else if (!row.finished && periodic && row.total > 0) {
            text += Line(row, now) + "\n";
        }
    }
    if (!text.empty()) output_.Text(text);
}

void ProgressBoard::Tick(double now) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (terminal_)
        DrawTerminal(now);
    else
        WritePipe(now);
}

void ProgressBoard::Close(double now) {
    Tick(now);
}

}  // namespace host
