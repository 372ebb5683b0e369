#include "cli/outfile.h"

#include "text/fileio.h"

std::wstring TemporaryName(const std::wstring& out, const wchar_t* tag)
{
    return out + L".part" + tag;
}

bool PutInPlace(const std::wstring& part, const std::wstring& out)
{
    return ReplaceFileWide(part.c_str(), out.c_str());
}

void Discard(const std::wstring& part)
{
    RemoveFileWide(part.c_str());
}
