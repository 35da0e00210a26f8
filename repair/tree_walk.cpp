#include "repair/tree_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "kernel/files/file_utils.h"

namespace ZephPatch {
namespace {

enum class EntryKind { kFolder, kFile, kUnreadable, kLinkedFolder };

// One folder's entries, read and examined through the folder's descriptor: each status call
// then resolves one name instead of the whole path.
class Folder {
public:
    explicit Folder(const std::string& path) : m_dir(opendir(path.c_str())) {}
    ~Folder() {
        if (m_dir)
            closedir(m_dir);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    // The names of the entries but "." and "..".
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        while (m_dir) {
            const dirent* entry = readdir(m_dir);
            if (!entry)
                break;
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
        }
        return names;
    }

    EntryKind StatusOf(const std::string& name, WalkedFile* file) const {
        struct stat info;
        const int fd = dirfd(m_dir);
        if (fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            return EntryKind::kUnreadable;
        const bool link = S_ISLNK(info.st_mode);
        if (link && fstatat(fd, name.c_str(), &info, 0) != 0)
            return EntryKind::kUnreadable;
        if (S_ISDIR(info.st_mode))
            return link ? EntryKind::kLinkedFolder : EntryKind::kFolder;
        file->readable = true;
        file->size = static_cast<uint64_t>(info.st_size);
        file->time = static_cast<int64_t>(info.st_mtime);
        return EntryKind::kFile;
    }

private:
    DIR* m_dir;
};

struct PendingFolder {
    std::string path;
    std::string key;
};

// Folders handed out to the threads one at a time; the walk ends when none is left and none
// is being listed (a folder being listed may still add others).
class FolderQueue {
public:
    FolderQueue(PendingFolder root, const std::atomic<bool>* cancel)
        : m_folders{std::move(root)}, m_cancel(cancel) {}

    bool Take(PendingFolder* folder) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return !m_folders.empty() || m_listing == 0; });
        if (m_folders.empty() || (m_cancel && *m_cancel))
            return false;
        *folder = std::move(m_folders.front());
        m_folders.pop_front();
        ++m_listing;
        return true;
    }

    void Done(std::vector<PendingFolder>& found) {
        std::lock_guard lock(m_mutex);
        for (PendingFolder& folder : found)
            m_folders.push_back(std::move(folder));
        --m_listing;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<PendingFolder> m_folders;
    const std::atomic<bool>* m_cancel;
    int m_listing = 0;
};

void ListFolders(FolderQueue& queue, std::vector<WalkedFile>* files) {
    PendingFolder folder;
    while (queue.Take(&folder)) {
        std::vector<PendingFolder> found;
        const Folder listing(folder.path);
        for (std::string& name : listing.Names()) {
            WalkedFile file;
            const EntryKind kind = listing.StatusOf(name, &file);
            if (kind == EntryKind::kLinkedFolder)
                continue;
            file.path = ZephUtil::JoinPath(folder.path, name);
            file.key = folder.key.empty() ? std::move(name) : folder.key + '\\' + name;
            if (kind == EntryKind::kFolder)
                found.push_back({std::move(file.path), std::move(file.key)});
            else
                files->push_back(std::move(file));
        }
        queue.Done(found);
    }
}

}  // namespace

std::vector<WalkedFile> WalkTree(const std::string& root, const std::atomic<bool>* cancel) {
    FolderQueue queue({ZephUtil::FsPath(root), ""}, cancel);
    const unsigned threads = std::max(std::thread::hardware_concurrency(), 1u);
    std::vector<std::vector<WalkedFile>> found(threads);
    std::vector<std::thread> helpers;
    for (unsigned i = 1; i < threads; ++i)
        helpers.emplace_back([&, i] { ListFolders(queue, &found[i]); });
    ListFolders(queue, &found[0]);
    for (std::thread& helper : helpers)
        helper.join();
    std::vector<WalkedFile> files;
    for (std::vector<WalkedFile>& part : found)
        std::move(part.begin(), part.end(), std::back_inserter(files));
    std::sort(files.begin(), files.end(),
              [](const WalkedFile& a, const WalkedFile& b) { return a.key < b.key; });
    return files;
}

}  // namespace ZephPatch
