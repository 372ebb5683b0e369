#include "driver.h"

#include <cstdio>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace device {

const wchar_t kProgramDir[] = L"\\Storage Card\\Wendrik";

namespace {

fs::path OnDrive(const std::wstring& path)
{
    return fs::path(L"D:" + path);
}

// Wendrik.exe as built, passed by the wrapper as a Windows path.
std::wstring BuiltProgram()
{
    wchar_t buf[1024];
    DWORD n = GetEnvironmentVariableW(L"WENDRIK_EXE", buf, 1024);
    return n > 0 && n < 1024 ? buf : L"";
}

}  // namespace

void Reset()
{
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(L"D:\\", ec))
        fs::remove_all(entry.path(), ec);
    fs::create_directories(OnDrive(L"\\Storage Card\\Routen\\POIs"));
    fs::create_directories(OnDrive(L"\\Storage Card\\Routen\\Wendrik"));
    fs::create_directories(OnDrive(L"\\My Documents"));
    fs::create_directories(OnDrive(kProgramDir));
    fs::copy_file(BuiltProgram(), OnDrive(std::wstring(kProgramDir) + L"\\Wendrik.exe"),
                  fs::copy_options::overwrite_existing);
}

void Write(const std::wstring& path, const std::string& bytes)
{
    fs::create_directories(OnDrive(path).parent_path());
    FILE* f = _wfopen(OnDrive(path).c_str(), L"wb");
    if (f != nullptr) {
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
}

std::string Read(const std::wstring& path)
{
    std::string bytes;
    FILE* f = _wfopen(OnDrive(path).c_str(), L"rb");
    if (f == nullptr)
        return bytes;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        bytes.append(buf, n);
    fclose(f);
    return bytes;
}

bool Exists(const std::wstring& path)
{
    std::error_code ec;
    return fs::exists(OnDrive(path), ec);
}

}  // namespace device

Program::~Program()
{
    if (info_.hProcess != NULL) {
        if (Running()) {
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, 5000);
        }
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
    }
}

bool Program::Start(const std::wstring& args, const std::wstring& exePath)
{
    std::wstring exe = L"D:" + (exePath.empty() ? std::wstring(device::kProgramDir) + L"\\Wendrik.exe" : exePath);
    std::wstring line = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + args);
    std::vector<wchar_t> buf(line.begin(), line.end());
    buf.push_back(L'\0');
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    return CreateProcessW(exe.c_str(), buf.data(), NULL, NULL, FALSE, 0, NULL, L"D:\\", &si, &info_) != 0;
}

HWND Program::WaitWindow(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        HWND w = FindProgramWindow(info_.dwProcessId);
        if (w != NULL && IsWindowVisible(w))
            return w;
        if (!Running())
            return NULL;
        Sleep(20);
    }
    return NULL;
}

DWORD Program::WaitExit(DWORD timeoutMs)
{
    if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

bool Program::Running()
{
    return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

namespace {

struct Search {
    DWORD processId;
    HWND owner;        // a dialog owned by this window, or NULL
    bool wantClass;    // the main window: class "someClass", no owner
    HWND found;
};

BOOL CALLBACK EnumTop(HWND w, LPARAM param)
{
    Search* s = (Search*)param;
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != s->processId)
        return TRUE;
    wchar_t cls[64] = L"";
    GetClassNameW(w, cls, 64);
    bool match = s->wantClass ? wcscmp(cls, L"someClass") == 0 && GetWindow(w, GW_OWNER) == NULL
                              : IsWindowVisible(w) && GetWindow(w, GW_OWNER) == s->owner;
    if (match) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND FindProgramWindow(DWORD processId)
{
    Search s = {processId, NULL, true, NULL};
    EnumWindows(EnumTop, (LPARAM)&s);
    return s.found;
}

HWND WaitDialog(DWORD processId, HWND owner, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        Search s = {processId, owner, false, NULL};
        EnumWindows(EnumTop, (LPARAM)&s);
        if (s.found != NULL)
            return s.found;
        Sleep(20);
    }
    return NULL;
}

std::wstring Text(HWND window)
{
    wchar_t buf[2048] = L"";
    SendMessageW(window, WM_GETTEXT, 2048, (LPARAM)buf);
    return buf;
}

std::wstring ControlText(HWND dialog, int id)
{
    return Text(GetDlgItem(dialog, id));
}

std::vector<std::wstring> ListItems(HWND list)
{
    std::vector<std::wstring> items;
    LRESULT n = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; i++) {
        LRESULT len = SendMessageW(list, LB_GETTEXTLEN, i, 0);
        std::vector<wchar_t> buf(len + 1);
        SendMessageW(list, LB_GETTEXT, i, (LPARAM)buf.data());
        items.emplace_back(buf.data());
    }
    return items;
}

void AddItems(HWND list, const std::vector<std::wstring>& items)
{
    for (const std::wstring& s : items)
        SendMessageW(list, LB_ADDSTRING, 0, (LPARAM)s.c_str());
}

RECT ScreenRect(HWND window)
{
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

size_t Screenshot::Colours(const RECT& r) const
{
    std::set<DWORD> seen;
    for (int y = std::max<LONG>(r.top, 0); y < std::min<LONG>(r.bottom, height); y++)
        for (int x = std::max<LONG>(r.left, 0); x < std::min<LONG>(r.right, width); x++)
            seen.insert(At(x, y) & 0xFFFFFF);
    return seen.size();
}

bool Screenshot::SaveBmp(const std::wstring& path) const
{
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (f == nullptr)
        return false;
    BITMAPFILEHEADER fh = {};
    BITMAPINFOHEADER ih = {};
    ih.biSize = sizeof ih;
    ih.biWidth = width;
    ih.biHeight = -height;
    ih.biPlanes = 1;
    ih.biBitCount = 32;
    ih.biCompression = BI_RGB;
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = fh.bfOffBits + (DWORD)(pixels.size() * 4);
    fwrite(&fh, sizeof fh, 1, f);
    fwrite(&ih, sizeof ih, 1, f);
    // Screen pixels carry no alpha; write them opaque.
    for (DWORD px : pixels) {
        DWORD opaque = px | 0xFF000000;
        fwrite(&opaque, 4, 1, f);
    }
    return fclose(f) == 0;
}

Screenshot TakeScreenshot()
{
    Screenshot shot;
    shot.width = GetSystemMetrics(SM_CXSCREEN);
    shot.height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(NULL);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = shot.width;
    bi.bmiHeader.biHeight = -shot.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, shot.width, shot.height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    shot.pixels.assign((DWORD*)bits, (DWORD*)bits + (size_t)shot.width * shot.height);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(NULL, screen);
    return shot;
}

std::wstring ShotFolder()
{
    wchar_t buf[1024];
    DWORD n = GetEnvironmentVariableW(L"WENDRIK_SHOTS", buf, 1024);
    return n > 0 && n < 1024 ? buf : L"";
}

void Settle(HWND mainWindow)
{
    DWORD_PTR ignored;
    SendMessageTimeoutW(mainWindow, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &ignored);
}

HWND OpenModal(DWORD processId, HWND dialog, int command)
{
    // Posted: a sent command would return only when the modal dialog ends.
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), (LPARAM)GetDlgItem(dialog, command));
    return WaitDialog(processId, dialog);
}

void AnswerChooser(HWND chooser, HWND owner, const std::wstring& name, bool ok)
{
    HWND list = GetDlgItem(chooser, 4010);
    if (!name.empty()) {
        LRESULT i = SendMessageW(list, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)name.c_str());
        SendMessageW(list, LB_SETCURSEL, i, 0);
    }
    Click(chooser, ok ? IDOK : IDCANCEL);
    for (int i = 0; i < 500 && IsWindow(chooser); i++)
        Sleep(10);
    Settle(owner);
}

void Click(HWND dialog, int id)
{
    SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void Select(HWND dialog, int listId, int index)
{
    SendMessageW(GetDlgItem(dialog, listId), LB_SETCURSEL, (WPARAM)index, 0);
}
