// Where Windows CE and desktop Windows (and Wine) differ. Each difference
// lives here and nowhere else.
#pragma once

#include <windows.h>

// The system dialog class whose description the program copies.
#ifdef UNDER_CE
#define SYSTEM_DIALOG_CLASS L"Dialog"
#else
#define SYSTEM_DIALOG_CLASS WC_DIALOG   // "#32770"
#endif

// The handle given to SetForegroundWindow to bring a running copy to the
// front. On Windows CE the lowest bit set activates the window together
// with the windows it owns (an open file chooser, say). Desktop Windows and
// Wine know no such bit: there an odd handle names no window at all and
// leaves nothing in front, so the handle goes as it is.
inline HWND ForegroundHandle(HWND window)
{
#ifdef UNDER_CE
    return (HWND)((ULONG_PTR)window | 1);
#else
    return window;
#endif
}

// Adds an entry at the end of a list: its index, or LB_ERR or LB_ERRSPACE
// when the list cannot take it. A list refuses only when memory runs out,
// which a test cannot bring about; on the desktop the environment variable
// WENDRIK_LIST_LIMIT, read once, makes every list refuse once it holds
// that many entries. Windows CE has no environment: there it is the plain
// message.
inline LRESULT ListAddString(HWND list, const wchar_t* text)
{
#ifndef UNDER_CE
    static const int limit = [] {
        wchar_t value[16];
        DWORD got = GetEnvironmentVariableW(L"WENDRIK_LIST_LIMIT", value, 16);
        return got > 0 && got < 16 ? _wtoi(value) : -1;
    }();
    if (limit >= 0 && SendMessageW(list, LB_GETCOUNT, 0, 0) >= limit)
        return LB_ERRSPACE;
#endif
    return SendMessageW(list, LB_ADDSTRING, 0, (LPARAM)text);
}

// A template from the program's own resources, ready to run, or NULL.
// On Windows CE LoadResource already yields the address; LockResource is
// the same there and required on the desktop.
inline LPCDLGTEMPLATEW LoadDialogTemplate(HINSTANCE instance, int id)
{
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), (LPCWSTR)RT_DIALOG);
    if (found == NULL)
        return NULL;
    HGLOBAL loaded = LoadResource(instance, found);
    if (loaded == NULL)
        return NULL;
    return (LPCDLGTEMPLATEW)LockResource(loaded);
}
