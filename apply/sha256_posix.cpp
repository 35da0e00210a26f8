#include "apply/sha256.h"

#include <openssl/evp.h>

#include <cstdlib>

namespace ZephPatch {

struct Sha256::Context {
    struct Free {
        void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    };
    std::unique_ptr<EVP_MD_CTX, Free> evp{EVP_MD_CTX_new()};
};

// The library fails only when out of memory; a digest that cannot be computed must never
// compare equal to anything, so such a failure ends the process rather than return zeros.
Sha256::Sha256() : m_context(std::make_unique<Context>()) {
    if (!m_context->evp || EVP_DigestInit_ex(m_context->evp.get(), EVP_sha256(), nullptr) != 1)
        std::abort();
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* bytes, size_t count) {
    if (EVP_DigestUpdate(m_context->evp.get(), bytes, count) != 1)
        std::abort();
}

Sha256Digest Sha256::Final() {
    Sha256Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(m_context->evp.get(), digest.data(), &length) != 1 ||
        length != digest.size())
        std::abort();
    return digest;
}

}  // namespace ZephPatch
