// Replacing a user's file on Windows (and Wine).
#include "text/replace.h"

#include <windows.h>

#include <csignal>
#include <cstdio>
#include <initializer_list>
#include <cwchar>
#include <fcntl.h>
#include <io.h>

namespace {

// The temporary to remove when Ctrl-C or a termination ends the run.
wchar_t pendingRemoval[kReplacePathMax];
volatile sig_atomic_t removalPending = 0;

void RemoveAndDie(int signal)
{
    if (removalPending)
        DeleteFileW(pendingRemoval);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void RemoveOnSignals(const wchar_t* path)
{
    static bool installed = false;
    removalPending = 0;
    wcsncpy(pendingRemoval, path, kReplacePathMax - 1);
    removalPending = 1;
    if (installed)
        return;
    installed = true;
    for (int s : {SIGINT, SIGTERM, SIGBREAK})
        std::signal(s, RemoveAndDie);
}

ReplaceProblem ProblemOf(DWORD error)
{
    switch (error) {
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
        return kReplaceNoFolder;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return kReplaceFolderNotWritable;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW:
        return kReplaceNameTooLong;
    default:
        return kReplaceFailed;
    }
}

}  // namespace

ReplaceProblem BeginReplacement(const wchar_t* path, Replacement* r)
{
    r->file = nullptr;
    r->target[0] = r->temporary[0] = L'\0';
    if (wcslen(path) >= kReplacePathMax - 40)
        return kReplaceNameTooLong;
    wcscpy(r->target, path);
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return kReplaceIsFolder;
        if (attributes & FILE_ATTRIBUTE_READONLY)
            return kReplaceReadOnly;
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        return ProblemOf(GetLastError());
    }
    // ".NAME.PID-N.part" beside it; CREATE_NEW takes no name that exists,
    // a link's included.
    const wchar_t* slash = wcsrchr(path, L'\\');
    const wchar_t* other = wcsrchr(path, L'/');
    if (other != nullptr && (slash == nullptr || other > slash))
        slash = other;
    const size_t folder = slash == nullptr ? 0 : (size_t)(slash - path) + 1;
    const wchar_t* base = path + folder;
    for (unsigned n = 0;; n++) {
        wchar_t tail[64];
        _snwprintf(tail, 64, L".%lu-%u.part", (unsigned long)GetCurrentProcessId(), n);
        tail[63] = L'\0';
        const bool shortName = 1 + wcslen(base) + wcslen(tail) > 255;
        const int len = _snwprintf(r->temporary, kReplacePathMax, L"%.*ls.%ls%ls", (int)folder, path,
                                   shortName ? L"wendrik" : base, tail);
        if (len < 0 || (size_t)len >= kReplacePathMax)
            return kReplaceNameTooLong;
        HANDLE h = CreateFileW(r->temporary, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, NULL);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if ((error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) && n < 1000)
                continue;
            r->temporary[0] = L'\0';
            return ProblemOf(error);
        }
        RemoveOnSignals(r->temporary);
        const int fd = _open_osfhandle((intptr_t)h, _O_RDWR | _O_BINARY);
        if (fd < 0 || (r->file = _fdopen(fd, "w+b")) == nullptr) {
            if (fd < 0)
                CloseHandle(h);
            else
                _close(fd);
            AbandonReplacement(r);
            return kReplaceFailed;
        }
        return kReplaceOk;
    }
}

bool TruncateReplacement(Replacement* r, long long size)
{
    return r->file != nullptr && std::fflush(r->file) == 0 && _chsize_s(_fileno(r->file), size) == 0;
}

bool FinishReplacement(Replacement* r)
{
    if (r->file == nullptr)
        return false;
    bool ok = std::fflush(r->file) == 0 && _commit(_fileno(r->file)) == 0;
    ok = std::fclose(r->file) == 0 && ok;
    r->file = nullptr;
    ok = ok && MoveFileExW(r->temporary, r->target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok)
        DeleteFileW(r->temporary);
    removalPending = 0;
    return ok;
}

void AbandonReplacement(Replacement* r)
{
    if (r->file != nullptr)
        std::fclose(r->file);
    r->file = nullptr;
    if (r->temporary[0] != L'\0')
        DeleteFileW(r->temporary);
    removalPending = 0;
}
