// Replacing a user's file on systems whose file names are bytes.
#include "text/replace.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <initializer_list>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "text/fileio.h"

namespace {

constexpr size_t kPathBytes = 4096;
// Links followed at most, as the system itself does before ELOOP.
constexpr int kMostLinks = 40;
// A file name's bytes at most on the file systems of Linux.
constexpr size_t kNameBytes = 255;

// The temporary to remove when a signal ends the run: its name kept as
// bytes, for the handler may call nothing but unlink.
char pendingRemoval[kPathBytes];
volatile sig_atomic_t removalPending = 0;

void RemoveAndDie(int signal)
{
    if (removalPending)
        unlink(pendingRemoval);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void RemoveOnSignals(const char* path)
{
    static bool installed = false;
    removalPending = 0;
    std::snprintf(pendingRemoval, sizeof pendingRemoval, "%s", path);
    removalPending = 1;
    if (installed)
        return;
    installed = true;
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        std::signal(s, RemoveAndDie);
}

void NoRemovalPending()
{
    removalPending = 0;
}

// The folder part of a path, with its slash ("" for none).
size_t FolderLength(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash == nullptr ? 0 : (size_t)(slash - path) + 1;
}

// Follows links from path to the file they name (which need not exist).
ReplaceProblem FollowLinks(const char* path, char* out)
{
    if (std::snprintf(out, kPathBytes, "%s", path) >= (int)kPathBytes)
        return kReplaceNameTooLong;
    for (int hops = 0;; hops++) {
        struct stat st;
        if (lstat(out, &st) != 0 || !S_ISLNK(st.st_mode))
            return kReplaceOk;
        if (hops == kMostLinks)
            return kReplaceLinkLoop;
        char link[kPathBytes];
        const ssize_t n = readlink(out, link, sizeof link - 1);
        if (n < 0)
            return kReplaceFailed;
        link[n] = '\0';
        // A relative link is relative to the folder it lies in.
        const size_t folder = link[0] == '/' ? 0 : FolderLength(out);
        if (folder + (size_t)n >= kPathBytes)
            return kReplaceNameTooLong;
        std::memmove(out + folder, link, (size_t)n + 1);
    }
}

ReplaceProblem ProblemOf(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return kReplaceNoFolder;
    case EACCES:
    case EPERM:
    case EROFS:
        return kReplaceFolderNotWritable;
    case ENAMETOOLONG:
        return kReplaceNameTooLong;
    case ELOOP:
        return kReplaceLinkLoop;
    default:
        return kReplaceFailed;
    }
}

}  // namespace

ReplaceProblem BeginReplacement(const wchar_t* path, Replacement* r)
{
    r->file = nullptr;
    r->target[0] = r->temporary[0] = L'\0';
    char named[kPathBytes], target[kPathBytes];
    if (!NarrowFileName(path, named, sizeof named))
        return kReplaceNameTooLong;
    const ReplaceProblem followed = FollowLinks(named, target);
    if (followed != kReplaceOk)
        return followed;
    // The old file, where there is one: its permissions go to the new one.
    mode_t mode = 0666;   // the umask applies to a new file
    bool keepMode = false;
    struct stat st;
    if (stat(target, &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return kReplaceIsFolder;
        if (!S_ISREG(st.st_mode))
            return kReplaceNotRegular;
        if ((st.st_mode & 0222) == 0 || access(target, W_OK) != 0)
            return kReplaceReadOnly;
        mode = st.st_mode & 07777;
        keepMode = true;
    } else if (errno != ENOENT) {
        return ProblemOf(errno);
    }
    // ".NAME.PID-N.part" beside it, or ".wendrik.PID-N.part" where that
    // would be too long a name.
    const size_t folder = FolderLength(target);
    const char* base = target + folder;
    char temporary[kPathBytes];
    for (unsigned n = 0;; n++) {
        char tail[64];
        std::snprintf(tail, sizeof tail, ".%ld-%u.part", (long)getpid(), n);
        const bool shortName = 1 + std::strlen(base) + std::strlen(tail) > kNameBytes;
        const int len = std::snprintf(temporary, sizeof temporary, "%.*s.%s%s", (int)folder, target,
                                      shortName ? "wendrik" : base, tail);
        if (len < 0 || (size_t)len >= sizeof temporary)
            return kReplaceNameTooLong;
        const int fd = open(temporary, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0) {
            if (errno == EEXIST && n < 1000)
                continue;   // another run's, or a link someone put there
            return ProblemOf(errno);
        }
        RemoveOnSignals(temporary);
        if ((keepMode && fchmod(fd, mode) != 0) || (r->file = fdopen(fd, "w+b")) == nullptr) {
            close(fd);
            unlink(temporary);
            NoRemovalPending();
            return kReplaceFailed;
        }
        break;
    }
    if (!WidenFileName(target, r->target, kReplacePathMax) ||
        !WidenFileName(temporary, r->temporary, kReplacePathMax)) {
        AbandonReplacement(r);
        return kReplaceNameTooLong;
    }
    return kReplaceOk;
}

bool TruncateReplacement(Replacement* r, long long size)
{
    return r->file != nullptr && std::fflush(r->file) == 0 && ftruncate(fileno(r->file), (off_t)size) == 0;
}

bool FinishReplacement(Replacement* r)
{
    if (r->file == nullptr)
        return false;
    bool ok = std::fflush(r->file) == 0 && fsync(fileno(r->file)) == 0;
    ok = std::fclose(r->file) == 0 && ok;
    r->file = nullptr;
    char temporary[kPathBytes], target[kPathBytes];
    ok = ok && NarrowFileName(r->temporary, temporary, sizeof temporary) &&
         NarrowFileName(r->target, target, sizeof target) && std::rename(temporary, target) == 0;
    if (!ok)
        RemoveFileWide(r->temporary);
    NoRemovalPending();
    return ok;
}

void AbandonReplacement(Replacement* r)
{
    if (r->file != nullptr)
        std::fclose(r->file);
    r->file = nullptr;
    if (r->temporary[0] != L'\0')
        RemoveFileWide(r->temporary);
    NoRemovalPending();
}
