// zephpack keygen, sign and verify against the minisign program, both ways, and the checks an
// installer makes of a signed catalogue.
#include <sys/stat.h>

#include "apply/catalogue_signature.h"
#include "tests/tools/zephpack/zephpack_runner.h"
#include "tools/zephpack/secret_key.h"

namespace {

using namespace ContainerTest;

class SigningTest : public ::testing::Test {
protected:
    void SetUp() override { WriteFile(m_file, "source-version: 1\r\ntarget-version: 2\r\n"); }

    int Zephpack(const std::string& arguments) {
        return RunCommand(ContainerTest::Zephpack() + " " + arguments, &m_output);
    }
    int Minisign(const std::string& arguments, const std::string& input = "") {
        return RunCommand((input.empty() ? "" : "printf '" + input + "' | ") + "minisign " +
                              arguments + (input.empty() ? " </dev/null" : ""),
                          &m_output);
    }
    bool Says(const std::string& text) const { return m_output.find(text) != std::string::npos; }

    TestFolder m_folder;
    std::string m_file = m_folder.Path("patches.txt");
    std::string m_public = m_folder.Path("ours.pub");
    std::string m_secret = m_folder.Path("ours.key");
    std::string m_output;
};

TEST_F(SigningTest, OurKeysWorkInMinisignAndStayPrivate) {
    ASSERT_EQ(Zephpack("keygen " + Quote(m_public) + " " + Quote(m_secret)), 0) << m_output;
    const std::string secretLine = ReadFile(m_secret).substr(ReadFile(m_secret).find('\n') + 1);
    EXPECT_FALSE(Says(secretLine.substr(0, 40))) << "the secret key was printed";
    struct stat info {};
    ASSERT_EQ(stat(m_secret.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(Zephpack("keygen " + Quote(m_public) + " " + Quote(m_folder.Path("other.key"))), 1);
    EXPECT_EQ(ReadFile(m_secret).substr(ReadFile(m_secret).find('\n') + 1), secretLine);

    // minisign signs with our secret key; both verify with our public key.
    ASSERT_EQ(Minisign("-S -s " + Quote(m_secret) + " -m " + Quote(m_file)), 0) << m_output;
    EXPECT_EQ(Minisign("-V -p " + Quote(m_public) + " -m " + Quote(m_file)), 0) << m_output;
    EXPECT_EQ(Zephpack("verify " + Quote(m_file) + " " + Quote(m_public)), 0) << m_output;
}

TEST_F(SigningTest, SignaturesVerifyBothWaysAndTamperingShows) {
    const std::string theirPublic = m_folder.Path("theirs.pub"),
                      theirs = m_folder.Path("theirs.key");
    ASSERT_EQ(Minisign("-G -W -p " + Quote(theirPublic) + " -s " + Quote(theirs)), 0) << m_output;
    // What minisign signs, prehashed and legacy, verifies here.
    for (const char* legacy : {"", "-l "}) {
        ASSERT_EQ(
            Minisign(std::string("-S ") + legacy + "-s " + Quote(theirs) + " -m " + Quote(m_file)),
            0);
        EXPECT_EQ(Zephpack("verify " + Quote(m_file) + " " + Quote(theirPublic)), 0) << m_output;
    }
    // What we sign with minisign's own key verifies in minisign, the stamp signed along.
    ASSERT_EQ(Zephpack("sign " + Quote(m_file) + " " + Quote(theirs)), 0) << m_output;
    EXPECT_EQ(Minisign("-V -p " + Quote(theirPublic) + " -m " + Quote(m_file)), 0) << m_output;
    EXPECT_TRUE(Says("sequence:1")) << m_output;
    ASSERT_EQ(Zephpack("sign " + Quote(m_file) + " " + Quote(theirs)), 0);
    EXPECT_TRUE(Says("sequence:2")) << m_output;

    WriteFile(m_file, ReadFile(m_file) + " ");
    EXPECT_NE(Minisign("-V -p " + Quote(theirPublic) + " -m " + Quote(m_file)), 0);
    EXPECT_EQ(Zephpack("verify " + Quote(m_file) + " " + Quote(theirPublic)), 1);
    ASSERT_EQ(Zephpack("keygen " + Quote(m_public) + " " + Quote(m_secret)), 0);
    ASSERT_EQ(Zephpack("sign " + Quote(m_file) + " " + Quote(theirs)), 0);
    EXPECT_EQ(Zephpack("verify " + Quote(m_file) + " " + Quote(m_public)), 1);
    EXPECT_TRUE(Says("signed by key ")) << m_output;
    EXPECT_EQ(Zephpack("sign " + Quote(m_file) + " " + Quote(theirs) +
                       " --trusted-comment x --sequence 3"),
              2);
}

TEST_F(SigningTest, EncryptedMinisignKeySignsWithItsPasswordOnly) {
    const std::string theirPublic = m_folder.Path("theirs.pub"),
                      theirs = m_folder.Path("theirs.key");
    ASSERT_EQ(
        Minisign("-G -p " + Quote(theirPublic) + " -s " + Quote(theirs), "secret\\nsecret\\n"), 0)
        << m_output;
    const std::string sign =
        ContainerTest::Zephpack() + " sign " + Quote(m_file) + " " + Quote(theirs);
    EXPECT_EQ(RunCommand("printf 'wrong\\n' | " + sign, &m_output), 1);
    EXPECT_TRUE(Says("wrong password")) << m_output;
    EXPECT_EQ(RunCommand("printf 'secret\\n' | " + sign, &m_output), 0) << m_output;
    EXPECT_EQ(Minisign("-V -p " + Quote(theirPublic) + " -m " + Quote(m_file)), 0) << m_output;
}

// The installer's side: which signed catalogues it takes.
TEST(CatalogueSignatureTest, OnlyAFreshSignatureOfATrustedKeyPasses) {
    const ZephPack::SecretKey key = ZephPack::GenerateKeyPair(),
                              stranger = ZephPack::GenerateKeyPair();
    const std::string catalogue = "source-version: 1\r\n";
    const auto signature = [&](const ZephPack::SecretKey& by, const std::string& comment,
                               bool prehashed = true) {
        const std::string bytes = ZephPatch::SignedBytes(catalogue, prehashed);
        return ZephPatch::SignatureFileText(
            ZephPack::SignBytes(by, {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()},
                                prehashed, comment));
    };
    const ZephPatch::CatalogueTrust trust{{ZephPack::PublicKeyOf(key)}, 7, 1000};
    ZephPatch::CatalogueStamp stamp;
    const auto check = [&](const std::string& signatureFile, const std::string& text = "") {
        return ZephPatch::CheckCatalogueSignature(text.empty() ? catalogue : text, signatureFile,
                                                  trust, &stamp);
    };
    EXPECT_EQ(check(signature(key, "file:x\texpires:1001  sequence:7 timestamp:5")), "");
    EXPECT_EQ(stamp.sequence, 7u);
    EXPECT_EQ(check(signature(key, "timestamp:5 expires:1001 sequence:8", false)), "");
    EXPECT_EQ(check(signature(key, "timestamp:5 expires:1001 sequence:8"), catalogue + " "),
              "its signature does not match it");
    EXPECT_NE(check(signature(stranger, "timestamp:5 expires:1001 sequence:8")).find("not trusted"),
              std::string::npos);
    EXPECT_EQ(check(signature(key, "timestamp:5 expires:1000 sequence:8")),
              "it expired on 1970-01-01 00:16 UTC");
    EXPECT_EQ(check(signature(key, "timestamp:5 expires:1001 sequence:6")),
              "its sequence number 6 is below that of the last catalogue accepted (7)");
    for (const char* broken :
         {"timestamp:5 expires:1001", "timestamp:5 expires:1001 sequence:-1",
          "timestamp:5 expires:1001 sequence:7 sequence:8", "timestamp:5 expires:1001 sequence:"}) {
        EXPECT_NE(check(signature(key, broken)).find("sequence"), std::string::npos) << broken;
    }
    EXPECT_EQ(check("untrusted comment: x\nnot base64\n"),
              "its signature file is not a minisign signature");
}

}  // namespace
