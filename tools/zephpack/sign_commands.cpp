#include "tools/zephpack/sign_commands.h"

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "apply/catalogue_signature.h"
#include "apply/file_ops.h"
#include "apply/minisign.h"
#include "kernel/files/file_utils.h"
#include "kernel/system/text.h"
#include "tools/zephpack/arguments.h"
#include "tools/zephpack/output_file.h"
#include "tools/zephpack/signing.h"

namespace ZephPack {
namespace {

using ZephPatch::MinisignPublicKey;
using ZephPatch::MinisignSignature;

int Usage(const char* usage, const std::string& why) {
    std::fprintf(stderr, "zephpack: %s\nusage: zephpack %s\n", why.c_str(), usage);
    return 2;
}

int Fail(const char* command, const std::string& why) {
    std::fprintf(stderr, "zephpack %s: %s\n", command, why.c_str());
    return 1;
}

std::string ReadText(const std::string& path) {
    std::vector<uint8_t> bytes;
    return ZephPatch::ReadWholeFile(path, &bytes) ? std::string(bytes.begin(), bytes.end())
                                                  : std::string();
}

// A public key file, or the key's base64 line itself (as minisign -P takes it).
bool ReadPublicKey(const std::string& given, MinisignPublicKey* key) {
    return ZephUtil::FileExists(given) ? ZephPatch::ParsePublicKeyFile(ReadText(given), key)
                                       : ZephPatch::ParsePublicKey(given, key);
}

// "--signature", or the file's name with ".minisig".
std::string SignaturePath(const Arguments& arguments) {
    const auto given = arguments.options.find("--signature");
    return given != arguments.options.end()
               ? given->second
               : arguments.positional[0] + ZephPatch::kCatalogueSignatureSuffix;
}

// Empty when `signature` of `file` is `key`'s, else why not.
std::string Verification(const std::string& file, const MinisignSignature& signature,
                         const MinisignPublicKey& key) {
    if (signature.keyId != key.keyId)
        return "signed by key " + ZephPatch::KeyIdText(signature.keyId) + ", not by key " +
               ZephPatch::KeyIdText(key.keyId);
    std::string bytes;
    if (!ZephPatch::SignedBytesOfFile(file, signature.prehashed, &bytes))
        return "cannot read " + file;
    if (!ZephPatch::SignatureVerifies(
            signature, key, {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}))
        return "the signature does not match " + file;
    // A catalogue's stamp is checked as installers check it.
    ZephPatch::CatalogueStamp stamp;
    std::string notAStamp;
    if (ZephPatch::ParseCatalogueStamp(signature.trustedComment, &stamp, &notAStamp) &&
        stamp.expires <= static_cast<uint64_t>(std::time(nullptr)))
        return "the signature of " + file + " expired on " + ZephPatch::UtcDateText(stamp.expires);
    return {};
}

// The stamp options of `sign`, or an explicit trusted comment.
bool TrustedComment(const Arguments& arguments, const std::string& signaturePath,
                    std::string* comment, std::string* error) {
    const auto& options = arguments.options;
    if (options.contains("--trusted-comment")) {
        *comment = options.at("--trusted-comment");
        if (comment->find_first_of("\r\n") != std::string::npos) {
            *error = "a trusted comment is one line";
            return false;
        }
        if (options.contains("--sequence") || options.contains("--expires-in")) {
            *error = "--trusted-comment replaces --sequence and --expires-in";
            return false;
        }
        return true;
    }
    uint64_t days = kDefaultExpiryDays, sequence = 0;
    if (options.contains("--expires-in") &&
        !ZephUtil::ParseDecimal(options.at("--expires-in"), &days)) {
        *error = "--expires-in takes a number of days";
        return false;
    }
    if (options.contains("--sequence") &&
        !ZephUtil::ParseDecimal(options.at("--sequence"), &sequence)) {
        *error = "--sequence takes a decimal number";
        return false;
    }
    *comment = ZephPatch::CatalogueStampText(
        NextStamp(signaturePath,
                  options.contains("--sequence") ? std::optional(sequence) : std::nullopt, days));
    return true;
}

}  // namespace

int RunKeygenCommand(int argc, char** argv) {
    constexpr char kUsage[] = "keygen PUBLIC_KEY SECRET_KEY [--force]";
    Arguments arguments;
    std::string error;
    if (!ParseArguments(argc, argv, {}, {"--force"}, &arguments, &error))
        return Usage(kUsage, error);
    if (arguments.positional.size() != 2)
        return Usage(kUsage, "two key files are needed");
    const std::string& publicPath = arguments.positional[0];
    const std::string& secretPath = arguments.positional[1];
    const bool replace = arguments.flags.contains("--force");
    if (!replace && (ZephUtil::FileExists(publicPath) || ZephUtil::FileExists(secretPath)))
        return Fail("keygen", "a key file exists already (--force replaces it)");
    const SecretKey secret = GenerateKeyPair();
    const MinisignPublicKey publicKey = PublicKeyOf(secret);
    if (!WriteOutputFile(secretPath, PlainSecretKeyFileText(secret), 0600, replace, &error) ||
        !WriteOutputFile(publicPath, ZephPatch::PublicKeyFileText(publicKey), 0644, replace,
                         &error))
        return Fail("keygen", error);
    std::printf(
        "key %s: public key %s, secret key %s (not encrypted: keep it private)\n"
        "public key line: %s\n",
        ZephPatch::KeyIdText(publicKey.keyId).c_str(), publicPath.c_str(), secretPath.c_str(),
        ZephPatch::PublicKeyBase64(publicKey).c_str());
    return 0;
}

int RunSignCommand(int argc, char** argv) {
    constexpr char kUsage[] =
        "sign FILE SECRET_KEY [--signature SIG] [--trusted-comment TEXT | [--sequence N] "
        "[--expires-in DAYS]]";
    Arguments arguments;
    std::string error, comment;
    if (!ParseArguments(argc, argv,
                        {"--signature", "--trusted-comment", "--sequence", "--expires-in"}, {},
                        &arguments, &error))
        return Usage(kUsage, error);
    if (arguments.positional.size() != 2)
        return Usage(kUsage, "a file and a secret key are needed");
    const std::string& file = arguments.positional[0];
    const std::string signature = SignaturePath(arguments);
    if (!TrustedComment(arguments, signature, &comment, &error))
        return Usage(kUsage, error);
    SecretKey key;
    if (!LoadSecretKey(arguments.positional[1], &key, &error) ||
        !SignFile(file, key, comment, signature, &error))
        return Fail("sign", error);
    std::printf("%s: signed with key %s into %s (trusted comment: %s)\n", file.c_str(),
                ZephPatch::KeyIdText(key.keyId).c_str(), signature.c_str(), comment.c_str());
    return 0;
}

int RunVerifyCommand(int argc, char** argv) {
    constexpr char kUsage[] = "verify FILE PUBLIC_KEY [--signature SIG]";
    Arguments arguments;
    std::string error;
    if (!ParseArguments(argc, argv, {"--signature"}, {}, &arguments, &error))
        return Usage(kUsage, error);
    if (arguments.positional.size() != 2)
        return Usage(kUsage, "a file and a public key are needed");
    const std::string& file = arguments.positional[0];
    const std::string signaturePath = SignaturePath(arguments);
    MinisignPublicKey key;
    if (!ReadPublicKey(arguments.positional[1], &key))
        return Fail("verify", arguments.positional[1] + " is not a minisign public key");
    MinisignSignature signature;
    if (!ZephPatch::ParseSignatureFile(ReadText(signaturePath), &signature))
        return Fail("verify", signaturePath + " is not a minisign signature");
    if (const std::string failure = Verification(file, signature, key); !failure.empty())
        return Fail("verify", failure);
    std::printf("%s: signature by key %s verified (trusted comment: %s)\n", file.c_str(),
                ZephPatch::KeyIdText(key.keyId).c_str(), signature.trustedComment.c_str());
    return 0;
}

}  // namespace ZephPack
