#include <windows.h>
// bcrypt.h needs the types of windows.h first.
#include <bcrypt.h>

#include <algorithm>
#include <cstdlib>

#include "apply/sha256.h"

namespace ZephPatch {
namespace {

// The system's SHA-256 provider, opened once for the life of the process (safe for concurrent
// use: every digest has its own hash object).
BCRYPT_ALG_HANDLE Provider() {
    static BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE opened = nullptr;
        if (BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
            std::abort();
        return opened;
    }();
    return provider;
}

}  // namespace

struct Sha256::Context {
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~Context() {
        if (hash)
            BCryptDestroyHash(hash);
    }
};

// The provider fails only when out of memory; a digest that cannot be computed must never
// compare equal to anything, so such a failure ends the process rather than return zeros.
Sha256::Sha256() : m_context(std::make_unique<Context>()) {
    if (BCryptCreateHash(Provider(), &m_context->hash, nullptr, 0, nullptr, 0, 0) != 0)
        std::abort();
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* bytes, size_t count) {
    auto* next = static_cast<UCHAR*>(const_cast<void*>(bytes));
    while (count > 0) {
        const ULONG chunk = static_cast<ULONG>(std::min<size_t>(count, 1u << 30));
        if (BCryptHashData(m_context->hash, next, chunk, 0) != 0)
            std::abort();
        next += chunk;
        count -= chunk;
    }
}

Sha256Digest Sha256::Final() {
    Sha256Digest digest{};
    if (BCryptFinishHash(m_context->hash, digest.data(), static_cast<ULONG>(digest.size()), 0) != 0)
        std::abort();
    return digest;
}

}  // namespace ZephPatch
