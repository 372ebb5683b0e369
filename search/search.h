// The proximity search dialog ("Umgebungssuche").
#pragma once

#include <windows.h>

INT_PTR CALLBACK SearchDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// "Position": the navigation application's last valid position into the
// fields, or a message line when there is none.
void FillNavigationPosition(HWND dialog);
