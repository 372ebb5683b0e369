// The navigation application's last valid position, from the registry.
#include <windows.h>

#include <cwchar>

#include "app/appstate.h"
#include "geo/geo.h"
#include "res/resource.h"
#include "search/search.h"

namespace {

struct PositionKey {
    const wchar_t* path;
    const wchar_t* xValue;
    const wchar_t* yValue;
};

// Tried in this order, all under HKEY_CURRENT_USER.
const PositionKey kPositionKeys[] = {
    {L"Software\\3SOFT\\Pathfinder\\Position", L"LastValidMercatorX", L"LastValidMercatorY"},
    {L"Software\\Elektrobit\\streetdirector\\Position", L"LastValidMercatorX", L"LastValidMercatorY"},
    {L"Software\\Elektrobit\\streetdirector_hmi\\DataPool", L"2131689564", L"2131689563"},
};

// A 4-byte value; its status (0 when read, ERROR_INVALID_DATA when it is
// not 4 bytes long).
LONG ReadFourBytes(HKEY key, const wchar_t* name, DWORD* value)
{
    DWORD size = sizeof *value;
    LONG status = RegQueryValueExW(key, name, NULL, NULL, (BYTE*)value, &size);
    if (status == ERROR_SUCCESS && size != sizeof *value)
        status = ERROR_INVALID_DATA;
    return status;
}

void SetField(HWND dialog, int id, double degrees)
{
    wchar_t text[64];
    swprintf(text, CountOf(text), L"%.6f", degrees);
    SetDlgItemTextW(dialog, id, text);
}

}  // namespace

void FillNavigationPosition(HWND dialog)
{
    CheckRadioButton(dialog, IDC_SEARCH_POSITION, IDC_SEARCH_TOUREND, IDC_SEARCH_POSITION);

    // A key that opens but lacks either value, or holds one of another
    // size, counts as one that does not open.
    LONG status = ERROR_FILE_NOT_FOUND;
    DWORD x = 0, y = 0;
    bool found = false;
    for (const PositionKey& k : kPositionKeys) {
        HKEY key;
        status = RegOpenKeyExW(HKEY_CURRENT_USER, k.path, 0, KEY_READ, &key);
        if (status != ERROR_SUCCESS)
            continue;
        status = ReadFourBytes(key, k.xValue, &x);
        if (status == ERROR_SUCCESS)
            status = ReadFourBytes(key, k.yValue, &y);
        RegCloseKey(key);
        if (status == ERROR_SUCCESS) {
            found = true;
            break;
        }
    }
    if (!found) {
        wchar_t message[128];
        wsprintfW(message, L"Keine g\u00fcltigen Positionsdaten gefunden (%d)", (int)status);
        SendDlgItemMessageW(dialog, IDC_SEARCH_RESULTS, LB_ADDSTRING, 0, (LPARAM)message);
        return;
    }
    // Signed metres: west of Greenwich and south of the equator they are
    // negative, and every real position lies well within 32 bits.
    double lat, lon;
    MercatorToGeo((double)(int32_t)x, (double)(int32_t)y, lat, lon);
    SetField(dialog, IDC_SEARCH_LAT, lat);
    SetField(dialog, IDC_SEARCH_LON, lon);
}
