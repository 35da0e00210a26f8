// "patches.txt.minisig" from a server, checked against a fixed catalogue and key: the seeds are
// signatures of exactly that catalogue by that key. What parses must write back as it was read,
// and only a signature that verifies may yield a stamp.
#include <string>
#include <string_view>

#include "apply/catalogue_signature.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using namespace ZephPatch;

constexpr std::string_view kCatalogue =
    "source-version: 46957\r\ntarget-version: 48249\r\npatch-exe-url: InstallPatchGUI\r\n"
    "patch-data-url: 46957_to_48249.zpa\r\n";
// The public key line of the key the seeds were signed with (its secret key is not kept).
constexpr std::string_view kPublicKey = "RWTzOFlMoIlufyUt8FWhNaQd+pZDbb8yn24p0jWvhXeYg0zUH4D4SB12";

const CatalogueTrust& Trust() {
    static const CatalogueTrust trust = [] {
        CatalogueTrust made;
        made.keys.resize(1);
        FUZZ_CHECK(ParsePublicKey(kPublicKey, &made.keys[0]));
        made.lastSequence = 3;
        made.now = 1767225600;  // 2026-01-01
        return made;
    }();
    return trust;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    StartSodium();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    MinisignSignature signature;
    if (ParseSignatureFile(text, &signature)) {
        MinisignSignature again;
        FUZZ_CHECK(ParseSignatureFile(SignatureFileText(signature), &again));
        FUZZ_CHECK(again.keyId == signature.keyId && again.signature == signature.signature &&
                   again.trustedComment == signature.trustedComment &&
                   again.globalSignature == signature.globalSignature);
    }
    MinisignPublicKey key;
    if (ParsePublicKeyFile(text, &key)) {
        MinisignPublicKey again;
        FUZZ_CHECK(ParsePublicKeyFile(PublicKeyFileText(key), &again));
        FUZZ_CHECK(again.keyId == key.keyId && again.key == key.key);
    }
    CatalogueStamp stamp;
    std::string problem;
    (void)ParseCatalogueStamp(text, &stamp, &problem);
    const std::string refusal = CheckCatalogueSignature(kCatalogue, text, Trust(), &stamp);
    if (refusal.empty())
        FUZZ_CHECK(SignatureVerifiesMessage(signature, Trust().keys[0], kCatalogue));
    return 0;
}
