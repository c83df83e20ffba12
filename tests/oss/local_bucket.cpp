#include "local_bucket.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <strings.h>

extern char** environ;

namespace testing_oss {

namespace {

size_t AppendText(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

// Reads the first line the server prints (its port), waiting at most 20 s.
int ReadPort(int fd) {
    std::string line;
    char c;
    while (line.find('\n') == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20000) <= 0 || read(fd, &c, 1) != 1) {
            return 0;
        }
        line += c;
    }
    return std::atoi(line.c_str());
}

}  // namespace

bool RecordedRequest::hasHeader(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (strcasecmp(key.c_str(), name.c_str()) == 0) {
            return true;
        }
    }
    return false;
}

std::string RecordedRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (strcasecmp(key.c_str(), name.c_str()) == 0) {
            return value;
        }
    }
    return "";
}

LocalBucket::LocalBucket(const Options& options) : options_(options) {
    char pattern[] = "/tmp/local-bucket-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) {
        ADD_FAILURE() << "mkdtemp failed";
        return;
    }
    root_ = made;
    std::vector<std::string> args = {"python3",  LOCAL_BUCKET_SCRIPT, "--root", root_.string(),
                                     "--bucket", options_.bucket,     "--quiet"};
    if (options_.anonymous) {
        args.push_back("--anonymous");
    }
    args.push_back("--account");
    args.push_back(options_.accessKeyId + ":" + options_.accessKeySecret);
    if (!options_.tlsCertificate.empty()) {
        args.insert(args.end(),
                    {"--tls-cert", options_.tlsCertificate, "--tls-key", options_.tlsKey});
    }
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    int fds[2];
    if (pipe(fds) != 0) {
        ADD_FAILURE() << "pipe failed";
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    const int rc = posix_spawnp(&pid_, "python3", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        pid_ = -1;
        close(fds[0]);
        ADD_FAILURE() << "cannot start " << LOCAL_BUCKET_SCRIPT;
        return;
    }
    port_ = ReadPort(fds[0]);
    close(fds[0]);
    if (port_ <= 0) {
        ADD_FAILURE() << "local bucket did not report its port";
    }
}

LocalBucket::~LocalBucket() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    if (!root_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
}

std::string LocalBucket::endpoint() const {
    const std::string scheme = options_.tlsCertificate.empty() ? "" : "https://";
    return scheme + "127.0.0.1:" + std::to_string(port_);
}

std::filesystem::path LocalBucket::objectFile(const std::string& key) const {
    return root_ / options_.bucket / key;
}

void LocalBucket::putObject(const std::string& key, const std::string& data) {
    const std::filesystem::path file = objectFile(key);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    ASSERT_TRUE(out.good()) << file;
}

void LocalBucket::addFaults(const std::string& json) {
    control("POST", "/_local/faults", json);
}

void LocalBucket::setClockOffset(int64_t seconds) {
    control("POST", "/_local/clock", "{\"offset\": " + std::to_string(seconds) + "}");
}

void LocalBucket::clearRequests() {
    control("DELETE", "/_local/requests", "");
}

std::vector<RecordedRequest> LocalBucket::requests() {
    std::istringstream text(control("GET", "/_local/requests?format=text", ""));
    std::vector<RecordedRequest> result;
    std::string line;
    while (std::getline(text, line)) {
        if (line.rfind("request ", 0) == 0) {
            RecordedRequest r;
            std::istringstream fields(line.substr(8));
            fields >> r.seq >> r.elapsed >> r.connection >> r.status;
            result.push_back(r);
        } else if (result.empty()) {
            continue;
        } else if (line.rfind("method ", 0) == 0) {
            result.back().method = line.substr(7);
        } else if (line.rfind("path ", 0) == 0) {
            result.back().path = line.substr(5);
        } else if (line.rfind("query ", 0) == 0) {
            result.back().query = line.substr(6);
        } else if (line.rfind("header ", 0) == 0) {
            const size_t colon = line.find(": ", 7);
            if (colon != std::string::npos) {
                result.back().headers.emplace_back(line.substr(7, colon - 7),
                                                   line.substr(colon + 2));
            }
        }
    }
    return result;
}

std::string LocalBucket::control(const std::string& method, const std::string& path,
                                 const std::string& body) {
    std::string answer;
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        ADD_FAILURE() << "curl_easy_init failed";
        return answer;
    }
    const std::string url = (options_.tlsCertificate.empty() ? "http://" : "") + endpoint() + path;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    // The test's own control channel trusts the server whatever certificate it was given.
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    if (!body.empty()) {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &AppendText);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    const CURLcode rc = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    EXPECT_EQ(rc, CURLE_OK) << method << " " << path;
    EXPECT_EQ(status, 200) << method << " " << path << ": " << answer;
    return answer;
}

namespace {

// A TCP socket bound to a free loopback port, listening when asked; its port, or 0 with a test
// failure.
int BindLoopbackSocket(int fd, bool listening) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        (listening && listen(fd, 8) != 0) ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ADD_FAILURE() << "cannot " << (listening ? "listen on" : "bind") << " a loopback port";
        return 0;
    }
    return ntohs(address.sin_port);
}

}  // namespace

RefusingPort::RefusingPort() {
    socket_ = socket(AF_INET, SOCK_STREAM, 0);
    port_ = BindLoopbackSocket(socket_, false);
}

RefusingPort::~RefusingPort() {
    if (socket_ >= 0) {
        close(socket_);
    }
}

SilentListener::SilentListener() {
    socket_ = socket(AF_INET, SOCK_STREAM, 0);
    port_ = BindLoopbackSocket(socket_, true);
}

SilentListener::~SilentListener() {
    if (socket_ >= 0) {
        close(socket_);
    }
}

std::string SilentListener::url() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

bool SilentListener::connectionWaiting() const {
    pollfd waiting{socket_, POLLIN, 0};
    return poll(&waiting, 1, 0) > 0 && (waiting.revents & POLLIN) != 0;
}

const TestCertificates& GetTestCertificates() {
    static const TestCertificates* made = [] {
        char pattern[] = "/tmp/test-certificates-XXXXXX";
        const char* folder = mkdtemp(pattern);
        if (folder == nullptr) {
            ADD_FAILURE() << "mkdtemp failed";
            return new TestCertificates();
        }
        static const std::string dir = folder;
        const std::string command = "'" MAKE_TEST_CERTIFICATES_SCRIPT "' '" + dir + "'";
        if (std::system(command.c_str()) != 0) {
            ADD_FAILURE() << "cannot make the test certificates: " << command;
        }
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        });
        return new TestCertificates{dir + "/ca.crt",         dir + "/server.key",
                                    dir + "/good.crt",       dir + "/expired.crt",
                                    dir + "/wrong-host.crt", dir + "/untrusted.crt"};
    }();
    return *made;
}

std::string TestBytes(size_t n, uint32_t seed) {
    std::mt19937 random(seed);
    std::string data(n, '\0');
    for (char& c : data) {
        c = static_cast<char>(random() & 0xFF);
    }
    return data;
}

}  // namespace testing_oss
