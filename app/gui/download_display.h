// What the window's timer shows of the download in progress: the gauge's percentage and the
// remaining-time text for the status line.
#pragma once

#include <string>

#include "session/download_progress.h"

namespace ZephPatch {

struct DownloadDisplay {
    int percent = 0;
    std::string statusText;  // empty while the total size is unknown
};

// Reads the download in progress of `worker`; false while none runs. Workers that cannot
// download (before the download mode is part of the session) never have one.
template <typename Worker>
bool ReadDownloadDisplay(Worker& worker, DownloadDisplay* display) {
    if constexpr (requires(DownloadProgress * progress) {
                      worker.QueryDownloadProgress(progress);
                  }) {
        DownloadProgress progress;
        if (!worker.QueryDownloadProgress(&progress))
            return false;
        display->percent = progress.percent;
        display->statusText = RemainingTimeText(progress);
        return true;
    } else {
        return false;
    }
}

}  // namespace ZephPatch
