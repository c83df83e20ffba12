#include "core/extraction_ahead.h"

#include <system_error>
#include <utility>

#include "unzip/zip_extraction.h"

ExtractionAhead::ExtractionAhead(std::vector<Package> packagesInOrder, const InstallStop& stop)
    : packages(std::move(packagesInOrder)), stop(stop), arrived(packages.size(), false) {
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
