// Downloads one object through OssClient::GetObject into a file and reports the throughput and
// the process's peak resident memory. Run by bench/run_all.py (./run bench) beside curl; usage:
//   oss_download_bench ENDPOINT BUCKET KEY OUTPUT_FILE
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>

#include "oss/oss_client.h"
#include "oss/sdk.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s ENDPOINT BUCKET KEY OUTPUT_FILE\n", argv[0]);
        return 2;
    }
    const std::string output = argv[4];
    oss::InitializeSdk();
    int status = 1;
    {
        oss::OssClientSettings settings;
        oss::OssClient client(argv[1], "bench-id", "bench-secret", settings);
        oss::GetObjectRequest request(argv[2], argv[3]);
        request.SetResponseStreamFactory([output] {
            return std::make_shared<std::fstream>(
                output, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
        });
        const auto start = std::chrono::steady_clock::now();
        auto outcome = client.GetObject(request);
        if (outcome.succeeded()) {
            outcome.result().content()->flush();
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (outcome.succeeded()) {
            const double bytes = static_cast<double>(outcome.result().metadata().contentLength());
            rusage usage{};
            getrusage(RUSAGE_SELF, &usage);
            std::printf("bytes %.0f seconds %.3f mbps %.1f peak_rss_kib %ld\n", bytes, seconds,
                        bytes / seconds / 1e6, usage.ru_maxrss);
            status = 0;
        } else {
            std::fprintf(stderr, "download failed: %s %s\n", outcome.error().code.c_str(),
                         outcome.error().message.c_str());
        }
    }
    oss::ShutdownSdk();
    return status;
}
