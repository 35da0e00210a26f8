// The transfer loop: split, pick the protocol's client, attempt, pause, attempt again. It knows
// nothing of the protocols beyond their names.
#include "transfer/fetch.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "transfer/protocol_client.h"
#include "transfer/url.h"

namespace ZephUtil {
namespace {

// Short slices, so that a cancel during a pause ends the transfer at once.
constexpr std::chrono::milliseconds kPauseSlice{50};

bool PauseUnlessCancelled(std::chrono::milliseconds pause, ZephPatch::Reporter& reporter) {
    const auto end = std::chrono::steady_clock::now() + pause;
    for (auto now = std::chrono::steady_clock::now(); now < end;
         now = std::chrono::steady_clock::now()) {
        if (!reporter.ShouldContinue())
            return false;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(kPauseSlice, end - now));
    }
    return reporter.ShouldContinue();
}

template <typename Attempt>
int RunWithRetries(int furtherAttempts, const TransferContext& context, Attempt attempt) {
    TransferAttempt last = attempt(0);
    for (int index = 1; index <= furtherAttempts; ++index) {
        if (last.result == kTransferOk || last.final)
            break;
        if (!PauseUnlessCancelled(context.settings.retryPause, context.reporter))
            return kTransferCancelled;
        last = attempt(index);
    }
    return last.result;
}

}  // namespace

int FetchUrl(const std::string& url, ZephDataBuffer* buffer, bool noCache,
             const TransferContext& context) {
    UrlParts parts;
    if (const int split = SplitUrl(url, &parts); split != kTransferOk)
        return split;
    const auto client = MakeProtocolClient(parts, url);
    if (!client)
        return kTransferBadScheme;
    return RunWithRetries(context.settings.fetchRetries, context, [&](int index) {
        TransferAttempt attempt = client->Fetch(buffer, noCache, context, index > 0);
        // A buffer that is full, or refuses bytes past a known size, would refuse them again.
        attempt.final = attempt.final || attempt.result == kBufNoMemory;
        return attempt;
    });
}

int GetUrlSize(const std::string& url, uint64_t* size, const TransferContext& context) {
    UrlParts parts;
    if (const int split = SplitUrl(url, &parts); split != kTransferOk)
        return split;
    const auto client = MakeProtocolClient(parts, url);
    if (!client)
        return kTransferBadScheme;
    return RunWithRetries(client->SizeRetries(context.settings), context,
                          [&](int) { return client->GetSize(size, context.settings); });
}

}  // namespace ZephUtil
