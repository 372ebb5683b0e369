// The main window: the tour editor.
#include <windows.h>

#include "app/appstate.h"
#include "app/listtext.h"
#include "app/platform.h"
#include "chooser/chooser.h"
#include "res/resource.h"
#include "search/search.h"

namespace {

// The selected entry of a list into lineBuf; false with nothing selected.
bool SelectedIntoLineBuf(HWND list)
{
    return ListText(list, SendMessageW(list, LB_GETCURSEL, 0, 0), app.lineBuf, CountOf(app.lineBuf));
}

// Lets the user choose a file and puts its lines into target, one entry a
// line, unchanged. A file that does not open changes nothing.
void LoadFile(HWND target, int chooserMode)
{
    RunFileChooser(chooserMode);
    if (!TextOpenRead(&app.inFile, app.lineBuf))
        return;
    // Every addition to a visible list repaints it: thousands of lines
    // would take minutes. Paint once at the end instead.
    SendMessageW(target, WM_SETREDRAW, FALSE, 0);
    SendMessageW(target, LB_RESETCONTENT, 0, 0);
    // Room for the lines at once, guessed from the file size (POI lines
    // run to some 40 bytes), rather than growing the list step by step.
    const long long size = TextFileSize(&app.inFile);
    if (size > 0) {
        long long bytes = size < 0x10000000 ? size : 0x10000000;
        SendMessageW(target, LB_INITSTORAGE, (WPARAM)(bytes / 32 + 1), (LPARAM)(bytes * sizeof(wchar_t)));
    }
    bool refused = false;
    while (TextReadLine(&app.inFile, app.lineBuf, CountOf(app.lineBuf))) {
        LRESULT added = ListAddString(target, app.lineBuf);
        if (added == LB_ERR || added == LB_ERRSPACE) {
            refused = true;
            break;
        }
        if (TextLastPiece(&app.inFile).cut)
            SendMessageW(target, LB_SETITEMDATA, (WPARAM)added, kEntryGoesOn);
    }
    // Part of a file would look like the whole and be saved as the tour:
    // a read that failed and a list out of memory leave the list empty.
    if (refused || TextReadFailed(&app.inFile))
        SendMessageW(target, LB_RESETCONTENT, 0, 0);
    TextClose(&app.inFile);
    SendMessageW(target, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(target, NULL, TRUE);
}

// A waypoint copied into the tour at index added (when the tour took it)
// keeps its mark as a piece of a longer line.
void KeepEntryData(HWND waypoints, LRESULT added)
{
    if (added < 0)
        return;
    LRESULT data = SendMessageW(waypoints, LB_GETITEMDATA, SendMessageW(waypoints, LB_GETCURSEL, 0, 0), 0);
    SendMessageW(app.tourList, LB_SETITEMDATA, (WPARAM)added, data == LB_ERR ? 0 : data);
}

// "*5*": the proximity search, which appends its results to the tour
// itself. The small portrait screen has no layout for it.
void OpenSearch()
{
    if (app.screenWidth == 240)
        return;
    LPCDLGTEMPLATEW dialogTemplate = LoadDialogTemplate(app.instance, IDD_SEARCH);
    if (dialogTemplate != NULL)
        DialogBoxIndirectParamW(app.instance, dialogTemplate, GetActiveWindow(), SearchDialogProc, 0);
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    HWND waypoints = GetDlgItem(dialog, IDC_MAIN_WAYPOINTS);
    app.tourList = GetDlgItem(dialog, IDC_MAIN_TOURLIST);

    switch (message) {
    case WM_INITDIALOG:
        SendMessageW(waypoints, LB_SETHORIZONTALEXTENT, 1024, 0);
        SendMessageW(app.tourList, LB_SETHORIZONTALEXTENT, 1024, 0);
        return TRUE;

    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;

    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            if (SaveTour())
                EndDialog(dialog, 1);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 1);
            return TRUE;
        case IDC_MAIN_TOURNEW:
            SendMessageW(app.tourList, LB_RESETCONTENT, 0, 0);
            return FALSE;
        case IDC_MAIN_TPDELETE:
            SendMessageW(app.tourList, LB_DELETESTRING,
                         SendMessageW(app.tourList, LB_GETCURSEL, 0, 0), 0);
            return FALSE;
        case IDC_MAIN_WPINSERT:
            if (SelectedIntoLineBuf(waypoints))
                KeepEntryData(waypoints, SendMessageW(app.tourList, LB_INSERTSTRING,
                                                      SendMessageW(app.tourList, LB_GETCURSEL, 0, 0),
                                                      (LPARAM)app.lineBuf));
            return FALSE;
        case IDC_MAIN_WPAPPEND:
            if (SelectedIntoLineBuf(waypoints))
                KeepEntryData(waypoints, SendMessageW(app.tourList, LB_ADDSTRING, 0, (LPARAM)app.lineBuf));
            return FALSE;
        case IDC_MAIN_POIFILE:
            LoadFile(waypoints, kChooserPois);
            return FALSE;
        case IDC_MAIN_TOURFILE:
            LoadFile(app.tourList, kChooserTours);
            return FALSE;
        case IDC_MAIN_SEARCH:
            OpenSearch();
            return FALSE;
        }
        return FALSE;
    }
    return FALSE;
}
