#include "transfer/download.h"

#include <optional>

#include "kernel/capped_buffer.h"
#include "kernel/file_utils.h"
#include "kernel/system_log.h"
#include "transfer/fetch.h"
#include "transfer/messages.h"

namespace ZephUtil {
namespace {

// The stream keeps the last bytes until it is flushed; a flush that fails (a full disk) leaves
// the file shorter than what was received.
bool ReachedDisk(ZephDataBufferFile* file, const std::string& localPath) {
    file->FlushBuffer();
    uint64_t onDisk = 0;
    return GetFileSizeOf(localPath, &onDisk) == 0 && onDisk == file->GetSize();
}

}  // namespace

bool DownloadToFile(const std::string& url, const std::string& localPath, CurrentDownload* current,
                    const TransferContext& context, const ExpectedContent* expected,
                    uint64_t maxBytes) {
    ZephPatch::Reporter& reporter = context.reporter;
    ZephDataBufferFile file(localPath, kFileWrite);
    if (!file.IsOpen()) {
        reporter.Report(ZephPatch::ReportLevel::kError, kMsgCannotOpenPatchForWriting + localPath);
        return false;
    }
    std::optional<CheckedFileBuffer> checked;
    if (expected)
        checked.emplace(&file, localPath, *expected);
    CappedBuffer capped(checked ? &*checked : static_cast<ZephDataBuffer*>(&file), maxBytes);
    int result;
    {
        PublishedDownload published(current, &capped);
        result = FetchUrl(url, &published, false, context);
    }
    if (capped.Overflowed()) {
        reporter.Report(ZephPatch::ReportLevel::kError,
                        "The patch file " + url + " is larger than the " +
                            std::to_string(maxBytes >> 20) + " MB set aside for it.");
        return false;
    }
    if (result == kTransferOk && !ReachedDisk(&file, localPath)) {
        Print("DownloadToFile> %s did not reach the disk whole", localPath.c_str());
        result = kTransferFailed;
    }
    if (checked && (result == kTransferOk || checked->Overflowed())) {
        const std::string mismatch =
            checked->Overflowed() ? "it is larger than " + std::to_string(expected->size) + " bytes"
                                  : checked->Mismatch();
        if (!mismatch.empty()) {
            reporter.Report(ZephPatch::ReportLevel::kError,
                            "The patch file " + url +
                                " does not match the signed catalogue: " + mismatch + ".");
            return false;
        }
    }
    if (result != kTransferOk) {
        // The user who stopped it knows; telling them the download failed would mislead.
        if (result != kTransferCancelled)
            reporter.Report(ZephPatch::ReportLevel::kError, kMsgCannotDownloadPatch + url);
        return false;
    }
    return true;
}

}  // namespace ZephUtil
