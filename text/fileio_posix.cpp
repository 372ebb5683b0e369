// File access on systems whose file names are bytes (Linux: the host and
// the device's processor under qemu).
#include "text/fileio.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Longest path handed to the system.
constexpr size_t kPathBytes = 4096;

}  // namespace

bool WidenFileName(const char* name, wchar_t* out, size_t cap)
{
    std::mbstate_t state{};
    size_t n = 0, left = std::strlen(name);
    while (left > 0) {
        if (n + 1 >= cap)
            return false;
        wchar_t c;
        size_t used = std::mbrtowc(&c, name, left, &state);
        if (used == (size_t)-1 || used == (size_t)-2 || used == 0) {
            c = (wchar_t)(0xDC00 + (unsigned char)*name);
            used = 1;
            state = std::mbstate_t{};
        }
        out[n++] = c;
        name += used;
        left -= used;
    }
    out[n] = L'\0';
    return true;
}

bool NarrowFileName(const wchar_t* path, char* out, size_t cap)
{
    std::mbstate_t state{};
    size_t n = 0;
    for (; *path != L'\0'; path++) {
        char bytes[MB_LEN_MAX];
        size_t len;
        const unsigned c = (unsigned)*path;
        if (c >= 0xDC80 && c <= 0xDCFF) {
            bytes[0] = (char)(c - 0xDC00);
            len = 1;
        } else {
            len = std::wcrtomb(bytes, *path, &state);
            if (len == (size_t)-1)
                return false;
        }
        if (n + len >= cap)
            return false;
        std::memcpy(out + n, bytes, len);
        n += len;
    }
    out[n] = '\0';
    return true;
}

void FileNameAsText(const wchar_t* name, wchar_t* out, size_t cap)
{
    size_t n = 0;
    for (; name[n] != L'\0' && n + 1 < cap; n++)
        out[n] = (unsigned)name[n] >= 0xDC80 && (unsigned)name[n] <= 0xDCFF ? (wchar_t)(name[n] - 0xDC00) : name[n];
    if (cap > 0)
        out[n] = L'\0';
}

FILE* OpenFileWide(const wchar_t* path, const char* mode)
{
    char narrow[kPathBytes];
    if (!NarrowFileName(path, narrow, sizeof narrow))
        return nullptr;
    if (mode[0] != 'r')
        return std::fopen(narrow, mode);
    // Opened without waiting (a pipe without a writer would block), and
    // kept only when it is a regular file.
    int fd = open(narrow, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, 0) != 0) {
        close(fd);
        return nullptr;
    }
    FILE* f = fdopen(fd, mode);
    if (f == nullptr)
        close(fd);
    return f;
}

bool RemoveFileWide(const wchar_t* path)
{
    char narrow[kPathBytes];
    return NarrowFileName(path, narrow, sizeof narrow) && std::remove(narrow) == 0;
}

bool ReplaceFileWide(const wchar_t* from, const wchar_t* to)
{
    char a[kPathBytes], b[kPathBytes];
    return NarrowFileName(from, a, sizeof a) && NarrowFileName(to, b, sizeof b) && std::rename(a, b) == 0;
}

PathKind KindOfPath(const wchar_t* path)
{
    char narrow[kPathBytes];
    struct stat st;
    if (!NarrowFileName(path, narrow, sizeof narrow))
        return kPathNameTooLong;
    if (stat(narrow, &st) != 0)
        return errno == ELOOP ? kPathLinkLoop
               : errno == EACCES ? kPathNoAccess
               : errno == ENAMETOOLONG ? kPathNameTooLong
                                       : kPathMissing;
    if (S_ISDIR(st.st_mode))
        return kPathFolder;
    return S_ISREG(st.st_mode) ? kPathFile : kPathNotRegular;
}
