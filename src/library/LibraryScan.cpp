// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/LibraryScan.h"

#include "util/LegacyText.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <system_error>
#include <unordered_set>

namespace fs = std::filesystem;

namespace {

// Deeper trees than this are not patch banks but something the user pointed at by mistake.
constexpr int kMaxDepth = 16;

bool IsPatchFileName(const std::string& name) {
    if (name.size() < 5 || name.front() == '.') return false;
    std::string ext = name.substr(name.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    return ext == ".qnp";
}

std::int64_t Nanoseconds(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

std::string Normal(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(path), ec);
    if (ec) p = fs::path(path);
    std::string s = p.lexically_normal().string();
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

bool Cancelled(const std::atomic<bool>* cancel) { return cancel != nullptr && cancel->load(std::memory_order_relaxed); }

}  // namespace

std::vector<LibraryRoot> LibraryRoots(const std::string& programFolder, const std::string& userFolder,
                                      const std::vector<std::string>& addedFolders) {
    std::vector<LibraryRoot> roots;
    auto add = [&roots](const std::string& path, std::string bank, bool recursive) {
        if (path.empty()) return;
        const std::string normal = Normal(path);
        for (const LibraryRoot& r : roots)
            if (r.path == normal) return;
        roots.push_back({normal, std::move(bank), recursive});
    };
    add(programFolder, "", false);
    add(userFolder, "", true);
    for (const std::string& folder : addedFolders) {
        std::string name = DecodeLegacyText(fs::path(Normal(folder)).filename().string());
        add(folder, name.empty() ? std::string("/") : name, true);
    }
    return roots;
}

namespace {

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};

// Walks one folder with its descriptor: names are looked up relative to it, not through the whole path
// again, which is most of the cost of checking ten thousand files.
struct Walker {
    std::vector<FileStamp>& files;
    std::unordered_set<std::string>& seen;
    const std::atomic<bool>* cancel;
    std::vector<std::string>* folders;
    std::vector<FolderStamp>* stamps;

    void Walk(const std::string& folder, const std::string& bank, bool recursive, int depth) {
        if (Cancelled(cancel)) return;
        std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
        if (!dir) return;
        if (folders != nullptr) folders->push_back(folder);
        const int fd = ::dirfd(dir.get());
        // Before the names are read: a change made while they are read shows as a new time next time.
        if (stamps != nullptr) {
            struct stat self {};
            stamps->push_back({folder, ::fstat(fd, &self) == 0 ? Nanoseconds(self.st_mtim) : -1});
        }
        std::vector<std::string> subfolders;
        while (const dirent* e = ::readdir(dir.get())) {
            const std::string name = e->d_name;
            if (name.empty() || name.front() == '.') continue;
            unsigned char type = e->d_type;
            struct stat st {};
            if (type == DT_UNKNOWN) {
                if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
                type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : S_ISREG(st.st_mode) ? DT_REG : 0;
            }
            if (type == DT_DIR) {
                if (recursive && depth < kMaxDepth) subfolders.push_back(name);
                continue;
            }
            if ((type != DT_REG && type != DT_LNK) || !IsPatchFileName(name)) continue;
            std::string path = folder == "/" ? "/" + name : folder + "/" + name;
            // One stat, following links: it gives the key and tells files from folders, pipes and devices
            // named like patches, which are not listed. A link that leads nowhere is listed, as unreadable.
            FileStamp stamp{std::move(path), bank, 0, 0};
            if (::fstatat(fd, name.c_str(), &st, 0) == 0) {
                if (!S_ISREG(st.st_mode)) continue;
                stamp.size = static_cast<std::uint64_t>(st.st_size);
                stamp.mtime = Nanoseconds(st.st_mtim);
            }
            if (!seen.insert(stamp.path).second) continue;
            files.push_back(std::move(stamp));
        }
        dir.reset();
        std::sort(subfolders.begin(), subfolders.end());
        for (const std::string& sub : subfolders) {
            const std::string shown = DecodeLegacyText(sub);
            Walk(folder == "/" ? "/" + sub : folder + "/" + sub, bank.empty() ? shown : bank + "/" + shown, true,
                 depth + 1);
        }
    }
};

}  // namespace

std::vector<FileStamp> ScanLibrary(const std::vector<LibraryRoot>& roots, const std::atomic<bool>* cancel,
                                   std::vector<std::string>* folders, std::vector<FolderStamp>* stamps) {
    std::vector<FileStamp> files;
    std::unordered_set<std::string> seen;
    Walker walker{files, seen, cancel, folders, stamps};
    for (const LibraryRoot& root : roots) walker.Walk(root.path, root.bank, root.recursive, 0);
    std::sort(files.begin(), files.end(), [](const FileStamp& a, const FileStamp& b) { return a.path < b.path; });
    return files;
}

std::string RootsKey(const std::vector<LibraryRoot>& roots) {
    std::string key;
    for (const LibraryRoot& r : roots) {
        // Zero bytes cannot occur in paths or folder names: they keep the fields apart.
        key.append(r.path).append(1, '\0').append(r.bank).append(1, '\0').append(r.recursive ? "r" : "f");
        key.append(1, '\0');
    }
    return key;
}

bool FoldersUnchanged(const std::vector<LibraryRoot>& roots, const ScanRecord& record) {
    if (record.roots != RootsKey(roots) || record.folders.empty()) return false;
    for (const FolderStamp& f : record.folders) {
        struct stat st {};
        if (f.mtime < 0 || ::stat(f.path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            Nanoseconds(st.st_mtim) != f.mtime)
            return false;
    }
    // A root that could not be opened then is not in the record: it may hold patches now.
    for (const LibraryRoot& r : roots) {
        const bool listed = std::any_of(record.folders.begin(), record.folders.end(),
                                        [&r](const FolderStamp& f) { return f.path == r.path; });
        struct stat st {};
        if (!listed && ::stat(r.path.c_str(), &st) == 0) return false;
    }
    return true;
}

bool ReadFileHead(const std::string& path, std::size_t limit, FileHead& head) {
    head = FileHead{};
    // Non-blocking: a pipe put in a file's place between the scan and the read must not stall the reader.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        head.size = static_cast<std::uint64_t>(st.st_size);
        head.mtime = Nanoseconds(st.st_mtim);
        head.bytes.resize(limit);
        std::size_t got = 0;
        while (got < limit) {
            const ssize_t n = ::read(fd, head.bytes.data() + got, limit - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) ok = false;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        head.bytes.resize(got);
    }
    ::close(fd);
    return ok;
}

std::string DisplayFileName(const std::string& path) { return DecodeLegacyText(fs::path(path).filename().string()); }
