#include "apply/catalogue_signature.h"

#include <chrono>
#include <cstdio>

#include "kernel/system/text.h"

namespace ZephPatch {
namespace {

struct StampField {
    const char* name;
    uint64_t CatalogueStamp::*value;
};

constexpr StampField kStampFields[] = {
    {"timestamp", &CatalogueStamp::timestamp},
    {"expires", &CatalogueStamp::expires},
    {"sequence", &CatalogueStamp::sequence},
};

}  // namespace

// The calendar of <chrono> rather than gmtime_r, which not every C library has; dates are
// shown up to the year 9999.
std::string UtcDateText(uint64_t unixSeconds) {
    using namespace std::chrono;
    constexpr uint64_t kLastSecondOf9999 = 253402300799;
    if (unixSeconds > kLastSecondOf9999)
        return "?";
    const sys_seconds at{seconds{static_cast<int64_t>(unixSeconds)}};
    const sys_days day = floor<days>(at);
    const year_month_day date{day};
    const hh_mm_ss time{at - day};
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02ld:%02ld UTC",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<long>(time.hours().count()),
                  static_cast<long>(time.minutes().count()));
    return text;
}

bool ParseCatalogueStamp(std::string_view comment, CatalogueStamp* stamp, std::string* problem) {
    CatalogueStamp parsed;
    bool seen[std::size(kStampFields)] = {};
    constexpr std::string_view kBlanks = " \t";
    while (!comment.empty()) {
        const size_t start = comment.find_first_not_of(kBlanks);
        if (start == std::string_view::npos)
            break;
        comment.remove_prefix(start);
        const std::string_view field = comment.substr(0, comment.find_first_of(kBlanks));
        comment.remove_prefix(field.size());
        const size_t colon = field.find(':');
        for (size_t i = 0; i < std::size(kStampFields); ++i) {
            if (field.substr(0, colon) != kStampFields[i].name)
                continue;
            const std::string_view value =
                colon == std::string_view::npos ? std::string_view() : field.substr(colon + 1);
            if (seen[i] || !ZephUtil::ParseDecimal(value, &(parsed.*kStampFields[i].value))) {
                *problem = std::string("its signed comment has a bad or repeated \"") +
                           kStampFields[i].name + "\" field";
                return false;
            }
            seen[i] = true;
        }
    }
    for (size_t i = 0; i < std::size(kStampFields); ++i) {
        if (!seen[i]) {
            *problem =
                std::string("its signed comment has no \"") + kStampFields[i].name + "\" field";
            return false;
        }
    }
    *stamp = parsed;
    return true;
}

std::string CatalogueStampText(const CatalogueStamp& stamp) {
    return "timestamp:" + std::to_string(stamp.timestamp) +
           " expires:" + std::to_string(stamp.expires) +
           " sequence:" + std::to_string(stamp.sequence);
}

std::string CheckCatalogueSignature(std::string_view catalogue, std::string_view signatureFile,
                                    const CatalogueTrust& trust, CatalogueStamp* stamp) {
    MinisignSignature signature;
    if (!ParseSignatureFile(signatureFile, &signature))
        return "its signature file is not a minisign signature";
    bool known = false, verified = false;
    for (const MinisignPublicKey& key : trust.keys) {
        if (key.keyId != signature.keyId)
            continue;
        known = true;
        verified = verified || SignatureVerifiesMessage(signature, key, catalogue);
    }
    if (!known)
        return "it is signed by key " + KeyIdText(signature.keyId) + ", which is not trusted";
    if (!verified)
        return "its signature does not match it";
    CatalogueStamp parsed;
    std::string problem;
    if (!ParseCatalogueStamp(signature.trustedComment, &parsed, &problem))
        return problem;
    if (parsed.expires <= trust.now)
        return "it expired on " + UtcDateText(parsed.expires);
    if (parsed.sequence < trust.lastSequence)
        return "its sequence number " + std::to_string(parsed.sequence) +
               " is below that of the last catalogue accepted (" +
               std::to_string(trust.lastSequence) + ")";
    *stamp = parsed;
    return {};
}

}  // namespace ZephPatch
