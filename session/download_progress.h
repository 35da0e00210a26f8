// How far the download in progress has got, for whoever shows it (the window's timer, the
// console's progress line), and the remaining-time text made from it.
#pragma once

#include <cstdint>
#include <string>

namespace ZephPatch {

struct DownloadProgress {
    uint64_t received = 0;
    uint64_t total = 0;  // 0 when the server did not announce a size
    int percent = 0;     // 0..100; 0 while the total is unknown
    // Since this download started; the remaining-time rate is measured over it.
    double elapsedSeconds = 0;
};

// "Download Progress %lu kB of %lu kB, %lu min remaining" (or the hours form from 61 minutes
// on) in the current message language; empty when the total is unknown. Sizes are shown in kB
// (low 10 bits dropped); the minutes are the kB still to come at the rate measured so far,
// truncated, and at least 1, which is also shown while no rate can be measured yet.
[[nodiscard]] std::string RemainingTimeText(const DownloadProgress& progress);

}  // namespace ZephPatch
