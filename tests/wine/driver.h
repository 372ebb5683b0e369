// Drives the real Wendrik.exe under Wine from a second process: a device
// folder on drive D:, the program started there, its windows found by
// class and sent messages as a user's taps would send them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The device folder, drive D: (mapped by the test's wrapper script).
namespace device {

// Empties D:\ and lays out a device: the card's POI and tour folders,
// "\My Documents\" and the program in "\Storage Card\Wendrik\".
void Reset();

// Writes bytes to a device path such as L"\\Storage Card\\x.asc".
void Write(const std::wstring& path, const std::string& bytes);

// The bytes of a device file, or empty when missing.
std::string Read(const std::wstring& path);

bool Exists(const std::wstring& path);

// The path of the program's own folder on the device.
extern const wchar_t kProgramDir[];

}  // namespace device

class Program {
public:
    ~Program();
    // Starts Wendrik.exe (from exePath, a device path) with the command line
    // arguments, the device's root as its current folder.
    bool Start(const std::wstring& args = L"", const std::wstring& exePath = L"");
    // The program's main window once it shows, or NULL after the timeout.
    HWND WaitWindow(DWORD timeoutMs = 15000);
    // The exit code, or STILL_ACTIVE when it has not ended in time.
    DWORD WaitExit(DWORD timeoutMs = 15000);
    bool Running();
    DWORD ProcessId() const { return info_.dwProcessId; }
    HANDLE Handle() const { return info_.hProcess; }

private:
    PROCESS_INFORMATION info_ = {};
};

// A top-level window of class "someClass" that belongs to the process.
HWND FindProgramWindow(DWORD processId);
// A visible window of the process owned by owner (a modal dialog over
// it), or NULL after the timeout.
HWND WaitDialog(DWORD processId, HWND owner, DWORD timeoutMs = 10000);

// Control texts and list contents through messages, which Wine marshals
// between processes.
std::wstring Text(HWND window);
std::wstring ControlText(HWND dialog, int id);
std::vector<std::wstring> ListItems(HWND list);
void AddItems(HWND list, const std::vector<std::wstring>& items);

// Screen rectangle of a window.
RECT ScreenRect(HWND window);

// The screen as the program shows it, 32 bits a pixel, rows top down.
struct Screenshot {
    int width = 0, height = 0;
    std::vector<DWORD> pixels;
    DWORD At(int x, int y) const { return pixels[(size_t)y * width + x]; }
    // Number of different colours inside the rectangle (clipped).
    size_t Colours(const RECT& r) const;
    bool SaveBmp(const std::wstring& path) const;
};
Screenshot TakeScreenshot();

// Folder for screenshots (WENDRIK_SHOTS), or empty.
std::wstring ShotFolder();

// Waits until the program's thread has finished what it was doing (a
// sent message is handled only when it pumps messages again).
void Settle(HWND mainWindow);

// Presses a command button of a dialog that opens a modal dialog, and
// gives that dialog's window (or NULL).
HWND OpenModal(DWORD processId, HWND dialog, int command);

// In an open file chooser: selects name (when given), presses OK (or
// "esc" when ok is false) and waits until the owner has done its work.
void AnswerChooser(HWND chooser, HWND owner, const std::wstring& name, bool ok = true);

// Presses a push button the way a tap does.
void Click(HWND dialog, int id);

// Selects an entry of a list (-1 for none).
void Select(HWND dialog, int listId, int index);
