#include "session/download_progress.h"

#include <algorithm>
#include <initializer_list>

#include "session/session_messages.h"

namespace ZephPatch {
namespace {

constexpr int kKilobyteShift = 10;
constexpr uint64_t kMinutesForHourForm = 61;
// Far beyond any estimate worth showing, and safely inside what a uint64_t holds.
constexpr double kLongestEstimateMinutes = 1e12;

// The catalogue text with each "%lu" replaced by the next number.
std::string WithNumbers(std::string text, std::initializer_list<uint64_t> numbers) {
    size_t from = 0;
    for (const uint64_t number : numbers) {
        const size_t at = text.find("%lu", from);
        if (at == std::string::npos)
            break;
        const std::string digits = std::to_string(number);
        text.replace(at, 3, digits);
        from = at + digits.size();
    }
    return text;
}

// Whole minutes left at the rate measured so far; 0 while no rate can be measured.
uint64_t MinutesRemaining(uint64_t receivedKb, uint64_t totalKb, double elapsedSeconds) {
    if (elapsedSeconds <= 0 || receivedKb == 0 || totalKb <= receivedKb)
        return 0;
    const double rate = static_cast<double>(receivedKb) / elapsedSeconds;
    const double minutes = static_cast<double>(totalKb - receivedKb) / rate / 60;
    return static_cast<uint64_t>(std::min(minutes, kLongestEstimateMinutes));
}

}  // namespace

std::string RemainingTimeText(const DownloadProgress& progress) {
    if (progress.total == 0)
        return {};
    const uint64_t receivedKb = progress.received >> kKilobyteShift;
    const uint64_t totalKb = progress.total >> kKilobyteShift;
    const uint64_t minutes = MinutesRemaining(receivedKb, totalKb, progress.elapsedSeconds);
    if (minutes < kMinutesForHourForm)
        return WithNumbers(SessionMessage(kMsgDownloadProgressMinutes),
                           {receivedKb, totalKb, std::max<uint64_t>(minutes, 1)});
    return WithNumbers(SessionMessage(kMsgDownloadProgressHours),
                       {receivedKb, totalKb, minutes / 60, minutes % 60});
}

}  // namespace ZephPatch
