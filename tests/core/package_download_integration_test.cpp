// Downloads and the remote manifest against a local bucket: what reaches the store, the local
// file, the counters, the progress posted and the log lines.
#include "core/package_download.h"

#include "install_fixture.h"
#include "reports.h"

namespace installtest {
namespace {

namespace fs = std::filesystem;

const char kMissing[] = ",\xce\xc4\xbc\xfe\xb2\xbb\xb4\xe6\xd4\xda";  // ,文件不存在

class PackageDownloadTest : public InstallTest {
  protected:
    void SetUp() override {
        InstallTest::SetUp();
        if (HasFatalFailure())
            return;
        PrepareInstallation(client);
    }
    std::vector<std::string> Log() {
        CloseInstallLog();
        return testsupport::InstallLogTexts(Read(StagingFolder() / "log/install.log"));
    }
    std::string LocalPath(const char* name) const {
        return GetInstallerSettings().stagingFolder + "/" + name;
    }
    std::vector<LPARAM> ProgressValues() {
        std::vector<LPARAM> values;
        for (const Notification& note : TakeNotifications())
            if (note.message == WM_INSTALL_PROGRESS)
                values.push_back(note.value);
        return values;
    }
};

TEST_F(PackageDownloadTest, MissingObjectIsOnlyAskedForAndLogged) {
    bucket.clearRequests();
    EXPECT_FALSE(DownloadObject(client, "9.5BRivostelIE/none.zip", LocalPath("none.zip")));
    std::vector<testing_oss::RecordedRequest> requests = bucket.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "HEAD");
    EXPECT_EQ(requests[0].query, "objectMeta");
    EXPECT_FALSE(fs::exists(StagingFolder() / "none.zip"));
    EXPECT_EQ(client.completedDownloads, 0);
    EXPECT_EQ(Log(), std::vector<std::string>{std::string("9.5BRivostelIE/none.zip") + kMissing});
}

TEST_F(PackageDownloadTest, ObjectReplacesAnExistingFileAndReportsItsWholeSize) {
    const std::string body = testing_oss::TestBytes(300000);
    bucket.putObject("9.5BRivostelIE/base.zip", body);
    testsupport::WriteFileBytes(StagingFolder() / "base.zip", std::string(500000, 'x'));
    client.completedDownloads = 1;
    EXPECT_TRUE(DownloadObject(client, "9.5BRivostelIE/base.zip", LocalPath("base.zip")));
    EXPECT_EQ(Read(StagingFolder() / "base.zip"), body);
    EXPECT_EQ(client.completedDownloads, 2);
    std::vector<LPARAM> progress = ProgressValues();
    ASSERT_FALSE(progress.empty());
    EXPECT_GE(progress.front(), 16);
    EXPECT_EQ(progress.back(), 32);
    EXPECT_TRUE(Log().empty());
}

TEST_F(PackageDownloadTest, EmptyObjectMakesNoFileAndNoProgress) {
    bucket.putObject("9.5BRivostelIE/config.zip", "");
    EXPECT_TRUE(DownloadObject(client, "9.5BRivostelIE/config.zip", LocalPath("config.zip")));
    EXPECT_FALSE(fs::exists(StagingFolder() / "config.zip"));
    EXPECT_EQ(client.completedDownloads, 1);
    EXPECT_TRUE(ProgressValues().empty());
}

TEST_F(PackageDownloadTest, TransferOfUnknownSizeStaysAtTheStartOfItsPart) {
    bucket.addFaults(R"({"method": "GET", "no_content_length": true})");
    client.completedDownloads = 2;
    EXPECT_TRUE(DownloadObject(client, "9.5BRivostelIE/config.zip", LocalPath("config.zip")));
    std::vector<LPARAM> progress = ProgressValues();
    ASSERT_FALSE(progress.empty());
    for (LPARAM value : progress)
        EXPECT_EQ(value, 32);
}

TEST_F(PackageDownloadTest, FailedTransferCountsAndItsLineIsCutToTheBuffer) {
    const std::string message(3000, 'm');
    bucket.addFaults(R"({"method": "GET", "status": 403, "message": ")" + message + R"("})");
    EXPECT_FALSE(DownloadObject(client, "9.5BRivostelIE/config.zip", LocalPath("config.zip")));
    EXPECT_EQ(client.completedDownloads, 1);
    EXPECT_FALSE(fs::exists(StagingFolder() / "config.zip"));
    std::vector<std::string> log = Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].size(), 2045u);
    EXPECT_EQ(log[0].rfind("Downfile Fail,code:AccessDenied,message:mmm", 0), 0u) << log[0];
}

// Over HTTPS the certificate decides: one of the given CA downloads; a refused one is no
// missing object, and the log line says what was wrong with it.
TEST_F(PackageDownloadTest, OverHttpsARefusedCertificateIsLoggedWithItsReason) {
    const testing_oss::TestCertificates& certificates = testing_oss::GetTestCertificates();
    auto serving = [&](const std::string& certificate) {
        testing_oss::LocalBucket::Options options;
        options.tlsCertificate = certificate;
        options.tlsKey = certificates.key;
        return options;
    };
    testing_oss::LocalBucket good(serving(certificates.good));
    testing_oss::LocalBucket expired(serving(certificates.expired));
    good.putObject("9.5BRivostelIE/base.zip", "base");
    expired.putObject("9.5BRivostelIE/base.zip", "base");
    StorageAccount account = BuildStorageAccount();
    account.caBundleFile = certificates.ca;

    account.endpoint = good.endpoint();
    CreateStorageClient(client, account);
    EXPECT_TRUE(DownloadObject(client, "9.5BRivostelIE/base.zip", LocalPath("base.zip")));
    EXPECT_EQ(Read(StagingFolder() / "base.zip"), "base");
    fs::remove(StagingFolder() / "base.zip");

    account.endpoint = expired.endpoint();
    CreateStorageClient(client, account);
    EXPECT_FALSE(DownloadObject(client, "9.5BRivostelIE/base.zip", LocalPath("base.zip")));
    EXPECT_FALSE(fs::exists(StagingFolder() / "base.zip"));
    EXPECT_EQ(client.completedDownloads, 0);
    std::vector<std::string> log = Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("9.5BRivostelIE/base.zip,Request Fail,code:ClientError:200060,message:"
                           "SSL peer certificate",
                           0),
              0u)
        << log[0];
    EXPECT_NE(log[0].find("certificate has expired"), std::string::npos) << log[0];
}

struct ManifestCase {
    const char* name;
    const char* manifest;  // null: no manifest in the bucket
    bool read;
    long long stamp;
    const char* fix;
    const char* quant;
    int plannedDownloads;
};

// Test listings name a case by its name, not by its bytes.
void PrintTo(const ManifestCase& row, std::ostream* out) {
    *out << row.name;
}

class ManifestTest : public PackageDownloadTest,
                     public ::testing::WithParamInterface<ManifestCase> {};

TEST_P(ManifestTest, ReadsThisBrokersVersions) {
    const ManifestCase& row = GetParam();
    if (row.manifest)
        PutManifest(row.manifest);
    else
        RemoveObject("/summary.ini");
    EXPECT_EQ(ReadRemoteManifest(client), row.read);
    EXPECT_EQ(client.configStamp, row.stamp);
    EXPECT_STREQ(client.fixVersion, row.fix);
    EXPECT_STREQ(client.quantVersion, row.quant);
    EXPECT_EQ(client.hasQuant, row.quant[0] != '\0');
    EXPECT_EQ(client.plannedDownloads, row.plannedDownloads);

    SaveInstalledVersions(client);
    const std::string manifest = GetInstallerSettings().stagingFolder + "\\update.ini";
    char value[64] = {};
    GetPrivateProfileStringA("cfgstamp", "time", "-", value, sizeof value, manifest.c_str());
    EXPECT_EQ(std::stoll(value), row.stamp);
    GetPrivateProfileStringA("version", "cur", "-", value, sizeof value, manifest.c_str());
    EXPECT_STREQ(value, row.fix);
    GetPrivateProfileStringA("version", "quant", "-", value, sizeof value, manifest.c_str());
    EXPECT_STREQ(value, row.quant);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ManifestTest,
    ::testing::Values(
        ManifestCase{"Missing", nullptr, false, 0, "", "", 5},
        ManifestCase{"WithQuant",
                     "[cfgstamp]\ntime=42\n[fixstamp]\n471203=9.5.7.2\n[quant]\n"
                     "471203=9.5.1.3\n",
                     true, 42, "9.5.7.2", "9.5.1.3", 6},
        ManifestCase{"EmptyQuant", "[fixstamp]\n471203=9.5.7.2\n[quant]\n471203=\n", true, 0,
                     "9.5.7.2", "", 5},
        ManifestCase{"OtherBrokerOnly",
                     "[cfgstamp]\ntime=7\n[fixstamp]\n100001=9.5.6.0\n[quant]\n100001=9.5.0.9\n",
                     true, 7, "", "", 5},
        ManifestCase{"LongVersionIsCut", "[fixstamp]\n471203=9.5.7.2-abcdefghijklmnopq\n", true, 0,
                     "9.5.7.2-abcdefghijkl", "", 5},
        ManifestCase{"BlankThenNumber", "[cfgstamp]\ntime= 987\n", true, 987, "", "", 5},
        ManifestCase{"NoDigits", "[cfgstamp]\ntime=abc\n", true, 0, "", "", 5}),
    [](const ::testing::TestParamInfo<ManifestCase>& info) { return info.param.name; });

TEST_F(PackageDownloadTest, CutVersionNamesTheObjectAndTheLocalFile) {
    PutManifest("[fixstamp]\r\n471203=9.5.7.2-abcdefghijklmnopq\r\n");
    bucket.putObject("9.5BRivostelIE/fix/9.5.7.2-abcdefghijkl.zip", "runtime");
    ASSERT_TRUE(ReadRemoteManifest(client));
    EXPECT_TRUE(DownloadRuntimePackage(client, std::string(client.fixVersion) + ".zip"));
    EXPECT_EQ(Read(StagingFolder() / "9.5.7.2-abcdefghijkl.zip"), "runtime");
}

TEST_F(PackageDownloadTest, WithoutManifestTheWorkerFailsAtTheRuntimeKey) {
    RemoveObject("/summary.ini");
    EXPECT_FALSE(ReadRemoteManifest(client));
    // The manifest's missing object was no download: the base package covers the first part.
    EXPECT_EQ(Condense(RunWorker()), "S2 P16 S3 P32 S4 F4");
    std::vector<std::string> log = Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], std::string("9.5BRivostelIE/fix/.zip") + kMissing);
}

}  // namespace
}  // namespace installtest
