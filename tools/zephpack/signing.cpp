#include "tools/zephpack/signing.h"

#include <cstdio>
#include <ctime>
#include <iostream>
#include <vector>

#include "apply/file_ops.h"
#include "apply/minisign.h"
#include "tools/zephpack/output_file.h"
#include "tools/zephpack/silent_terminal.h"

namespace ZephPack {
namespace {

constexpr uint64_t kSecondsPerDay = 86400;

bool ReadPassword(std::string* password) {
    if (!InputIsTerminal())
        return static_cast<bool>(std::getline(std::cin, *password));
    std::fprintf(stderr, "Password: ");
    bool read;
    {
        SilentTerminal silent;
        read = static_cast<bool>(std::getline(std::cin, *password));
    }
    std::fprintf(stderr, "\n");
    return read;
}

}  // namespace

bool LoadSecretKey(const std::string& path, SecretKey* key, std::string* error) {
    return ReadSecretKeyFile(path, ReadPassword, key, error);
}

bool SignFile(const std::string& file, const SecretKey& key, const std::string& trustedComment,
              const std::string& signaturePath, std::string* error) {
    std::string digest;
    if (!ZephPatch::SignedBytesOfFile(file, true, &digest)) {
        *error = "cannot read " + file;
        return false;
    }
    const auto signature =
        SignBytes(key, {reinterpret_cast<const uint8_t*>(digest.data()), digest.size()}, true,
                  trustedComment);
    return WriteOutputFile(signaturePath, ZephPatch::SignatureFileText(signature), 0644, true,
                           error);
}

ZephPatch::CatalogueStamp NextStamp(const std::string& signaturePath,
                                    std::optional<uint64_t> sequence, uint64_t expiryDays) {
    ZephPatch::CatalogueStamp stamp;
    stamp.timestamp = static_cast<uint64_t>(std::time(nullptr));
    stamp.expires = stamp.timestamp + expiryDays * kSecondsPerDay;
    stamp.sequence = sequence.value_or(1);
    std::vector<uint8_t> bytes;
    ZephPatch::MinisignSignature previous;
    ZephPatch::CatalogueStamp previousStamp;
    std::string ignored;
    if (!sequence && ZephPatch::ReadWholeFile(signaturePath, &bytes) &&
        ZephPatch::ParseSignatureFile(std::string(bytes.begin(), bytes.end()), &previous) &&
        ZephPatch::ParseCatalogueStamp(previous.trustedComment, &previousStamp, &ignored))
        stamp.sequence = previousStamp.sequence + 1;
    return stamp;
}

}  // namespace ZephPack
