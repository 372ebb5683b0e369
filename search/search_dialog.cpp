// The proximity search dialog: a position typed, taken from the tour's end
// or from the navigation application, and the five nearest POIs of a file.
#include <windows.h>

#include <cwchar>

#include "app/appstate.h"
#include "app/listtext.h"
#include "chooser/chooser.h"
#include "res/resource.h"
#include "search/number.h"
#include "search/poiline.h"
#include "search/search.h"

namespace {

// Edit fields are read with room for 79 characters.
const int kFieldLen = 80;

struct KeyCaption {
    int id;
    const wchar_t* caption;
};

// The template labels the point key ","; it types the "." that the number
// parser reads.
const KeyCaption kKeyCaptions[] = {
    {IDC_SEARCH_KEY0, L"0"}, {IDC_SEARCH_KEY1, L"1"}, {IDC_SEARCH_KEY2, L"2"},
    {IDC_SEARCH_KEY3, L"3"}, {IDC_SEARCH_KEY4, L"4"}, {IDC_SEARCH_KEY5, L"5"},
    {IDC_SEARCH_KEY6, L"6"}, {IDC_SEARCH_KEY7, L"7"}, {IDC_SEARCH_KEY8, L"8"},
    {IDC_SEARCH_KEY9, L"9"}, {IDC_SEARCH_KEYMINUS, L"-"}, {IDC_SEARCH_KEYPOINT, L"."},
};

bool Checked(HWND dialog, int id)
{
    return SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Check(HWND dialog, int id)
{
    CheckRadioButton(dialog, IDC_SEARCH_POSITION, IDC_SEARCH_TOUREND, id);
}

// The field that "N" or "O" selects, changed by edit: append a character,
// or drop the last one when append is 0.
void EditField(HWND dialog, int fieldId, wchar_t append)
{
    // The field is read as 79 characters at most; one more for the key's.
    wchar_t text[kFieldLen + 1];
    int n = GetDlgItemTextW(dialog, fieldId, text, kFieldLen);
    if (n < 0)
        n = 0;
    if (n > kFieldLen - 1)
        n = kFieldLen - 1;
    text[n] = L'\0';
    if (append != 0) {
        text[n] = append;
        text[n + 1] = L'\0';
    } else if (n > 0) {
        text[n - 1] = L'\0';
    }
    SetDlgItemTextW(dialog, fieldId, text);
}

void EditSelectedField(HWND dialog, wchar_t append)
{
    if (Checked(dialog, IDC_SEARCH_EAST))
        EditField(dialog, IDC_SEARCH_LON, append);
    if (Checked(dialog, IDC_SEARCH_NORTH))
        EditField(dialog, IDC_SEARCH_LAT, append);
}

void PressKey(HWND dialog, int id)
{
    wchar_t caption[2] = L"";
    GetDlgItemTextW(dialog, id, caption, 2);
    if (caption[0] != L'\0')
        EditSelectedField(dialog, caption[0]);
}

void SetDegrees(HWND dialog, int id, double degrees)
{
    Text text;
    swprintf(text, CountOf(text), L"%.6f", degrees);
    SetDlgItemTextW(dialog, id, text);
}

void Clear(HWND dialog)
{
    Check(dialog, IDC_SEARCH_CLEAR);
    SetDlgItemTextW(dialog, IDC_SEARCH_LAT, L"");
    SetDlgItemTextW(dialog, IDC_SEARCH_LON, L"");
    SendDlgItemMessageW(dialog, IDC_SEARCH_RESULTS, LB_RESETCONTENT, 0, 0);
    Check(dialog, IDC_SEARCH_NORTH);
}

// "Tourende": the last tour point into the fields. An empty tour leaves
// them as they are.
void TakeTourEnd(HWND dialog)
{
    Check(dialog, IDC_SEARCH_TOUREND);
    LRESULT count = SendMessageW(app.tourList, LB_GETCOUNT, 0, 0);
    Text line;
    if (count == LB_ERR || count <= 0 || !ListText(app.tourList, count - 1, line, CountOf(line)))
        return;
    wchar_t* latEnd;
    double lon = ParseNumber(line, &app.parseEnd);
    double lat = *app.parseEnd != L'\0' ? ParseNumber(app.parseEnd + 1, &latEnd) : 0;
    SetDegrees(dialog, IDC_SEARCH_LAT, lat);
    SetDegrees(dialog, IDC_SEARCH_LON, lon);
}

double FieldNumber(HWND dialog, int id)
{
    wchar_t text[kFieldLen] = L"";
    GetDlgItemTextW(dialog, id, text, kFieldLen);
    text[kFieldLen - 1] = L'\0';
    wchar_t* end;
    return ParseNumber(text, &end);
}

// "suche": a POI file chosen, its five nearest lines listed after what the
// list holds.
void FindNearest(HWND dialog)
{
    RunFileChooser(kChooserPois);
    const double lat = FieldNumber(dialog, IDC_SEARCH_LAT);
    const double lon = FieldNumber(dialog, IDC_SEARCH_LON);
    if (!SearchNearest(&app.inFile, app.lineBuf, lat, lon, app.nearest, app.lineBuf, &app.parseEnd))
        return;
    for (const NearestSlot& slot : app.nearest)
        if (slot.distanceKm < kSlotEmpty)
            SendDlgItemMessageW(dialog, IDC_SEARCH_RESULTS, LB_ADDSTRING, 0, (LPARAM)slot.text);
}

// "OK": every result line onto the tour, then close. The status line of
// a failed "Position" holds no position and is no waypoint.
void Transfer(HWND dialog)
{
    HWND results = GetDlgItem(dialog, IDC_SEARCH_RESULTS);
    Text line;
    for (LRESULT i = 0; ListText(results, i, line, CountOf(line)); i++)
        if (HoldsPosition(line))
            SendMessageW(app.tourList, LB_ADDSTRING, 0, (LPARAM)line);
    EndDialog(dialog, 1);
}

}  // namespace

INT_PTR CALLBACK SearchDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        SendDlgItemMessageW(dialog, IDC_SEARCH_RESULTS, LB_SETHORIZONTALEXTENT, 1024, 0);
        SendDlgItemMessageW(dialog, IDC_SEARCH_RESULTS, LB_RESETCONTENT, 0, 0);
        SetDlgItemTextW(dialog, IDC_SEARCH_LAT, L"");
        SetDlgItemTextW(dialog, IDC_SEARCH_LON, L"");
        for (const KeyCaption& k : kKeyCaptions)
            SetDlgItemTextW(dialog, k.id, k.caption);
        Check(dialog, IDC_SEARCH_NORTH);
        return TRUE;

    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        // "-" types its minus sign like the digit keys beside it, so that
        // western longitudes and southern latitudes can be entered.
        if (id >= IDC_SEARCH_KEY7 && id <= IDC_SEARCH_KEYMINUS) {
            PressKey(dialog, id);
            return FALSE;
        }
        switch (id) {
        case IDC_SEARCH_BACK:
            EditSelectedField(dialog, 0);
            return FALSE;
        case IDC_SEARCH_FIND:
            FindNearest(dialog);
            return FALSE;
        case IDC_SEARCH_CLOSE:
            EndDialog(dialog, 1);
            return FALSE;
        case IDC_SEARCH_OK:
            Transfer(dialog);
            return FALSE;
        case IDC_SEARCH_POSITION:
            FillNavigationPosition(dialog);
            return FALSE;
        case IDC_SEARCH_CLEAR:
            Clear(dialog);
            return FALSE;
        case IDC_SEARCH_NORTH:
        case IDC_SEARCH_EAST:
            Check(dialog, id);
            return FALSE;
        case IDC_SEARCH_TOUREND:
            TakeTourEnd(dialog);
            return FALSE;
        }
        // Enter and Esc (IDOK, IDCANCEL), the fields' and the result list's
        // notifications: nothing, and the dialog stays open.
        return TRUE;
    }

    case WM_CLOSE:
        return TRUE;
    }
    return FALSE;
}
