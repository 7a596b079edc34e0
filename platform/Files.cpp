#include "platform/Files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {
constexpr int32_t cFirstDirID = 100;  // below are the platform's fixed IDs (1 root parent, 2 root)
constexpr int16_t cTheVolume = -1;
constexpr const char* cFinderInfoAttr = "user.com.apple.FinderInfo";
constexpr size_t cFinderInfoSize = 32;

std::vector<std::string> lgDirs;  // directory ID cFirstDirID + i names lgDirs[i]
int64_t lgFailWritesAfter = -1;
std::string lgLastReason;

int32_t DirIDFor(const std::string& path) {
    if (path == "/") return 2;  // the root's fixed ID
    for (size_t i = 0; i < lgDirs.size(); i++)
        if (lgDirs[i] == path) return cFirstDirID + int32_t(i);
    lgDirs.push_back(path);
    return cFirstDirID + int32_t(lgDirs.size() - 1);
}

const std::string* DirPath(int32_t dirID) {
    static const std::string root = "/";
    if (dirID == 2) return &root;
    if (dirID < cFirstDirID || size_t(dirID - cFirstDirID) >= lgDirs.size()) return nullptr;
    return &lgDirs[size_t(dirID - cFirstDirID)];
}

OSErr ErrFromErrno(int e) {
    switch (e) {
        case ENOENT: return fnfErr;
        case ENOTDIR: return dirNFErr;
        case ENOSPC:
        case EDQUOT: return dskFulErr;
        case EACCES:
        case EPERM: return permErr;
        case EROFS: return wPrErr;
        case EEXIST: return dupFNErr;
        default: return ioErr;
    }
}

// Every failure of a system call goes through here, so that its reason is there for messages.
OSErr Failure(int e) {
    lgLastReason = std::strerror(e);
    return ErrFromErrno(e);
}

OSErr Failure(OSErr err, std::string reason) {
    lgLastReason = std::move(reason);
    return err;
}

OSErr NotAFile(mode_t mode) {
    const char* what = S_ISFIFO(mode)                   ? "a FIFO"
                       : S_ISDIR(mode)                  ? "a folder"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                       : S_ISSOCK(mode)                 ? "a socket"
                                                        : "of an unknown kind";
    return Failure(notAFileErr, std::string("not a regular file (") + what + ")");
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A path's folder ("." for a bare name, "/" at the root) and its last component.
struct PathParts {
    std::string Folder, Name;
};
PathParts SplitPath(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// mkdir -p with mode 0700 for every folder it makes; errno tells why not.
bool MakeFolders(const std::string& path) {
    if (IsDirectory(path)) return true;
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash))) return false;
    if (::mkdir(path.c_str(), 0700) == 0) return true;
    if (errno == EEXIST) errno = IsDirectory(path) ? 0 : ENOTDIR;
    return errno == 0;
}

// The Preferences folder and what named it. Relative values are invalid and ignored.
struct FolderSource {
    std::string Path;
    const char* From;
};
FolderSource PreferencesPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return {xdg, "XDG_CONFIG_HOME"};
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return {std::string(home) + "/.config", "HOME"};
    const passwd* pw = ::getpwuid(::getuid());
    if (pw && pw->pw_dir && pw->pw_dir[0] == '/') return {std::string(pw->pw_dir) + "/.config", "the password database"};
    return {{}, nullptr};
}

void PutBE(uint8_t* p, uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; i--, v >>= 8) p[i] = uint8_t(v);
}
uint32_t GetBE(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; i++) v = (v << 8) | p[i];
    return v;
}

bool WriteAll(int fd, const std::vector<uint8_t>& bytes, OSErr& err) {
    size_t done = 0;
    while (done < bytes.size()) {
        size_t chunk = bytes.size() - done;
        if (lgFailWritesAfter >= 0) {
            if (done >= uint64_t(lgFailWritesAfter)) {
                err = Failure(ENOSPC);
                return false;
            }
            chunk = std::min<size_t>(chunk, size_t(lgFailWritesAfter) - done);
        }
        const ssize_t n = ::write(fd, bytes.data() + done, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            err = n < 0 ? Failure(errno) : Failure(EIO);
            return false;
        }
        done += size_t(n);
    }
    return true;
}

// The temporary file takes over what the old file had; a new file gets the usual mode.
void CarryOverAttributes(int tmpFd, const std::string& oldPath, const FInfo* newInfo) {
    struct stat st;
    if (::stat(oldPath.c_str(), &st) == 0) {
        ::fchmod(tmpFd, st.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(tmpFd, 0666 & ~mask);
    }
    uint8_t info[cFinderInfoSize] = {};
    if (newInfo) {
        PutBE(info + 0, newInfo->fdType, 4);
        PutBE(info + 4, newInfo->fdCreator, 4);
        PutBE(info + 8, newInfo->fdFlags, 2);
        PutBE(info + 10, uint16_t(newInfo->fdLocation.v), 2);
        PutBE(info + 12, uint16_t(newInfo->fdLocation.h), 2);
        PutBE(info + 14, uint16_t(newInfo->fdFldr), 2);
    } else if (::getxattr(oldPath.c_str(), cFinderInfoAttr, info, sizeof info) != ssize_t(sizeof info)) {
        return;
    }
    ::fsetxattr(tmpFd, cFinderInfoAttr, info, sizeof info, 0);  // no user attributes: dropped
}

void SyncFolder(const std::string& path) {
    const int fd = ::open(SplitPath(path).Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
}  // namespace

OSErr FindFolder(int16_t, OSType folderType, Boolean createFolder, int16_t* foundVRefNum, int32_t* foundDirID) {
    if (!foundVRefNum || !foundDirID) return paramErr;
    if (folderType != kPreferencesFolderType) return fnfErr;
    const FolderSource folder = PreferencesPath();
    if (folder.Path.empty())
        return Failure(dirNFErr, "no home folder: HOME and XDG_CONFIG_HOME are unset and the password database has none");
    struct stat st;
    if (::stat(folder.Path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
        return Failure(dirNFErr, std::string(folder.From) + " names " + folder.Path + ", which is not a folder");
    if (!IsDirectory(folder.Path)) {
        if (!createFolder) return Failure(ENOENT);
        if (!MakeFolders(folder.Path)) {
            Failure(errno);
            return dirNFErr;
        }
    }
    *foundVRefNum = cTheVolume;
    *foundDirID = DirIDFor(folder.Path);
    return noErr;
}

OSErr FSMakeFSSpec(int16_t vRefNum, int32_t dirID, ConstStr255Param fileName, FSSpec* fileSpec) {
    if (!fileSpec) return paramErr;
    const std::string_view name = PStrView(fileName);
    if (name.empty() || name.size() > 63 || name == "." || name == ".." ||
        name.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos)
        return bdNamErr;
    const std::string* dir = DirPath(dirID);
    if (!dir || !IsDirectory(*dir)) return dirNFErr;
    fileSpec->vRefNum = vRefNum == kOnSystemDisk ? cTheVolume : vRefNum;
    fileSpec->parID = dirID;
    CopyToPStr(name, fileSpec->name, 63);
    struct stat st;
    return ::lstat(FSSpecPath(*fileSpec).c_str(), &st) == 0 ? noErr : Failure(ENOENT);
}

OSErr FSpDelete(const FSSpec* fileSpec) {
    if (!fileSpec) return paramErr;
    const std::string path = FSSpecPath(*fileSpec);
    if (path.empty()) return dirNFErr;
    return ::unlink(path.c_str()) == 0 ? noErr : Failure(errno);
}

OSErr FSpGetFInfo(const FSSpec* fileSpec, FInfo* fndrInfo) {
    if (!fileSpec || !fndrInfo) return paramErr;
    const std::string path = FSSpecPath(*fileSpec);
    struct stat st;
    if (path.empty()) return dirNFErr;
    if (::stat(path.c_str(), &st) != 0) return Failure(errno);
    uint8_t info[cFinderInfoSize] = {};
    *fndrInfo = FInfo{};
    if (::getxattr(path.c_str(), cFinderInfoAttr, info, sizeof info) == ssize_t(sizeof info)) {
        fndrInfo->fdType = GetBE(info + 0, 4);
        fndrInfo->fdCreator = GetBE(info + 4, 4);
        fndrInfo->fdFlags = uint16_t(GetBE(info + 8, 2));
        fndrInfo->fdLocation = Point{int16_t(GetBE(info + 10, 2)), int16_t(GetBE(info + 12, 2))};
        fndrInfo->fdFldr = int16_t(GetBE(info + 14, 2));
    }
    return noErr;
}

OSErr FSMakeFSSpecFromPath(const std::string& path, FSSpec* fileSpec) {
    const PathParts parts = SplitPath(path);
    if (parts.Name.size() > 255) return bdNamErr;
    unsigned char name[256];
    CopyToPStr(parts.Name, name, 255);
    return FSMakeFSSpec(cTheVolume, DirIDFor(parts.Folder), name, fileSpec);
}

std::string FSSpecPath(const FSSpec& fileSpec) {
    const std::string* dir = DirPath(fileSpec.parID);
    if (!dir) return {};
    return (*dir == "/" ? std::string() : *dir) + "/" + std::string(PStrView(fileSpec.name));
}

std::string FSPreferencesFolderPath() { return PreferencesPath().Path; }

const std::string& FSLastReason() { return lgLastReason; }

std::string FSResolveLinks(const std::string& path) {
    std::string p = path;
    for (int hops = 0; hops < 40; hops++) {  // the kernel's own limit
        struct stat st;
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(p.c_str(), target.data(), target.size());
        if (n <= 0 || size_t(n) >= target.size()) return {};
        target.resize(size_t(n));
        p = target[0] == '/' ? target : SplitPath(p).Folder + "/" + target;
    }
    return {};
}

OSErr FSCheckWritable(const std::string& path) {
    return ::access(path.c_str(), W_OK) == 0 ? noErr : Failure(errno);
}

OSErr FSRename(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0 ? noErr : Failure(errno);
}

OSErr FSReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, size_t maxBytes) {
    bytes.clear();
    // Look before opening: opening a FIFO waits for a writer, and a device may act on an open.
    // O_NONBLOCK and the second look cover a file swapped for one of those in between.
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return Failure(errno);
    if (!S_ISREG(st.st_mode)) return NotAFile(st.st_mode);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Failure(errno);
    OSErr err = noErr;
    if (::fstat(fd, &st) != 0) {
        err = Failure(errno);
    } else if (!S_ISREG(st.st_mode)) {
        err = NotAFile(st.st_mode);
    } else if (uint64_t(st.st_size) > maxBytes) {
        err = Failure(memFullErr, "larger than a preferences file can be");  // more than the caller can hold
    } else {
        bytes.resize(size_t(st.st_size));
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;  // the file shrank under us: keep what was there
            done += size_t(n);
        }
        bytes.resize(done);
    }
    ::close(fd);
    return err;
}

OSErr FSWriteWholeFile(const std::string& linkPath, const std::vector<uint8_t>& bytes, bool mustNotExist,
                       const FInfo* newInfo) {
    // Through links: the target is replaced in its own folder and every link to it stays.
    const std::string path = FSResolveLinks(linkPath);
    if (path.empty()) return Failure(ELOOP);
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return NotAFile(st.st_mode);
    const PathParts parts = SplitPath(path);
    std::string tmp = parts.Folder + "/." + parts.Name + ".XXXXXX";  // same folder: rename stays atomic
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) return Failure(errno);

    OSErr err = noErr;
    bool ok = WriteAll(fd, bytes, err);
    if (ok) {
        CarryOverAttributes(fd, path, newInfo);
        if (::fsync(fd) != 0) {
            err = Failure(errno);
            ok = false;
        }
    }
    if (::close(fd) != 0 && ok) {
        err = Failure(errno);
        ok = false;
    }
    if (ok) {
        // link() refuses an existing name, so two creators cannot overwrite each other.
        const int rc = mustNotExist ? ::link(tmp.c_str(), path.c_str()) : ::rename(tmp.c_str(), path.c_str());
        if (rc != 0) {
            err = Failure(errno);
            ok = false;
        }
    }
    if (!ok || mustNotExist) ::unlink(tmp.c_str());
    if (ok) SyncFolder(path);
    return ok ? noErr : err;
}

OSErr FSLockFile(const std::string& path, int waitMilliseconds, int* lockRef) {
    if (!lockRef) return paramErr;
    *lockRef = -1;
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return NotAFile(st.st_mode);
    // Read access is enough for flock: a lock file left by another user (a run under sudo) serves.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EACCES) fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Failure(errno);
    const int statErr = ::fstat(fd, &st) == 0 ? 0 : errno;
    if (statErr != 0 || !S_ISREG(st.st_mode)) {
        const OSErr err = statErr != 0 ? Failure(statErr) : NotAFile(st.st_mode);
        ::close(fd);
        return err;
    }
    timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const int64_t deadline = int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000 + std::max(waitMilliseconds, 0);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            *lockRef = fd;
            return noErr;
        }
        const int e = errno;
        if (e == EINTR) continue;
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        if (e != EWOULDBLOCK || int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000 >= deadline) {
            ::close(fd);
            return e == EWOULDBLOCK ? Failure(fBsyErr, "another program holds " + path) : Failure(e);
        }
        const timespec pause{0, 10 * 1000 * 1000};
        ::nanosleep(&pause, nullptr);
    }
}

void FSUnlockFile(int lockRef) {
    if (lockRef >= 0) ::close(lockRef);  // closing the only descriptor drops the lock
}

void FSFailWritesAfter(int64_t bytes) { lgFailWritesAfter = bytes < 0 ? -1 : bytes; }

// --- Open files ---
OSErr FSpOpenDF(const FSSpec* file, int8_t permission, int16_t* refNum) {
    if (!file || !refNum) return paramErr;
    *refNum = 0;
    const std::string path = FSSpecPath(*file);
    if (path.empty()) return dirNFErr;
    const int flags = permission == fsRdPerm ? O_RDONLY : permission == fsWrPerm ? O_WRONLY
                                                                                 : O_RDWR;
    // Non-blocking until it is known to be a regular file: a FIFO would wait for a writer.
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return Failure(errno);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fd > 32767) {
        const OSErr err = fd > 32767 ? tmfoErr : NotAFile(st.st_mode);
        ::close(fd);
        return err;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    *refNum = int16_t(fd);
    return noErr;
}

OSErr FSClose(int16_t refNum) { return refNum > 0 && ::close(refNum) == 0 ? noErr : rfNumErr; }

OSErr SetFPos(int16_t refNum, int16_t posMode, int32_t posOff) {
    if (refNum <= 0) return rfNumErr;
    const int whence = posMode == fsFromStart ? SEEK_SET : posMode == fsFromLEOF ? SEEK_END
                                                                                 : SEEK_CUR;
    if (posMode == fsAtMark) posOff = 0;
    if (::lseek(refNum, off_t(posOff), whence) >= 0) return noErr;
    return errno == EBADF ? rfNumErr : posErr;
}

OSErr FSWrite(int16_t refNum, int32_t* count, const void* buffPtr) {
    if (!count || *count < 0 || (*count > 0 && !buffPtr)) return paramErr;
    if (refNum <= 0) return rfNumErr;
    const auto* bytes = static_cast<const uint8_t*>(buffPtr);
    int32_t done = 0;
    while (done < *count) {
        const ssize_t n = ::write(refNum, bytes + done, size_t(*count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *count = done;
            return errno == EBADF ? rfNumErr : Failure(n < 0 ? errno : EIO);
        }
        done += int32_t(n);
    }
    return noErr;
}

OSErr FSpCreate(const FSSpec* file, OSType creator, OSType fileType, int16_t) {
    if (!file) return paramErr;
    const std::string path = FSSpecPath(*file);
    if (path.empty()) return dirNFErr;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return Failure(errno);
    uint8_t info[cFinderInfoSize] = {};
    PutBE(info + 0, fileType, 4);
    PutBE(info + 4, creator, 4);
    ::fsetxattr(fd, cFinderInfoAttr, info, sizeof info, 0);  // no user attributes: dropped
    ::close(fd);
    return noErr;
}

// --- Folders by ID ---
OSErr PBGetCatInfoSync(CInfoPBRec* pb) {
    if (!pb || pb->ioFDirIndex != -1) return paramErr;
    std::string folder;
    if (pb->ioDrDirID == 0) {
        char cwd[PATH_MAX];
        if (!::getcwd(cwd, sizeof cwd)) return Failure(errno);
        folder = cwd;
    } else if (const std::string* path = DirPath(pb->ioDrDirID)) {
        char real[PATH_MAX];
        if (!::realpath(path->c_str(), real)) return Failure(errno);
        folder = real;
    } else {
        return dirNFErr;
    }
    if (!IsDirectory(folder)) return dirNFErr;
    const PathParts parts = SplitPath(folder);
    const bool root = folder == "/";
    pb->ioDrDirID = DirIDFor(folder);
    pb->ioDrParID = root ? fsRtParID : DirIDFor(parts.Folder);
    if (pb->ioNamePtr) CopyToPStr(root ? std::string() : parts.Name, pb->ioNamePtr, 255);
    return noErr;
}
