// File access by wide path: the one place where the operating systems
// differ in how a path reaches the C library. fileio_posix.cpp and
// fileio_win32.cpp implement it; the build takes the one of its system.
// Platform-neutral interface: no Windows header.
#pragma once

#include <cstddef>
#include <cstdio>

// Opens a file by its wide path in the given narrow mode ("rb", "wb").
// For reading, only a regular file opens: a pipe would wait for a writer
// and a device give bytes without end (on Windows these do not lie among
// files).
FILE* OpenFileWide(const wchar_t* path, const char* mode);

// Removes a file; false when it could not be removed.
bool RemoveFileWide(const wchar_t* path);

// Replaces to by from in one step: readers of to see the old file or the
// new one, never a part. False when it could not be done.
bool ReplaceFileWide(const wchar_t* from, const wchar_t* to);

// What a path names, to tell the user why it does not open.
enum PathKind {
    kPathMissing,       // nothing of that name
    kPathFolder,
    kPathNotRegular,    // a pipe or a device
    kPathFile,          // a file: what keeps it from opening is its permissions
    kPathLinkLoop,      // links that lead round in a circle
    kPathNoAccess,      // a folder on the way may not be entered
    kPathNameTooLong,
};
PathKind KindOfPath(const wchar_t* path);

// A file name as text to show: on a system whose names are bytes, a byte
// that was no character in the locale (see WidenFileName) read as Latin-1,
// the character set of older cards; elsewhere the name as it is.
void FileNameAsText(const wchar_t* name, wchar_t* out, size_t cap);

#ifndef _WIN32
// File names on a system whose names are bytes: wide text in the locale's
// character set, where a byte that is no character in it (a Latin-1 name
// in a UTF-8 locale) stands as U+DC80..U+DCFF, so that every name opens
// and prints as it was given. False when the result does not fit in
// out[cap]. (Windows gives its programs wide names.)
bool WidenFileName(const char* name, wchar_t* out, size_t cap);
bool NarrowFileName(const wchar_t* path, char* out, size_t cap);
#endif
