// The name cache's files on POSIX systems.
#include "scan/cachefile.h"

#include "scan/filesource.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

TCacheFile::~TCacheFile()
{
    Close();
}

uint32_t TCacheFile::Open(const std::string &path, bool create)
{
    Close();
    // Non-blocking: a FIFO in the file's place must not hang the open.
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
    if (fd < 0)
        return SystemCode(errno);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return CodeNotRegularFile;
    }
    FHandle = fd;
    return 0;
}

void TCacheFile::Close()
{
    if (FHandle != -1)
        ::close(static_cast<int>(FHandle));
    FHandle = -1;
}

uint32_t TCacheFile::ReadAt(uint64_t offset, void *out, uint32_t n) const
{
    uint32_t done = 0;
    while (FHandle != -1 && done < n && offset + done <= uint64_t(INT64_MAX)) {
        const ssize_t got = ::pread(static_cast<int>(FHandle), static_cast<char *>(out) + done, n - done,
                                    static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<uint32_t>(got);
    }
    return done;
}

bool TCacheFile::WriteAt(uint64_t offset, const void *data, uint32_t n)
{
    uint32_t done = 0;
    while (FHandle != -1 && done < n && offset + done <= uint64_t(INT64_MAX)) {
        const ssize_t put = ::pwrite(static_cast<int>(FHandle), static_cast<const char *>(data) + done, n - done,
                                     static_cast<off_t>(offset + done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<uint32_t>(put);
    }
    return done == n;
}

uint64_t TCacheFile::Size() const
{
    struct stat st;
    return FHandle != -1 && ::fstat(static_cast<int>(FHandle), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

TCacheLock::~TCacheLock()
{
    Release();
}

bool TCacheLock::Take(const std::string &path)
{
    Release();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    // flock belongs to the open file: it ends with the process.
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            FHandle = fd;
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR)
            break;
        const timespec nap{0, 1000000};
        ::nanosleep(&nap, nullptr);
    }
    ::close(fd);
    return false;
}

void TCacheLock::Release()
{
    if (FHandle != -1)
        ::close(static_cast<int>(FHandle));  // releases the flock
    FHandle = -1;
}

std::string DefaultCacheFolder()
{
    const char *xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && *xdg == '/')  // a relative value is to be ignored
        return CachePath(xdg, "kalvex");
    const char *home = std::getenv("HOME");
    return home && *home ? CachePath(CachePath(home, ".cache"), "kalvex") : std::string();
}

std::string CacheFolderFromText(const std::string &text)
{
    return text;
}

bool MakeCacheFolder(const std::string &folder)
{
    if (folder.empty())
        return false;
    for (size_t at = folder.find('/', 1); at != std::string::npos; at = folder.find('/', at + 1))
        ::mkdir(folder.substr(0, at).c_str(), 0755);
    ::mkdir(folder.c_str(), 0755);
    return IsFolder(folder);
}

std::string CachePath(const std::string &folder, const char *name)
{
    return JoinPath(folder, name);
}

bool ReplaceCacheFile(const std::string &from, const std::string &to)
{
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool RemoveCacheFile(const std::string &path)
{
    return ::unlink(path.c_str()) == 0;
}

uint64_t CacheUniqueNumber()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return (uint64_t(::getpid()) << 40) ^ (uint64_t(now.tv_sec) << 20) ^ uint64_t(now.tv_nsec);
}

std::string CacheKeyBase()
{
    char buffer[4096];
    return ::getcwd(buffer, sizeof buffer) ? buffer : "";
}

std::string CacheKeyPath(const std::string &path, const std::string &base)
{
    // The stamp's inode and device tell the file apart whatever the path.
    return !path.empty() && path[0] == '/' ? path : JoinPath(base, path);
}
