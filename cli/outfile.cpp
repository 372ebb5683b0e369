#include "cli/outfile.h"

const wchar_t* ReplaceProblemWords(ReplaceProblem problem)
{
    switch (problem) {
    case kReplaceOk:
        break;
    case kReplaceIsFolder:
        return L"cannot write it: it is a folder";
    case kReplaceNotRegular:
        return L"cannot write it: not a regular file (a device or a pipe)";
    case kReplaceReadOnly:
        return L"cannot write it: it is read-only; left as it was";
    case kReplaceNoFolder:
        return L"cannot write it: no such folder";
    case kReplaceFolderNotWritable:
        return L"cannot write it: its folder is not writable";
    case kReplaceLinkLoop:
        return L"cannot write it: its links lead round in a circle";
    case kReplaceNameTooLong:
        return L"cannot write it: the name is too long";
    case kReplaceFailed:
        return L"cannot write it";
    }
    return L"";
}
