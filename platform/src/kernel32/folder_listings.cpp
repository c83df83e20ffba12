#include "kernel32/folder_listings.h"

#include "kernel32/paths.h"

#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>

namespace winlayer {
namespace {

constexpr size_t kMaxListings = 256;  // folders followed at once; more start afresh
constexpr uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                             IN_MOVE_SELF | IN_ONLYDIR;

std::string Folded(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        c = AsciiLower(c);
    return out;
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

// The names of one folder by their folded form.
struct Listing {
    dev_t device = 0;
    ino_t inode = 0;
    std::unordered_map<std::string, std::set<std::string>> names;

    void Add(const std::string& name) { names[Folded(name)].insert(name); }
    void Remove(const std::string& name) {
        auto it = names.find(Folded(name));
        if (it != names.end() && it->second.erase(name) && it->second.empty())
            names.erase(it);
    }
};

class FolderListings {
  public:
    // Looks `name` up in the listing of `folder` into *found; false when no listing can be had,
    // so that the caller reads the folder itself.
    bool Find(const std::string& folder, const std::string& name,
              std::optional<std::string>* found) {
        std::lock_guard<std::mutex> lock(mutex_);
        *found = std::nullopt;
        if (!Ready())
            return false;
        ApplyEvents();
        struct stat st;
        if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return true;
        Listing* listing = Follow(folder, st);
        if (listing == nullptr)
            return false;
        auto it = listing->names.find(Folded(name));
        if (it != listing->names.end())
            *found = *it->second.begin();
        return true;
    }

  private:
    // An inotify instance of this process: one inherited through fork is another process's,
    // whose events must not be taken from it.
    bool Ready() {
        if (fd_ >= 0 && owner_ == getpid())
            return true;
        if (fd_ >= 0)
            close(fd_);
        byWatch_.clear();
        byPath_.clear();
        owner_ = getpid();
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        return fd_ >= 0;
    }

    // Brings every listing up to date with the changes reported so far. The kernel queues an
    // event before the call that made the change returns, so every change that happened before
    // this call is seen.
    void ApplyEvents() {
        alignas(inotify_event) char buffer[16384];
        for (;;) {
            ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            for (char* p = buffer; p < buffer + n;) {
                auto* event = reinterpret_cast<inotify_event*>(p);
                p += sizeof(inotify_event) + event->len;
                if (event->mask & IN_Q_OVERFLOW) {
                    ForgetAll();
                    continue;
                }
                auto it = byWatch_.find(event->wd);
                if (it == byWatch_.end())
                    continue;
                std::string entry = event->len > 0 ? std::string(event->name) : std::string();
                if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT))
                    Forget(event->wd, (event->mask & IN_IGNORED) == 0);
                else if (event->mask & (IN_CREATE | IN_MOVED_TO))
                    it->second.Add(entry);
                else if (event->mask & (IN_DELETE | IN_MOVED_FROM))
                    it->second.Remove(entry);
            }
        }
    }

    // The listing of the folder that `folder` names now, made when there is none: the watch is
    // set before the folder is read, so that no change falls between the two.
    Listing* Follow(const std::string& folder, const struct stat& st) {
        auto path = byPath_.find(folder);
        if (path != byPath_.end()) {
            auto it = byWatch_.find(path->second);
            if (it != byWatch_.end() && it->second.device == st.st_dev &&
                it->second.inode == st.st_ino)
                return &it->second;
            byPath_.erase(path);  // the path names another folder now
        }
        if (byWatch_.size() >= kMaxListings)
            ForgetAll();
        int wd = inotify_add_watch(fd_, folder.c_str(), kEvents);
        if (wd < 0)
            return nullptr;
        auto [it, added] = byWatch_.try_emplace(wd);
        Listing& listing = it->second;
        if (added || listing.inode != st.st_ino || listing.device != st.st_dev) {
            std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
            if (!dir) {
                Forget(wd, true);
                return nullptr;
            }
            listing = Listing{st.st_dev, st.st_ino, {}};
            while (dirent* entry = readdir(dir.get()))
                listing.Add(entry->d_name);
        }
        byPath_[folder] = wd;
        return &listing;
    }

    void Forget(int wd, bool removeWatch) {
        if (removeWatch)
            inotify_rm_watch(fd_, wd);
        byWatch_.erase(wd);
        for (auto it = byPath_.begin(); it != byPath_.end();)
            it = it->second == wd ? byPath_.erase(it) : std::next(it);
    }

    void ForgetAll() {
        for (const auto& [wd, listing] : byWatch_)
            inotify_rm_watch(fd_, wd);
        byWatch_.clear();
        byPath_.clear();
    }

    std::mutex mutex_;
    int fd_ = -1;
    pid_t owner_ = 0;
    std::unordered_map<int, Listing> byWatch_;
    std::unordered_map<std::string, int> byPath_;
};

FolderListings& Listings() {
    static FolderListings* listings = new FolderListings;  // used until the process ends
    return *listings;
}

// Without a listing (inotify unavailable, or the watch limit reached), the folder is read.
std::optional<std::string> ScanFolder(const std::string& folder, const std::string& name) {
    std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
    if (!dir)
        return std::nullopt;
    std::optional<std::string> best;
    while (dirent* entry = readdir(dir.get())) {
        if (EqualsIgnoringCase(entry->d_name, name) && (!best || entry->d_name < *best))
            best = entry->d_name;
    }
    return best;
}

}  // namespace

std::optional<std::string> FindInFolderIgnoringCase(const std::string& folder,
                                                    const std::string& name) {
    std::optional<std::string> found;
    if (Listings().Find(folder, name, &found))
        return found;
    return ScanFolder(folder, name);
}

}  // namespace winlayer
