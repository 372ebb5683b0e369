// The main window: the tour editor.
#include <windows.h>

#include "appstate.h"
#include "../res/resource.h"

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
        case IDCANCEL:
            EndDialog(dialog, 1);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}
