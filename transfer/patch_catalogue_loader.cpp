#include "transfer/patch_catalogue_loader.h"

#include <optional>
#include <string_view>

#include "kernel/capped_buffer.h"
#include "kernel/data_buffer.h"
#include "kernel/file_utils.h"
#include "kernel/system_log.h"
#include "transfer/fetch.h"
#include "transfer/messages.h"

namespace ZephPatch {
namespace {

// A catalogue is kilobytes and its signature a few lines: a server that sends more is not
// serving one, and is not waited for.
constexpr uint64_t kMaxCatalogueBytes = 1u << 20;
constexpr uint64_t kMaxSignatureBytes = 64u << 10;

// Fetches at most `maxBytes` into `text`; a longer body fails the fetch (kBufNoMemory).
int FetchCapped(const std::string& url, ZephUtil::ZephDataBufferMemoryDynamic* text,
                uint64_t maxBytes, const ZephUtil::TransferContext& context) {
    ZephUtil::CappedBuffer capped(text, maxBytes);
    const int fetched = ZephUtil::FetchUrl(url, &capped, true, context);
    if (capped.Overflowed())
        ZephUtil::Print("LoadCatalogue> %s is larger than %llu bytes", url.c_str(),
                        static_cast<unsigned long long>(maxBytes));
    return fetched;
}

std::string_view Text(const ZephUtil::ZephDataBufferMemoryDynamic& buffer) {
    const auto& bytes = buffer.Bytes();
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Empty when the catalogue at `url` is signed as `trust` asks, with its stamp in `stamp`;
// else why it is refused. 13 in `fetched` when the user cancelled meanwhile.
std::string CheckSignature(const std::string& url, std::string_view catalogue,
                           const CatalogueTrust& trust, const ZephUtil::TransferContext& context,
                           int* fetched, CatalogueStamp* stamp) {
    const std::string signatureUrl = url + kCatalogueSignatureSuffix;
    ZephUtil::ZephDataBufferMemoryDynamic signature;
    *fetched = FetchCapped(signatureUrl, &signature, kMaxSignatureBytes, context);
    if (*fetched != ZephUtil::kTransferOk)
        return "it has no signature (" + signatureUrl + ")";
    return CheckCatalogueSignature(catalogue, Text(signature), trust, stamp);
}

}  // namespace

bool LoadCatalogue(const std::vector<std::string>& serverBaseUrls, PatchCatalogue* catalogue,
                   const ZephUtil::TransferContext& context, const CatalogueTrust* trust) {
    for (const std::string& base : serverBaseUrls) {
        if (base.empty())
            continue;
        const std::string url = ZephUtil::JoinPath(base, "patches.txt");
        ZephUtil::ZephDataBufferMemoryDynamic text;
        int fetched = FetchCapped(url, &text, kMaxCatalogueBytes, context);
        if (fetched == ZephUtil::kTransferCancelled)
            return false;
        if (fetched != ZephUtil::kTransferOk) {
            context.reporter.Report(ReportLevel::kStep, ZephUtil::kMsgCannotDownloadPatch + url);
            continue;
        }
        std::optional<CatalogueStamp> stamp;
        if (trust) {
            const std::string refusal =
                CheckSignature(url, Text(text), *trust, context, &fetched, &stamp.emplace());
            if (fetched == ZephUtil::kTransferCancelled)
                return false;
            if (!refusal.empty()) {
                context.reporter.Report(ReportLevel::kError,
                                        "The catalogue " + url + " was refused: " + refusal + ".");
                continue;
            }
        }
        if (catalogue->ParseCatalogue(Text(text), base)) {
            catalogue->SetServerBaseUrl(base);
            catalogue->SetStamp(stamp);
            return true;
        }
    }
    // The chain ends here: an error, shown as one.
    context.reporter.Report(ReportLevel::kError, ZephUtil::kMsgNoPatchServer);
    catalogue->SetServerBaseUrl("");
    return false;
}

}  // namespace ZephPatch
