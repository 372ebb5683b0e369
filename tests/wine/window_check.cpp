// Waits for the main window of a Wendrik that the run command started in
// this Wine prefix, checks that it shows whole on the screen as the user-
// interface tests check it, saves a screenshot and closes the window.
//
//   window-check.exe SECONDS SHOT.bmp
//
// Exit code 0 when the window showed whole, 1 when it did not, 2 when no
// window showed within SECONDS.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "driver.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: window-check.exe SECONDS SHOT.bmp\n");
        return 2;
    }
    const DWORD timeoutMs = (DWORD)std::wcstoul(argv[1], nullptr, 10) * 1000;
    const DWORD start = GetTickCount();
    HWND w = NULL;
    while (GetTickCount() - start < timeoutMs) {
        w = FindWindowW(L"someClass", NULL);
        if (w != NULL && IsWindowVisible(w))
            break;
        w = NULL;
        Sleep(100);
    }
    if (w == NULL) {
        std::printf("no main window within %ls s\n", argv[1]);
        return 2;
    }
    Sleep(500);   // let it paint
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    RECT outer = ScreenRect(w);
    RECT client;
    GetClientRect(w, &client);
    MapWindowPoints(w, NULL, (POINT*)&client, 2);
    // The frame may reach past the right edge by its own width, no more.
    const bool whole = client.left >= 0 && client.top >= 0 && client.right <= width &&
                       client.bottom <= height && outer.left >= 0 && outer.top >= 0 &&
                       outer.right <= width + GetSystemMetrics(SM_CXDLGFRAME) && outer.bottom <= height;
    std::printf("main window %ld x %ld (client %ld x %ld) on a screen %d x %d: %s\n",
                outer.right - outer.left, outer.bottom - outer.top, client.right - client.left,
                client.bottom - client.top, width, height, whole ? "whole" : "NOT WHOLE");
    if (!TakeScreenshot().SaveBmp(argv[2]))
        std::printf("could not save the screenshot %ls\n", argv[2]);
    PostMessageW(w, WM_CLOSE, 0, 0);
    return whole ? 0 : 1;
}
