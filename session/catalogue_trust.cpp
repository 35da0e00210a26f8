#include "session/catalogue_trust.h"

#include <ctime>

#include "kernel/registry/registry.h"
#include "kernel/system/text.h"
#include "session/product_registry.h"

#ifndef ORVIK_PATCH_SIGNING_KEYS
#define ORVIK_PATCH_SIGNING_KEYS ""
#endif

namespace ZephPatch {
namespace {

constexpr char kCompiledInKeys[] = ORVIK_PATCH_SIGNING_KEYS;
constexpr std::string_view kBlanks = " \t\r\n";

// The stored sequence: 0 when there is none; false when the value is there but unreadable.
bool ReadStoredSequence(const ZephUtil::RegistryKey& key, uint64_t* sequence) {
    ZephUtil::RegType type;
    std::string data;
    *sequence = 0;
    return !key.IsOpen() || !key.QueryValue(CATALOGUE_SEQUENCE_VALUE, &type, &data) ||
           ZephUtil::ParseDecimal(data, sequence);
}

}  // namespace

bool ParseTrustedKeys(std::string_view text, std::vector<MinisignPublicKey>* keys,
                      std::string* error) {
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.find("untrusted comment:") != std::string_view::npos)
            continue;
        for (size_t at = line.find_first_not_of(kBlanks); at != std::string_view::npos;
             at = line.find_first_not_of(kBlanks, at)) {
            const std::string_view token = line.substr(at, line.find_first_of(kBlanks, at) - at);
            at += token.size();
            MinisignPublicKey key;
            if (!ParsePublicKey(token, &key)) {
                *error = "\"" + std::string(token) + "\" is not a minisign public key";
                return false;
            }
            keys->push_back(key);
        }
    }
    return true;
}

bool LoadCatalogueTrust(CatalogueTrust* trust, std::string* error) {
    *trust = {};
    if (!ParseTrustedKeys(kCompiledInKeys, &trust->keys, error)) {
        *error = "the built-in signing keys are unusable: " + *error;
        return false;
    }
    ZephUtil::RegistryKey key;
    (void)key.Open(PATCHING_FLAG_KEY, ZephUtil::RegAccess::kRead);  // IsOpen below tells
    ZephUtil::RegType type;
    std::string configured;
    if (key.IsOpen() && key.QueryValue(PATCH_SIGNING_KEYS_VALUE, &type, &configured) &&
        !ParseTrustedKeys(configured, &trust->keys, error)) {
        *error = std::string("the registry value ") + PATCH_SIGNING_KEYS_VALUE +
                 " is unusable: " + *error;
        return false;
    }
    if (!ReadStoredSequence(key, &trust->lastSequence)) {
        *error = std::string("the registry value ") + CATALOGUE_SEQUENCE_VALUE +
                 " is not a decimal number";
        return false;
    }
    trust->now = static_cast<uint64_t>(std::time(nullptr));
    return true;
}

bool RecordCatalogueSequence(uint64_t sequence) {
    ZephUtil::RegistryKey key;
    uint64_t stored = 0;
    if (!key.Create(PATCHING_FLAG_KEY, ZephUtil::RegAccess::kWrite))
        return false;
    if (ReadStoredSequence(key, &stored) && stored >= sequence)
        return true;
    return key.SetString(CATALOGUE_SEQUENCE_VALUE, std::to_string(sequence));
}

}  // namespace ZephPatch
