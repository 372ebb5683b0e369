// The file chooser dialog.
#include "chooser/chooser.h"

#include "app/appstate.h"
#include "app/listtext.h"
#include "app/platform.h"
#include "res/resource.h"

namespace {

const wchar_t kPattern[] = L"*.asc";

void FillList(HWND list)
{
    const wchar_t* dir = app.chooserMode == kChooserTours ? app.tourDir : app.poiDir;
    CopyText(app.lineBuf, CountOf(app.lineBuf), dir);

    SendMessageW(list, LB_SETHORIZONTALEXTENT, 1024, 0);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);

    // A directory too long for the pattern lists nothing.
    Text pattern;
    CopyText(pattern, CountOf(pattern), app.lineBuf);
    if (!AppendText(pattern, CountOf(pattern), kPattern))
        return;

    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            SendMessageW(list, LB_ADDSTRING, 0, (LPARAM)found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    SendMessageW(list, LB_SETCURSEL, 0, 0);
}

// After OK: the chosen name into fileName and onto the directory in
// lineBuf. With nothing selected (an empty list) lineBuf stays the bare
// directory, as after "esc": a name left from an earlier choice or save
// must not open some file the user never saw.
void TakeChoice(HWND list)
{
    LRESULT index = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (ListText(list, index, app.fileName, CountOf(app.fileName)))
        AppendText(app.lineBuf, CountOf(app.lineBuf), app.fileName);
}

void MoveSelection(HWND list, int step)
{
    LRESULT index = SendMessageW(list, LB_GETCURSEL, 0, 0);
    LRESULT next = index == LB_ERR ? (step > 0 ? 0 : -1) : index + step;
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    if (next >= 0 && next < count)
        SendMessageW(list, LB_SETCURSEL, next, 0);
}

}  // namespace

INT_PTR CALLBACK FileDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    HWND list = GetDlgItem(dialog, IDC_CHOOSER_LIST);

    switch (message) {
    case WM_INITDIALOG:
        FillList(list);
        return TRUE;

    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            TakeChoice(list);
            EndDialog(dialog, 1);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 1);
            return TRUE;
        case IDC_CHOOSER_DOWN:
            MoveSelection(list, +1);
            return TRUE;
        case IDC_CHOOSER_UP:
            MoveSelection(list, -1);
            return TRUE;
        }
        return TRUE;

    case WM_CLOSE:
        return TRUE;
    }
    return FALSE;
}

void RunFileChooser(int chooserMode)
{
    app.chooserMode = chooserMode;
    // Should the chooser not run at all, the caller finds nothing to open.
    app.lineBuf[0] = L'\0';
    int id = app.screenWidth == 240 ? IDD_CHOOSER_240 : IDD_CHOOSER;
    LPCDLGTEMPLATEW dialogTemplate = LoadDialogTemplate(app.instance, id);
    if (dialogTemplate == NULL)
        return;
    DialogBoxIndirectParamW(app.instance, dialogTemplate, GetActiveWindow(), FileDialogProc, 0);
}
