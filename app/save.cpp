// Saving a tour: the time-stamped tour file and the route hand-off.
#include <windows.h>

#include "appstate.h"
#include "calendar.h"
#include "listtext.h"

namespace {

const wchar_t kRouteFile[] = L"\\My Documents\\route.cfg";

// 100-nanosecond intervals from 1601-01-01 to 1970-01-01 UTC.
const unsigned long long kFileTimeAt1970 = 116444736000000000ULL;

// The tour list's entry into lineBuf; false past the last entry.
bool EntryIntoLineBuf(LRESULT index)
{
    return ListText(app.tourList, index, app.lineBuf, CountOf(app.lineBuf));
}

// Windows-1252 when every entry fits, else UTF-8.
TextEncoding TourEncoding()
{
    for (LRESULT i = 0; EntryIntoLineBuf(i); i++)
        if (!TextFitsCp1252(app.lineBuf))
            return kEncodingUtf8;
    return kEncodingCp1252;
}

// The tour file failed: the navigation application must never find half a
// route, and the user sees the path that failed as the tour's last entry.
bool SaveFailed(bool fileExists)
{
    if (fileExists)
        RemoveFileWide(app.fileName);
    SendMessageW(app.tourList, LB_ADDSTRING, 0, (LPARAM)app.fileName);
    return false;
}

// "\My Documents\route.cfg" names the new tour. A file that cannot be
// created is skipped; one that cannot be written whole is removed rather
// than left naming half a path.
void WriteRouteHandOff()
{
    const TextEncoding encoding = TextFitsCp1252(app.fileName) ? kEncodingCp1252 : kEncodingUtf8;
    if (!TextOpenWrite(&app.outFile, kRouteFile, encoding))
        return;
    TextWrite(&app.outFile, L"akt=0\n");
    CopyText(app.lineBuf, CountOf(app.lineBuf), L"route=");
    bool fits = AppendText(app.lineBuf, CountOf(app.lineBuf), app.fileName) &&
                AppendText(app.lineBuf, CountOf(app.lineBuf), L"\n");
    if (fits)
        TextWrite(&app.outFile, app.lineBuf);
    if (!TextCloseWrite(&app.outFile) || !fits)
        RemoveFileWide(kRouteFile);
}

}  // namespace

int32_t CurrentUnixTime(int32_t* seconds)
{
    SYSTEMTIME now;
    GetSystemTime(&now);
    FILETIME ft;
    SystemTimeToFileTime(&now, &ft);
    unsigned long long t = ((unsigned long long)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
    int32_t result = (int32_t)(uint32_t)((t - kFileTimeAt1970) / 10000000ULL);
    if (seconds != NULL)
        *seconds = result;
    return result;
}

void MakeTimeStamp(wchar_t* stamp)
{
    FormatTimeStamp((uint32_t)CurrentUnixTime(NULL), stamp);
}

bool SaveTour()
{
    wchar_t stamp[kStampLen];
    MakeTimeStamp(stamp);
    // A tour directory too long for the name fails like a missing one.
    CopyText(app.fileName, CountOf(app.fileName), app.tourDir);
    bool named = AppendText(app.fileName, CountOf(app.fileName), L"WK_") &&
                 AppendText(app.fileName, CountOf(app.fileName), stamp) &&
                 AppendText(app.fileName, CountOf(app.fileName), L".asc");
    if (!named)
        return SaveFailed(false);

    if (!TextOpenWrite(&app.outFile, app.fileName, TourEncoding()))
        return SaveFailed(false);
    for (LRESULT i = 0; EntryIntoLineBuf(i); i++)
        TextWrite(&app.outFile, app.lineBuf);
    if (!TextCloseWrite(&app.outFile))
        return SaveFailed(true);

    if (app.routeHandOff == 1)
        WriteRouteHandOff();
    return true;
}
