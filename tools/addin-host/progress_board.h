// What several scales being programmed at once look like while it happens.
// On a terminal: one line per scales, drawn again in place as goods go out
// (goods done / total and the rate).  Into a pipe or a file, where nothing
// can be drawn again: a line per scales still at work every kPipePeriod
// seconds, and one line per scales as it ends.  The workers report from
// their threads; the main thread calls Tick to draw.  Times are seconds on
// one steady clock, handed in, so the board can be run on a made-up clock.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace host {

// How the board writes: text, and (on a terminal) moving back up over the
// lines it drew.
class BoardOutput {
  public:
    virtual ~BoardOutput() = default;
    virtual void Text(const std::string& utf8) = 0;
    virtual void Up(int lines) = 0;
};

// The end of one scales' work.
struct ScalesOutcome {
    bool ok = false;
    bool counted = false;  // done/total count goods (upload, test)
    size_t done = 0;
    size_t total = 0;
    double seconds = 0;
    std::string text;  // what happened, or why it failed
    // A short form of `text` for a terminal's line, where the whole text
    // would be cut (empty: the text itself).
    std::string headline;
};

class ProgressBoard {
  public:
    static constexpr double kPipePeriod = 5.0;
    static constexpr double kTerminalPeriod = 0.1;

    // `names` one per scales; `single` leaves the names out of the lines.
    ProgressBoard(std::vector<std::string> names, bool terminal, BoardOutput& output);

    // From the workers: a scales has `done` of `total` goods programmed.
    void Advance(size_t scales, size_t done, size_t total);
    void Finish(size_t scales, const ScalesOutcome& outcome);

    // From the main thread: draws what changed since `lastTick`; `now` in
    // seconds since the start.
    void Tick(double now);
    // The last drawing once every scales has finished.
    void Close(double now);

    // A rate with a decimal point whatever the C locale says.
    static std::string Decimal(double value, int decimals);

  private:
    struct Row {
        std::string name;
        size_t done = 0;
        size_t total = 0;
        bool finished = false;
        bool reported = false;  // its end line is out (pipe)
        ScalesOutcome outcome;
    };
    std::string Line(const Row& row, double now) const;
    void DrawTerminal(double now);
    void WritePipe(double now);

    std::mutex mutex_;
    std::vector<Row> rows_;
    bool terminal_;
    bool single_;
    BoardOutput& output_;
    int drawnLines_ = 0;
    double nextPeriodic_ = kPipePeriod;
    size_t widest_ = 0;
};

}  // namespace host
