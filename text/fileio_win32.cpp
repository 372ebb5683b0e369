// File access on Windows (and Wine): paths are wide already.
#include "text/fileio.h"

#include <windows.h>

#include <cerrno>
#include <sys/stat.h>

FILE* OpenFileWide(const wchar_t* path, const char* mode)
{
    // Windows keeps pipes and devices out of the file system's folders.
    wchar_t wmode[8];
    size_t i = 0;
    for (; mode[i] != '\0' && i + 1 < sizeof wmode / sizeof wmode[0]; i++)
        wmode[i] = (wchar_t)mode[i];
    wmode[i] = L'\0';
    return _wfopen(path, wmode);
}

void FileNameAsText(const wchar_t* name, wchar_t* out, size_t cap)
{
    size_t n = 0;
    for (; name[n] != L'\0' && n + 1 < cap; n++)
        out[n] = name[n];
    if (cap > 0)
        out[n] = L'\0';
}

bool RemoveFileWide(const wchar_t* path)
{
    return _wremove(path) == 0;
}

bool ReplaceFileWide(const wchar_t* from, const wchar_t* to)
{
    return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

PathKind KindOfPath(const wchar_t* path)
{
    struct _stat st;
    if (_wstat(path, &st) != 0)
        return errno == EACCES ? kPathNoAccess : errno == ENAMETOOLONG ? kPathNameTooLong : kPathMissing;
    if ((st.st_mode & S_IFMT) == S_IFDIR)
        return kPathFolder;
    return (st.st_mode & S_IFMT) == S_IFREG ? kPathFile : kPathNotRegular;
}
