// The file source on POSIX systems: one descriptor, positioned reads.
#include "scan/filesource.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

uint32_t SystemCode(int error)
{
    switch (error) {
    case ENOENT: return CodeFileNotFound;
    case ENOTDIR: return CodePathNotFound;
    case EACCES: case EPERM: case EISDIR: case EROFS: return CodeAccessDenied;
    case EMFILE: case ENFILE: return 4;   // ERROR_TOO_MANY_OPEN_FILES
    case ENOMEM: return 8;                // ERROR_NOT_ENOUGH_MEMORY
    case EBUSY: case ETXTBSY: return 32;  // ERROR_SHARING_VIOLATION
    case ENAMETOOLONG: return 206;        // ERROR_FILENAME_EXCED_RANGE
    case ELOOP: return 1921;              // ERROR_CANT_RESOLVE_FILENAME
    case EIO: return 1117;                // ERROR_IO_DEVICE
    default: return 31;                   // ERROR_GEN_FAILURE
    }
}

namespace {

TFileStamp StampOf(const struct stat &st)
{
    TFileStamp stamp;
    stamp.Size = static_cast<uint64_t>(st.st_size);
    stamp.Modified = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.Changed = int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    stamp.File = static_cast<uint64_t>(st.st_ino);
    stamp.Volume = static_cast<uint64_t>(st.st_dev);
    // Only a regular file is read as a module; anything else has no stamp.
    stamp.Known = S_ISREG(st.st_mode);
    return stamp;
}

}  // namespace

bool FileStamp(const std::string &path, TFileStamp &stamp)
{
    struct stat st;
    stamp = ::stat(path.c_str(), &st) == 0 ? StampOf(st) : TFileStamp();
    return stamp.Known;
}

TFileSource::~TFileSource()
{
    Close();
}

void TFileSource::Close()
{
    if (FHandle != -1)
        ::close(static_cast<int>(FHandle));
    FHandle = -1;
}

uint32_t TFileSource::Open(const std::string &path)
{
    Close();
    // Non-blocking, so that a FIFO named like a module does not hang the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return SystemCode(errno);
    FHandle = fd;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        Close();
        return SystemCode(error);
    }
    if (!S_ISREG(st.st_mode)) {
        Close();
        return S_ISDIR(st.st_mode) ? CodeAccessDenied : CodeNotRegularFile;
    }
    FSize = static_cast<uint64_t>(st.st_size);
    FStamp = StampOf(st);
    return 0;
}

bool TFileSource::Stamp(TFileStamp &stamp) const
{
    stamp = FHandle != -1 ? FStamp : TFileStamp();
    return stamp.Known;
}

bool TFileSource::ReadAt(uint64_t offset, void *out, uint32_t n)
{
    if (FHandle == -1 || offset > uint64_t(INT64_MAX))
        return false;
    char *p = static_cast<char *>(out);
    while (n > 0) {
        const ssize_t got = ::pread(static_cast<int>(FHandle), p, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return ReadFailed(SystemCode(errno));
        if (got == 0)
            return ReadFailed(CodeHandleEof);  // the file shrank
        p += got;
        offset += static_cast<uint64_t>(got);
        n -= static_cast<uint32_t>(got);
    }
    return true;
}

uint32_t ListFolder(const std::string &folder, const std::string &pattern, std::vector<TFolderEntry> &entries,
                    bool stamps)
{
    const std::string dir = folder.empty() ? "." : folder;
    DIR *d = ::opendir(dir.c_str());
    if (!d)
        return SystemCode(errno);
    std::vector<TFolderEntry> found;
    // readdir ends with NULL both at the end and on a failure, which only
    // errno tells apart.
    uint32_t code = 0;
    for (;;) {
        errno = 0;
        const dirent *e = ::readdir(d);
        if (!e) {
            code = errno != 0 ? SystemCode(errno) : 0;
            break;
        }
        if (!WildcardMatch(pattern.c_str(), e->d_name))
            continue;
        bool isFolder = e->d_type == DT_DIR, link = e->d_type == DT_LNK;
        if (e->d_type == DT_UNKNOWN) {
            struct stat st;
            link = ::lstat(JoinPath(dir, e->d_name).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
            isFolder = !link && S_ISDIR(st.st_mode);
        }
        if (link) {
            struct stat st;  // where the link leads decides; cycles are caught by identity
            isFolder = ::stat(JoinPath(dir, e->d_name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        // Names starting with "." are the hidden ones here.
        found.push_back({e->d_name, isFolder, e->d_name[0] == '.', link, {}});
        // Through the folder's descriptor, without opening the file; a link
        // is followed, as the open that reads the file follows it.
        struct stat st;
        if (stamps && !isFolder && ::fstatat(::dirfd(d), e->d_name, &st, 0) == 0)
            found.back().Stamp = StampOf(st);
    }
    ::closedir(d);
    // The order in which NTFS and Wine list a folder: bytes with ASCII
    // letters folded to upper case (so "_" after the letters), then bytes.
    auto folded = [](std::string s) {
        for (char &c : s)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - ('a' - 'A'));
        return s;
    };
    std::sort(found.begin(), found.end(), [&](const TFolderEntry &a, const TFolderEntry &b) {
        const std::string fa = folded(a.Name), fb = folded(b.Name);
        return fa != fb ? fa < fb : a.Name < b.Name;
    });
    entries.insert(entries.end(), found.begin(), found.end());
    return code;
}

bool FolderIdentity(const std::string &folder, uint64_t &volume, uint64_t &file)
{
    struct stat st;
    if (::stat(folder.empty() ? "." : folder.c_str(), &st) != 0)
        return false;
    volume = static_cast<uint64_t>(st.st_dev);
    file = static_cast<uint64_t>(st.st_ino);
    return true;
}

bool IsFolder(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string JoinPath(const std::string &folder, const std::string &name)
{
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}
