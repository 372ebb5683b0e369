// The file chooser: lists the ".asc" files of the tour or POI directory and
// hands the chosen path back in app.lineBuf (the bare directory when
// cancelled), the chosen name in app.fileName.
#pragma once

#include <windows.h>

INT_PTR CALLBACK FileDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Sets chooserMode and runs the chooser modally over the active window,
// in the layout for the screen. Afterwards the caller opens app.lineBuf.
void RunFileChooser(int chooserMode);
