// Saving a tour: the time-stamped tour file and the route hand-off.
#include <windows.h>

#include "app/appstate.h"
#include "app/calendar.h"
#include "app/listtext.h"
#include "text/fileio.h"

namespace {

const wchar_t kRouteFile[] = L"\\My Documents\\route.cfg";

// 100-nanosecond intervals from 1601-01-01 to 1970-01-01 UTC.
const unsigned long long kFileTimeAt1970 = 116444736000000000ULL;

// How many seconds past the clock a tour's stamp may go when names are taken.
const uint32_t kStampSecondsAhead = 60;

// The tour list's entry into lineBuf; false past the last entry.
bool EntryIntoLineBuf(LRESULT index)
{
    return ListText(app.tourList, index, app.lineBuf, CountOf(app.lineBuf));
}

// The entry in lineBuf needs a line end of its own: it has none and
// another entry follows, which would otherwise run on in the same line
// (the last line of a POI file, a failed path). A piece that the reader
// cut from a longer line joins its next piece as it was read, whatever its
// length; the last entry is written as it stands.
bool NeedsLineEnd(LRESULT index, LRESULT count)
{
    size_t n = TextLength(app.lineBuf, CountOf(app.lineBuf));
    return n > 0 && app.lineBuf[n - 1] != L'\n' && index + 1 < count &&
           SendMessageW(app.tourList, LB_GETITEMDATA, (WPARAM)index, 0) != kEntryGoesOn;
}

// Windows-1252 when every entry fits and the bytes do not happen to form
// UTF-8 (the reader would take them for UTF-8 and show other characters);
// else UTF-8 with its byte order mark.
TextEncoding TourEncoding(LRESULT count)
{
    Cp1252Utf8Check check = {};
    for (LRESULT i = 0; EntryIntoLineBuf(i); i++) {
        Cp1252CheckText(&check, app.lineBuf);
        if (check.unfit)
            return kEncodingUtf8;
        if (NeedsLineEnd(i, count))
            Cp1252CheckText(&check, L"\n");
    }
    return Cp1252ReadsAsUtf8(&check) ? kEncodingUtf8 : kEncodingCp1252;
}

// The tour file failed: the navigation application must never find half a
// route, and the user sees the path that failed as the tour's last entry.
// Only a file that this save created is removed.
bool SaveFailed(bool created)
{
    if (created)
        RemoveFileWide(app.fileName);
    SendMessageW(app.tourList, LB_ADDSTRING, 0, (LPARAM)app.fileName);
    return false;
}

enum Creation { kCreated, kTaken, kCannotCreate };

// Creates the file only where no file of that name is, so that no tour is
// ever replaced: one saved in the same second by a copy started at once,
// or before a clock was set back. The text stream then opens the empty
// file it made (Windows CE has no stream over a file handle).
Creation CreateNewFile(const wchar_t* path)
{
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return kCreated;
    }
    DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? kTaken : kCannotCreate;
}

// fileName for the tour stamped at the given clock reading; false when
// the tour directory leaves no room for the name.
bool NameTour(uint32_t seconds)
{
    wchar_t stamp[kStampLen];
    FormatTimeStamp(seconds, stamp);
    CopyText(app.fileName, CountOf(app.fileName), app.tourDir);
    return AppendText(app.fileName, CountOf(app.fileName), L"WK_") &&
           AppendText(app.fileName, CountOf(app.fileName), stamp) &&
           AppendText(app.fileName, CountOf(app.fileName), L".asc");
}

// Names and creates the new tour file: the stamp of now, or of the next
// free second within a minute, so that the names still sort in time order.
Creation CreateTourFile()
{
    const uint32_t now = (uint32_t)CurrentUnixTime(NULL);
    for (uint32_t ahead = 0; ahead <= kStampSecondsAhead; ahead++) {
        // A tour directory too long for the name fails like a missing one.
        if (!NameTour(now + ahead))
            return kCannotCreate;
        Creation created = CreateNewFile(app.fileName);
        if (created != kTaken)
            return created;
    }
    return kTaken;
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

bool SaveTour()
{
    if (CreateTourFile() != kCreated)
        return SaveFailed(false);
    const LRESULT count = SendMessageW(app.tourList, LB_GETCOUNT, 0, 0);
    if (!TextOpenWrite(&app.outFile, app.fileName, TourEncoding(count)))
        return SaveFailed(true);
    for (LRESULT i = 0; EntryIntoLineBuf(i); i++) {
        TextWrite(&app.outFile, app.lineBuf);
        if (NeedsLineEnd(i, count))
            TextWrite(&app.outFile, L"\n");
    }
    if (!TextCloseWrite(&app.outFile))
        return SaveFailed(true);

    if (app.routeHandOff == 1)
        WriteRouteHandOff();
    return true;
}
