#include "repair/tree_walk.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "kernel/files/file_utils.h"
#include "repair/folder_listing.h"

namespace ZephPatch {
namespace {

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
        for (ListedEntry& entry : ListFolderEntries(folder.path)) {
            if (entry.kind == EntryKind::kLinkedFolder)
                continue;
            WalkedFile file;
            file.path = ZephUtil::JoinPath(folder.path, entry.name);
            file.key = folder.key.empty() ? std::move(entry.name) : folder.key + '\\' + entry.name;
            if (entry.kind == EntryKind::kFolder) {
                found.push_back({std::move(file.path), std::move(file.key)});
                continue;
            }
            file.readable = entry.kind == EntryKind::kFile;
            file.size = entry.size;
            file.time = entry.time;
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
