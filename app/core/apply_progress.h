// The gauge of one patch as both front ends show it. The session's unpack thread moves it by
// elapsed time through the first half; once the applier has announced how many entries it
// handles, the second half follows the entries done, and the time-based values are left out
// until the session sets the gauge up anew. REQUIRES: external synchronization.
#pragma once

#include <chrono>
#include <string>

namespace ZephPatch {

class ApplyProgress {
public:
    // The session set the gauge's range (a new patch, the database repair, a failure): any
    // count in progress ends.
    void SetRange(int range);
    [[nodiscard]] int Range() const { return m_range; }
    // Whether a value the session sets is shown: not while the applier's count has the gauge.
    [[nodiscard]] bool Counting() const { return m_total > 0; }

    // The applier's total for this patch; gives the gauge a range when it had none.
    void Start(int total);
    // One entry done (the applier asks whether to go on before each); the gauge value it
    // stands for, full at the last entry.
    [[nodiscard]] int Step();

    // "123 of 400 files", and the time left at the pace so far once it can be told; empty
    // while not counting.
    [[nodiscard]] std::string Text() const;

private:
    int m_range = 0;
    int m_total = 0;
    int m_done = 0;
    std::chrono::steady_clock::time_point m_started;
};

// "45 s", "3 min 20 s", "2 h 05 min": a duration for a progress line.
[[nodiscard]] std::string DurationText(double seconds);

}  // namespace ZephPatch
