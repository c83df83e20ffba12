// Runs tools/local-bucket on a free loopback port for one test and talks to its control
// interface: scripted faults, the server clock, and the requests it received.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace testing_oss {

struct RecordedRequest {
    int seq = 0;
    double elapsed = 0;  // seconds since the server started, when the request arrived
    int connection = 0;  // TCP connection number, counted from 1
    int status = 0;      // status answered, 0 when none was
    std::string method;
    std::string path;   // as sent, percent-encoded
    std::string query;  // without "?"
    std::vector<std::pair<std::string, std::string>> headers;

    bool hasHeader(const std::string& name) const;
    // Case-insensitive; "" when absent.
    std::string header(const std::string& name) const;
};

class LocalBucket {
  public:
    struct Options {
        bool anonymous = false;  // also accept unsigned requests
        std::string accessKeyId = INSTALLER_OSS_ACCESS_KEY_ID;
        std::string accessKeySecret = INSTALLER_OSS_ACCESS_KEY_SECRET;
        std::string bucket = INSTALLER_OSS_BUCKET;
        // With both set, the server speaks HTTPS with this PEM certificate and key.
        std::string tlsCertificate;
        std::string tlsKey;
    };

    // Starts the server over a new temporary folder; fails the test (ADD_FAILURE) when it does
    // not come up.
    LocalBucket() : LocalBucket(Options()) {}
    explicit LocalBucket(const Options& options);
    // Stops the server and removes its folder.
    ~LocalBucket();

    LocalBucket(const LocalBucket&) = delete;
    LocalBucket& operator=(const LocalBucket&) = delete;

    int port() const { return port_; }
    // "127.0.0.1:<port>", for path-style addressing; "https://127.0.0.1:<port>" over TLS.
    std::string endpoint() const;
    const std::string& bucket() const { return options_.bucket; }
    std::filesystem::path objectFile(const std::string& key) const;

    void putObject(const std::string& key, const std::string& data);
    // A JSON rule or list of rules, as the server's usage comment describes.
    void addFaults(const std::string& json);
    void setClockOffset(int64_t seconds);
    std::vector<RecordedRequest> requests();
    void clearRequests();

  private:
    std::string control(const std::string& method, const std::string& path,
                        const std::string& body);

    Options options_;
    std::filesystem::path root_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// A loopback port that refuses connections: bound, never listening, and held until destruction
// so that no other process can take it meanwhile.
class RefusingPort {
  public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    int port() const { return port_; }

  private:
    int socket_ = -1;
    int port_ = 0;
};

// A loopback port that listens but never accepts: a connection to it waits in the backlog, where
// connectionWaiting() sees it. Stands in for a proxy that must not be used.
class SilentListener {
  public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    int port() const { return port_; }
    // "http://127.0.0.1:<port>".
    std::string url() const;
    bool connectionWaiting() const;

  private:
    int socket_ = -1;
    int port_ = 0;
};

// The test CA and server certificates of tests/support/make-test-certificates, made once per
// process in a temporary folder (removed at exit). Each member is a file path.
struct TestCertificates {
    std::string ca;         // the test CA, to be given to a client as its CA bundle
    std::string key;        // the private key of every server certificate
    std::string good;       // 127.0.0.1 and localhost, signed by the test CA
    std::string expired;    // the same, valid only in January 2020
    std::string wrongHost;  // signed by the test CA for wrong-host.invalid
    std::string untrusted;  // 127.0.0.1 and localhost, signed by a CA nobody trusts
};
const TestCertificates& GetTestCertificates();

// Bytes 0..n-1 of a fixed pseudo-random sequence.
std::string TestBytes(size_t n, uint32_t seed = 1);

}  // namespace testing_oss
