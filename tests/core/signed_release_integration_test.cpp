// A build with a release key against a local bucket serving the sample release, which
// tools/make-sample-release signs with the demo key: a signed release installs, and every
// forgery is refused before anything of it is extracted, with the old installation intact.
#include "core/release_verification.h"

#include "install_fixture.h"
#include "release/signed_manifest.h"
#include "reports.h"

namespace installtest {
namespace {

namespace fs = std::filesystem;

// The key of the signed_manifest test, which signed nothing of the sample release.
const char kOtherKey[] =
    "0433d73ef5e4564d21925fccc92c9abbbf387ce468a0b19d46ee8a56879f62db13227326f5084787d0314cfcd9"
    "1fab8121f43cecedee703333a7254fa14a673dab";
const char kFailed[] = "\xca\xa7\xb0\xdc";  // 失败

class SignedReleaseTest : public InstallTest {
  public:
    void SetUp() override {
        InstallTest::SetUp();
        client.releaseKey = ReleaseKeyOfHex(DEMO_RELEASE_KEY);
        ASSERT_FALSE(client.releaseKey.empty());
        testsupport::WriteFileBytes(InstallFolder() / "old.txt", "old");
    }
    void ExpectOldInstallationIntact() {
        EXPECT_EQ(Read(InstallFolder() / "old.txt"), "old");
        EXPECT_FALSE(fs::exists(InstallFolder() / "shared"));
        EXPECT_FALSE(fs::exists(InstallFolder() / "update.ini"));
    }
    std::string StagingLog() {
        CloseInstallLog();
        std::string text;
        for (const std::string& line :
             testsupport::InstallLogTexts(Read(StagingFolder() / "log/install.log")))
            text += line + "\n";
        return text;
    }
    // The object keys the bucket was asked for with GET, in order.
    std::vector<std::string> Fetched() {
        std::vector<std::string> keys;
        const std::string prefix = "/" + bucket.bucket() + "/";
        for (const testing_oss::RecordedRequest& request : bucket.requests()) {
            if (request.method != "GET")
                continue;
            std::string key = request.path.substr(prefix.size());
            for (size_t at; (at = key.find("%2F")) != std::string::npos;)
                key.replace(at, 3, "/");
            keys.push_back(key);
        }
        return keys;
    }
    void PutObject(const std::string& suffix, const std::string& data) {
        bucket.putObject(std::string(kRemote) + suffix, data);
    }
    std::string Object(const std::string& suffix) {
        return Read(bucket.objectFile(std::string(kRemote) + suffix));
    }
};

TEST_F(SignedReleaseTest, AProperlySignedReleaseInstalls) {
    const std::string notes = Condense(RunInstallation());
    EXPECT_EQ(notes.substr(notes.size() - 2), " D") << notes;
    EXPECT_EQ(Read(InstallFolder() / "shared/owner.txt"), "quant");
    EXPECT_EQ(Read(InstallFolder() / "runtime/version.txt"), kFix);
    // The signature comes first, and every object it names for this broker follows.
    const std::vector<std::string> expected = {
        "9.5BRivostelIE/summary.sig",     "9.5BRivostelIE/summary.ini",
        "9.5BRivostelIE/base.zip",        "9.5BRivostelIE/config.zip",
        "9.5BRivostelIE/fix/9.5.7.2.zip", "9.5BRivostelIE/quant/9.5.1.3.zip"};
    EXPECT_EQ(Fetched(), expected);
}

TEST_F(SignedReleaseTest, ADownloadRetriedAfterAResetIsHashedFromItsNewStart) {
    // The first answer breaks off after 1,000 bytes; the retry writes the file again from its
    // start, and only what the retry wrote is compared.
    bucket.addFaults(
        R"([{"method": "GET", "key": "9.5BRivostelIE/base.zip", "reset_after": 1000}])");
    const std::string notes = Condense(RunInstallation());
    EXPECT_EQ(notes.substr(notes.size() - 2), " D") << notes << "\n" << StagingLog();
    EXPECT_EQ(Read(InstallFolder() / "shared/owner.txt"), "quant");
}

TEST_F(SignedReleaseTest, APackageReplacedTogetherWithItsCrcIsRefusedBeforeExtraction) {
    // The bucket computes the CRC-64 header from what it holds, so the forged package arrives
    // with a matching one: the other broker's runtime, a valid zip of its own.
    bucket.putObject(std::string(kRemote) + "/fix/9.5.7.2.zip", Object("/fix/9.5.6.0.zip"));
    const std::string notes = Condense(RunInstallation());
    EXPECT_EQ(notes.substr(notes.size() - 3), " F4") << notes;
    const std::string log = StagingLog();
    EXPECT_NE(log.find("9.5BRivostelIE/fix/9.5.7.2.zip: received 143 bytes with SHA-256 "),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(std::string("\xcf\xc2\xd4\xd8\xd4\xcb\xd0\xd0\xbf\xe2") + kFailed),
              std::string::npos);
    EXPECT_EQ(log.find("Downfile Fail"), std::string::npos) << "the CRC-64 passed: " << log;
    // The forged file is gone and nothing of it was extracted; the base package, which arrived
    // whole before it, may have been.
    EXPECT_FALSE(fs::exists(StagingFolder() / (std::string(kFix) + ".zip")));
    EXPECT_FALSE(fs::exists(StagingFolder() / "runtime"));
    if (fs::exists(StagingFolder() / "shared/base_runtime.txt")) {
        EXPECT_EQ(Read(StagingFolder() / "shared/base_runtime.txt"), "base");
    }
    ExpectOldInstallationIntact();
}

TEST_F(SignedReleaseTest, AManifestEditedAfterSigningIsRefusedBeforeAnyOtherObject) {
    // The runtime's entry given the digest of the other broker's runtime, as a forger who
    // replaced that package would need.
    std::string signedFile = Object("/summary.sig");
    const std::string entry = "object 9.5BRivostelIE/fix/9.5.7.2.zip ";
    const size_t at = signedFile.find(entry);
    ASSERT_NE(at, std::string::npos);
    const std::string other = "object 9.5BRivostelIE/fix/9.5.6.0.zip ";
    const size_t from = signedFile.find(other) + other.size();
    const size_t line = signedFile.find('\n', from);
    signedFile.replace(at + entry.size(), signedFile.find('\n', at) - at - entry.size(),
                       signedFile.substr(from, line - from));
    PutObject("/summary.sig", signedFile);
    EXPECT_EQ(Condense(RunInstallation()), "F2");
    const std::string log = StagingLog();
    EXPECT_NE(log.find("9.5BRivostelIE/summary.sig: its signature is not one of this build's "
                       "release key"),
              std::string::npos)
        << log;
    EXPECT_EQ(Fetched(), std::vector<std::string>{"9.5BRivostelIE/summary.sig"});
    ExpectOldInstallationIntact();
}

TEST_F(SignedReleaseTest, ASummaryIniEditedToNameAnotherSignedRuntimeIsRefused) {
    // Every package named is signed, but this broker's versions are not the signed ones.
    PutManifest(
        "[cfgstamp]\r\ntime=20261209\r\n[fixstamp]\r\n471203=9.5.6.0\r\n[quant]\r\n"
        "471203=9.5.1.3\r\n");
    // It arrived whole (its progress posted) before it was compared.
    EXPECT_EQ(Condense(RunInstallation()), "P16 F2");
    const std::string log = StagingLog();
    EXPECT_NE(log.find("9.5BRivostelIE/summary.ini: received "), std::string::npos) << log;
    EXPECT_EQ(client.fixVersion, std::string());
    ExpectOldInstallationIntact();
}

TEST_F(SignedReleaseTest, ASignatureOfAnotherKeyIsRefused) {
    client.releaseKey = ReleaseKeyOfHex(kOtherKey);
    EXPECT_EQ(Condense(RunInstallation()), "F2");
    EXPECT_NE(StagingLog().find("summary.sig: its signature is not one of this build's"),
              std::string::npos);
    EXPECT_EQ(Fetched().size(), 1u);
    ExpectOldInstallationIntact();
}

TEST_F(SignedReleaseTest, AnUnsignedReleaseIsRefusedByAKeyedBuildAndInstalledByAnUnkeyedOne) {
    RemoveObject("/summary.sig");
    EXPECT_EQ(Condense(RunInstallation()), "F2");
    const std::string log = StagingLog();
    EXPECT_NE(log.find("9.5BRivostelIE/summary.sig: missing: this build installs only releases "
                       "signed with its release key"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Release not verified: nothing is downloaded"), std::string::npos);
    EXPECT_TRUE(Fetched().empty());
    ExpectOldInstallationIntact();

    // A build without a key never asks for the signature and installs as it always did.
    client.releaseKey.clear();
    bucket.clearRequests();
    const std::string notes = Condense(RunInstallation());
    EXPECT_EQ(notes.substr(notes.size() - 2), " D") << notes;
    EXPECT_EQ(Read(InstallFolder() / "shared/owner.txt"), "quant");
    for (const testing_oss::RecordedRequest& request : bucket.requests())
        EXPECT_EQ(request.path.find("summary.sig"), std::string::npos) << request.path;
}

TEST_F(SignedReleaseTest, AnObjectTheManifestDoesNotNameIsNeverRequested) {
    PrepareForWorker();
    ASSERT_TRUE(client.releaseVerified);
    const std::string key = std::string(kRemote) + "/fix/9.5.7.3.zip";
    bucket.putObject(key, Object("/fix/9.5.7.2.zip"));
    bucket.clearRequests();
    const std::string path = GetInstallerSettings().stagingFolder + "/9.5.7.3.zip";
    EXPECT_FALSE(DownloadObject(client, key, path));
    EXPECT_TRUE(bucket.requests().empty());
    EXPECT_FALSE(fs::exists(StagingFolder() / "9.5.7.3.zip"));
    EXPECT_NE(StagingLog().find(key + ": not named in the signed release manifest"),
              std::string::npos);
}

}  // namespace
}  // namespace installtest
