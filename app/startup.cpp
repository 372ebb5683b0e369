// Start-up: from the entry point to the main window's modal run.
#include <windows.h>

#include <cwchar>

#include "app/appstate.h"
#include "app/config.h"
#include "app/platform.h"
#include "res/resource.h"

AppState app;

namespace {

const wchar_t kWindowClass[] = L"someClass";
const wchar_t kConfigName[] = L"\\Wendrik.cfg";

// Puts the path of "Wendrik.cfg" beside the executable into lineBuf.
// False when the executable's path does not fit the buffer or has no
// backslash: then there is no configuration file to read.
bool FormConfigPath()
{
    // The whole buffer: a program installed deep in the card's folders
    // still finds its configuration.
    DWORD n = GetModuleFileNameW(NULL, app.lineBuf, (DWORD)CountOf(app.lineBuf));
    if (n == 0 || n >= CountOf(app.lineBuf))
        return false;
    wchar_t* slash = wcsrchr(app.lineBuf, L'\\');
    if (slash == NULL)
        return false;
    *slash = L'\0';
    return AppendText(app.lineBuf, CountOf(app.lineBuf), kConfigName);
}

int MainTemplateFor(int width)
{
    switch (width) {
    case 320: return IDD_MAIN_320;
    case 480: return IDD_MAIN_480;
    case 240: return IDD_MAIN_240;
    default:  return 0;
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int)
{
    app.routeHandOff = 0;
    CopyText(app.poiDir, CountOf(app.poiDir), L"\\Storage Card\\Routen\\POIs\\");
    CopyText(app.tourDir, CountOf(app.tourDir), L"\\Storage Card\\Routen\\Wendrik\\");

    if (FormConfigPath()) {
        ConfigTarget target = {app.poiDir, app.tourDir, &app.routeHandOff};
        ReadConfigFile(&app.inFile, app.lineBuf, app.lineBuf, target);
    }
    ApplyCommandLine(commandLine, &app.routeHandOff);

    HWND running = FindWindowW(kWindowClass, NULL);
    if (running != NULL) {
        SetForegroundWindow(ForegroundHandle(running));
        return 0;
    }

    app.instance = instance;
    WNDCLASSW wc;
    if (!GetClassInfoW(NULL, SYSTEM_DIALOG_CLASS, &wc))
        return 0;
    wc.hInstance = app.instance;
    wc.hIcon = LoadIconW(app.instance, MAKEINTRESOURCEW(IDI_WENDRIK));
    wc.lpszClassName = kWindowClass;
    if (RegisterClassW(&wc) == 0)
        return 0;

    app.screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int templateId = MainTemplateFor(app.screenWidth);
    if (templateId == 0)
        return 0;

    LPCDLGTEMPLATEW mainTemplate = LoadDialogTemplate(app.instance, templateId);
    if (mainTemplate == NULL)
        return 0;
    INT_PTR result = DialogBoxIndirectParamW(app.instance, mainTemplate, NULL, MainDialogProc, 0);
    // -1 means the window could not be made: nothing was shown.
    return result == -1 ? 0 : (int)result;
}
