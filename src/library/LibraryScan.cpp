#include "library/LibraryScan.h"

#include "util/LegacyText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
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

std::string BankOf(const LibraryRoot& root, const fs::path& folder) {
    std::string relative = folder.lexically_relative(fs::path(root.path)).generic_string();
    if (relative == "." || relative.empty()) return root.bank;
    relative = DecodeLegacyText(relative);
    return root.bank.empty() ? relative : root.bank + "/" + relative;
}

// Size and time of the file a path names, following links; a file that cannot be looked at gets zeros.
FileStamp Stamp(const std::string& path, std::string bank) {
    FileStamp stamp{path, std::move(bank), 0, 0};
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        stamp.size = static_cast<std::uint64_t>(st.st_size);
        stamp.mtime = Nanoseconds(st.st_mtim);
    }
    return stamp;
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

std::vector<FileStamp> ScanLibrary(const std::vector<LibraryRoot>& roots, const std::atomic<bool>* cancel,
                                   std::vector<std::string>* folders) {
    std::vector<FileStamp> files;
    std::unordered_set<std::string> seen;
    auto consider = [&](const fs::directory_entry& entry, const LibraryRoot& root) {
        const std::string name = entry.path().filename().string();
        if (!IsPatchFileName(name)) return;
        std::error_code ec;
        // Folders named like patches, pipes and devices are not files to list; a dangling link is.
        const fs::file_status status = entry.status(ec);
        if (!ec && fs::exists(status) && !fs::is_regular_file(status)) return;
        std::string path = entry.path().string();
        if (!seen.insert(path).second) return;
        files.push_back(Stamp(path, BankOf(root, entry.path().parent_path())));
    };

    for (const LibraryRoot& root : roots) {
        if (Cancelled(cancel)) break;
        std::error_code ec;
        if (folders != nullptr && fs::is_directory(root.path, ec)) folders->push_back(root.path);
        if (!root.recursive) {
            for (fs::directory_iterator it(root.path, fs::directory_options::skip_permission_denied, ec), end;
                 !ec && it != end; it.increment(ec))
                consider(*it, root);
            continue;
        }
        fs::recursive_directory_iterator it(root.path, fs::directory_options::skip_permission_denied, ec);
        for (const fs::recursive_directory_iterator end; !ec && it != end; it.increment(ec)) {
            if (Cancelled(cancel)) break;
            const fs::directory_entry& entry = *it;
            const std::string name = entry.path().filename().string();
            std::error_code typeError;
            if (entry.is_directory(typeError) && !entry.is_symlink(typeError)) {
                if (name.front() == '.' || it.depth() >= kMaxDepth) {
                    it.disable_recursion_pending();
                } else if (folders != nullptr) {
                    folders->push_back(entry.path().string());
                }
                continue;
            }
            consider(entry, root);
        }
    }
    std::sort(files.begin(), files.end(), [](const FileStamp& a, const FileStamp& b) { return a.path < b.path; });
    return files;
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

std::string DisplayFileName(const std::string& path) {
    return DecodeLegacyText(fs::path(path).filename().string());
}
