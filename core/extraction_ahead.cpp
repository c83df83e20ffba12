#include "core/extraction_ahead.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "unzip/zip_extraction.h"

namespace {

// Whether two paths name one file on Windows: equal but for the case of ASCII letters.
bool SameFile(const std::string& a, const std::string& b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

// Whether two packages are one file (a Quant version equal to the runtime's): a later download
// would replace a file that may be under extraction.
bool ShareAFile(const std::vector<ExtractionAhead::Package>& packages) {
    for (std::size_t i = 0; i < packages.size(); ++i)
        for (std::size_t j = i + 1; j < packages.size(); ++j)
            if (SameFile(packages[i].archive, packages[j].archive))
                return true;
    return false;
}

}  // namespace

ExtractionAhead::ExtractionAhead(std::vector<Package> packagesInOrder, const InstallStop& stop)
    : packages(std::move(packagesInOrder)), stop(stop), arrived(packages.size(), false) {
    if (ShareAFile(packages)) {
        ended = true;  // every step extracts its own package, as one by one
        return;
    }
    try {
        thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        ended = true;  // no thread: every step extracts its own package
    }
}

ExtractionAhead::~ExtractionAhead() {
    {
        std::lock_guard lock(mutex);
        abandoned = true;
    }
    changed.notify_all();
    if (thread.joinable())
        thread.join();
}

void ExtractionAhead::Arrived(const std::string& archive) {
    std::lock_guard lock(mutex);
    for (std::size_t i = 0; i < packages.size(); ++i)
        if (packages[i].archive == archive)
            arrived[i] = true;
    changed.notify_all();
}

bool ExtractionAhead::TakeExtracted(const std::string& archive) {
    std::unique_lock lock(mutex);
    downloadsOver = true;
    changed.notify_all();
    std::size_t index = 0;
    while (index < packages.size() && packages[index].archive != archive)
        ++index;
    if (index == packages.size())
        return false;
    changed.wait(lock, [&] { return ended || extracted > index; });
    return extracted > index;
}

bool ExtractionAhead::Abandoned() const {
    std::lock_guard lock(mutex);
    return abandoned;
}

void ExtractionAhead::Run() {
    std::unique_lock lock(mutex);
    for (std::size_t next = 0; next < packages.size(); ++next) {
        changed.wait(lock, [&] { return abandoned || downloadsOver || arrived[next]; });
        if (abandoned || !arrived[next])
            break;
        lock.unlock();
        const Package& package = packages[next];
        const bool whole = ExtractZipArchive(
            package.archive.c_str(), package.folder.c_str(),
            [this] { return stop.Requested() || Abandoned(); }, UnreplaceableFile::kFail);
        lock.lock();
        if (!whole)
            break;
        extracted = next + 1;
        changed.notify_all();
    }
    ended = true;
    changed.notify_all();
}
