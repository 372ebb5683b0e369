#include "app/config.h"

#include <cwchar>
#include <cwctype>

namespace {

const wchar_t kKeyPoi[] = L"POI=";
const wchar_t kKeyTour[] = L"Tour=";
const wchar_t kKeyHandOff[] = L"koord465=";

// The line starts with key, compared over the key's length without regard
// to case. A shorter line never matches.
bool StartsWithKey(const wchar_t* line, const wchar_t* key)
{
    for (; *key != L'\0'; key++, line++) {
        if (*line == L'\0' || std::towlower(*line) != std::towlower(*key))
            return false;
    }
    return true;
}

// A folder value: file names are appended to it directly, so it must end
// in a backslash. An empty value stays empty.
void SetFolder(wchar_t* dir, const wchar_t* value)
{
    CopyText(dir, kTextLen, value);
    size_t n = std::wcslen(dir);
    if (n > 0 && dir[n - 1] != L'\\')
        AppendText(dir, kTextLen, L"\\");
}

}  // namespace

int32_t ReadDecimal(const wchar_t* s)
{
    while (std::iswspace(*s))
        s++;
    bool negative = false;
    if (*s == L'+' || *s == L'-') {
        negative = *s == L'-';
        s++;
    }
    int64_t value = 0;
    for (; *s >= L'0' && *s <= L'9'; s++) {
        if (value <= INT32_MAX)
            value = value * 10 + (*s - L'0');
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return (int32_t)value;
}

void ApplyConfigLine(const wchar_t* line, const ConfigTarget& target)
{
    if (StartsWithKey(line, kKeyPoi))
        SetFolder(target.poiDir, line + CountOf(kKeyPoi) - 1);
    if (StartsWithKey(line, kKeyTour))
        SetFolder(target.tourDir, line + CountOf(kKeyTour) - 1);
    if (StartsWithKey(line, kKeyHandOff))
        *target.routeHandOff = ReadDecimal(line + CountOf(kKeyHandOff) - 1);
}

bool ReadConfigFile(TextReader* reader, const wchar_t* path, wchar_t* lineBuf,
                    const ConfigTarget& target)
{
    if (!TextOpenRead(reader, path))
        return false;
    while (TextReadLine(reader, lineBuf, kTextLen)) {
        size_t n = std::wcslen(lineBuf);
        if (n > 0 && lineBuf[n - 1] == L'\n')
            lineBuf[n - 1] = L'\0';
        ApplyConfigLine(lineBuf, target);
    }
    TextClose(reader);
    return true;
}

void ApplyCommandLine(wchar_t* commandLine, int32_t* routeHandOff)
{
    if (commandLine == nullptr || commandLine[0] == L'\0')
        return;
    for (wchar_t* p = commandLine; *p != L'\0'; p++)
        *p = (wchar_t)std::towlower(*p);
    const wchar_t* found = std::wcsstr(commandLine, kKeyHandOff);
    if (found != nullptr)
        *routeHandOff = ReadDecimal(found + CountOf(kKeyHandOff) - 1);
}
