// How every part of a patch session shows a user-visible line and learns whether to go on: one
// small interface, handed by reference to the applier, the transfers, the repair driver and the
// asset-database steps. The front ends (window, console) and tests implement it.
#pragma once

#include <string>
#include <utility>

namespace ZephPatch {

// The values reach the console's log and the window's colours.
enum class ReportLevel : int {
    kDetail = 0,  // progress detail, shown in debug mode only
    kStep = 1,    // a step or result
    kInfo = 2,    // secondary information
    kError = 3,
};

class Reporter {
public:
    virtual ~Reporter() = default;
    // One line of UTF-8 text. Called from worker threads, several at once; an implementation
    // keeps the order of the calls made by one thread.
    virtual void Report(ReportLevel level, const std::string& utf8) = 0;
    // False once the user has cancelled (or the work's owner stopped it); long loops ask
    // before each step.
    [[nodiscard]] virtual bool ShouldContinue() = 0;
    // Whether a line reaches anyone; false lets callers skip building texts no one reads.
    [[nodiscard]] virtual bool Listens() const { return true; }
};

// Builds the text only when someone listens.
template <typename MakeText>
void Report(Reporter& reporter, ReportLevel level, MakeText&& makeText) {
    if (reporter.Listens())
        reporter.Report(level, std::forward<MakeText>(makeText)());
}

// Adds the gauge: a guessed progress while a long step runs, and the applier's count of
// entries.
class ProgressSink : public Reporter {
public:
    virtual void SetGaugeRange(int range) = 0;
    virtual void SetGaugeValue(int value) = 0;
    // The applier is about to run `total` entries; EntryBegun follows before each of them.
    // A sink without an entry count leaves both alone.
    virtual void StartApplying(int /*total*/) {}
    virtual void EntryBegun() {}
};

// Shows nothing and never stops: for work run without anyone watching (tools, checks).
class SilentReporter final : public ProgressSink {
public:
    void Report(ReportLevel, const std::string&) override {}
    [[nodiscard]] bool ShouldContinue() override { return true; }
    [[nodiscard]] bool Listens() const override { return false; }
    void SetGaugeRange(int) override {}
    void SetGaugeValue(int) override {}
};

}  // namespace ZephPatch
