// Loading large POI files into the real waypoint list under Wine: from OK
// in the chooser until the main window is ready again, for 10k, 100k and
// 1M lines. Run by bench/run-load.sh; prints the time per line.
#include <windows.h>

#include <cstdio>
#include <string>

#include "driver.h"

namespace {

std::string PoiFile(int lines)
{
    std::string s;
    s.reserve((size_t)lines * 48);
    unsigned x = 2026;
    char buf[128];
    for (int i = 0; i < lines; i++) {
        x = x * 1103515245u + 12345u;
        double lon = 6.0 + (x >> 8) % 900000 / 100000.0;
        x = x * 1103515245u + 12345u;
        double lat = 47.3 + (x >> 8) % 780000 / 100000.0;
        std::snprintf(buf, sizeof buf, "%.5f,%.5f,\"Tankstelle M\xC3\xBCller %d\"\r\n", lon, lat, i);
        s += buf;
    }
    return s;
}

// Chooses name in the chooser that command opens over dialog, presses OK
// and gives the seconds until the owner is done with the file.
double TimedChoice(const Program& p, HWND dialog, int command, const std::wstring& name)
{
    HWND chooser = OpenModal(p.ProcessId(), dialog, command);
    if (chooser == NULL)
        return -1;
    HWND list = GetDlgItem(chooser, 4010);
    SendMessageW(list, LB_SETCURSEL, SendMessageW(list, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)name.c_str()), 0);
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    AnswerChooser(chooser, dialog, L"");
    QueryPerformanceCounter(&t1);
    return double(t1.QuadPart - t0.QuadPart) / f.QuadPart;
}

}  // namespace

int main()
{
    device::Reset();
    const int sizes[] = {10000, 100000, 1000000};
    for (int n : sizes)
        device::Write(L"\\Storage Card\\Routen\\POIs\\" + std::to_wstring(n) + L".asc", PoiFile(n));

    Program p;
    if (!p.Start())
        return 1;
    HWND main = p.WaitWindow();
    if (main == NULL)
        return 1;
    std::printf("%10s %12s %12s %10s\n", "lines", "seconds", "ns/line", "entries");
    for (int n : sizes) {
        double s = TimedChoice(p, main, 4006, std::to_wstring(n) + L".asc");
        if (s < 0)
            return 1;
        LRESULT count = SendMessageW(GetDlgItem(main, 4007), LB_GETCOUNT, 0, 0);
        std::printf("%10d %12.3f %12.0f %10ld\n", n, s, s * 1e9 / n, (long)count);
    }
    // The search dialog on the largest file: from OK in the chooser to the
    // results in the list.
    HWND search = OpenModal(p.ProcessId(), main, 4015);
    if (search == NULL)
        return 1;
    SendMessageW(GetDlgItem(search, 4018), WM_SETTEXT, 0, (LPARAM)L"50.11");
    SendMessageW(GetDlgItem(search, 4019), WM_SETTEXT, 0, (LPARAM)L"8.68");
    std::printf("\n%10s %12s %12s %10s\n", "search", "seconds", "ns/line", "results");
    for (int n : sizes) {
        SendMessageW(GetDlgItem(search, 4036), LB_RESETCONTENT, 0, 0);
        double s = TimedChoice(p, search, 4035, std::to_wstring(n) + L".asc");
        if (s < 0)
            return 1;
        LRESULT count = SendMessageW(GetDlgItem(search, 4036), LB_GETCOUNT, 0, 0);
        std::printf("%10d %12.3f %12.0f %10ld\n", n, s, s * 1e9 / n, (long)count);
    }
    SendMessageW(GetDlgItem(search, 4037), BM_CLICK, 0, 0);
    Settle(main);
    PostMessageW(main, WM_CLOSE, 0, 0);
    return p.WaitExit() == 0 ? 0 : 1;
}
