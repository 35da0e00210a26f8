#include "transfer/patch_catalogue_loader.h"

#include <string_view>

#include "kernel/data_buffer.h"
#include "kernel/file_utils.h"
#include "transfer/fetch.h"
#include "transfer/messages.h"

namespace ZephPatch {

bool LoadCatalogue(const std::vector<std::string>& serverBaseUrls, PatchCatalogue* catalogue,
                   const ZephUtil::TransferReport& report, ZephUtil::TransferCallback* callback) {
    for (const std::string& base : serverBaseUrls) {
        if (base.empty())
            continue;
        const std::string url = ZephUtil::JoinPath(base, "patches.txt");
        ZephUtil::ZephDataBufferMemoryDynamic text;
        const int fetched = ZephUtil::FetchUrl(url, &text, true, callback);
        if (fetched == ZephUtil::kTransferCancelled)
            return false;
        if (fetched != ZephUtil::kTransferOk) {
            if (report)
                report(ZephUtil::kReportStep, ZephUtil::kMsgCannotDownloadPatch + url);
            continue;
        }
        const auto& bytes = text.Bytes();
        const std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (catalogue->ParseCatalogue(view, base)) {
            catalogue->SetServerBaseUrl(base);
            return true;
        }
    }
    // The chain ends here: an error, shown as one.
    if (report)
        report(ZephUtil::kReportError, ZephUtil::kMsgNoPatchServer);
    catalogue->SetServerBaseUrl("");
    return false;
}

}  // namespace ZephPatch
