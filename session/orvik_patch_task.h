// `OrvikPatchTask`: what the server patch chain shares with the transfers and with whoever
// shows their progress: the loaded catalogue, and the download in progress with the size it
// should reach and when it started.
#pragma once

#include <chrono>
#include <cstdint>

#include "apply/patch_catalogue.h"
#include "kernel/threads/mutex.h"
#include "session/download_progress.h"
#include "transfer/current_download.h"

namespace ZephPatch {

class OrvikPatchTask {
public:
    OrvikPatchTask() = default;
    OrvikPatchTask(const OrvikPatchTask&) = delete;
    OrvikPatchTask& operator=(const OrvikPatchTask&) = delete;

    // REQUIRES: only the worker uses the catalogue.
    PatchCatalogue& Catalogue() { return m_catalogue; }

    // The next download is expected to bring `expectedBytes` (0: unknown); its rate is measured
    // from now. Safe for concurrent use with QueryProgress.
    void BeginDownload(uint64_t expectedBytes);
    // Where DownloadToFile publishes the file while it grows.
    [[nodiscard]] ZephUtil::CurrentDownload* Download() { return &m_download; }

    // True while a download is published: the bytes it holds, the expected total, the
    // percentage of it (0 while the total is unknown, at most 100) and the seconds since it
    // began. False, leaving `progress` alone, between downloads. Safe for concurrent use.
    [[nodiscard]] bool QueryProgress(DownloadProgress* progress);

private:
    PatchCatalogue m_catalogue;
    // Guards the expected size and the start time; taken before the download lock.
    OS::Mutex m_mutex;
    ZephUtil::CurrentDownload m_download;
    uint64_t m_expectedBytes = 0;
    std::chrono::steady_clock::time_point m_started;
};

}  // namespace ZephPatch
