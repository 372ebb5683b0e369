// Replacing a user's file safely: the new text goes to a temporary file
// beside it, created new and exclusively under a name no other run uses,
// never through a link; it takes the old file's place in one step only
// when complete, keeping the old file's permissions; a link is followed,
// so that its target is replaced and the link stays. A read-only file is
// refused. The temporary is removed on failure, and on SIGINT, SIGTERM,
// SIGHUP and a closed pipe. replace_posix.cpp and replace_win32.cpp
// implement it; the command line uses it (the program writes new files only).
// Platform-neutral interface: no Windows header.
#pragma once

#include <cstddef>
#include <cstdio>

// Longest path, in wide characters.
constexpr size_t kReplacePathMax = 4096;

struct Replacement {
    FILE* file;                           // the temporary, open for writing and reading
    wchar_t target[kReplacePathMax];      // the file it replaces (a link's target)
    wchar_t temporary[kReplacePathMax];
};

enum ReplaceProblem {
    kReplaceOk,
    kReplaceIsFolder,         // the name is a folder's
    kReplaceNotRegular,       // a device or a pipe
    kReplaceReadOnly,         // the file may not be written
    kReplaceNoFolder,         // its folder does not exist
    kReplaceFolderNotWritable,
    kReplaceLinkLoop,         // links that lead round in a circle
    kReplaceNameTooLong,
    kReplaceFailed,           // anything else the system refused
};

// Opens the temporary for path; r->file is null unless kReplaceOk.
ReplaceProblem BeginReplacement(const wchar_t* path, Replacement* r);

// Cuts the temporary to size bytes (after a rewrite that shrank it).
bool TruncateReplacement(Replacement* r, long long size);

// Flushes the temporary to the disk, closes it and puts it in place of
// the target. False, with the temporary removed and the target as it
// was, when any of that fails.
bool FinishReplacement(Replacement* r);

// Closes and removes the temporary; the target stays as it was.
void AbandonReplacement(Replacement* r);
