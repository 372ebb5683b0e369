// Makes the README's pictures of the real windows: the main window with a
// sample POI file and a short tour, the file chooser, and (on the landscape
// screens) the search dialog with the five fuel stations nearest to
// Frankfurt. Run by tools/screenshots.sh through the UI tests' wrapper.
//
//   pictures.exe SAMPLE_POI_FOLDER OUT_FOLDER     (Windows paths)
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "driver.h"
#include "res/resource.h"

namespace {

const wchar_t kPois[] = L"\\Storage Card\\Routen\\POIs\\";

void Shoot(const std::wstring& folder, const std::wstring& name, HWND settled)
{
    Settle(settled);
    Sleep(400);   // let it paint
    const std::wstring path = folder + L"\\" + name + L"-" + std::to_wstring(GetSystemMetrics(SM_CXSCREEN)) + L".bmp";
    if (!TakeScreenshot().SaveBmp(path))
        std::printf("could not save %ls\n", path.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: pictures.exe SAMPLE_POI_FOLDER OUT_FOLDER\n");
        return 2;
    }
    const std::wstring samples = argv[1], out = argv[2];
    device::Reset();
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(samples, ec))
        std::filesystem::copy_file(e.path(), L"D:" + std::wstring(kPois) + e.path().filename().wstring(), ec);

    Program program;
    HWND main = program.Start() ? program.WaitWindow() : NULL;
    if (main == NULL) {
        std::printf("the program did not show its window\n");
        return 1;
    }
    const DWORD pid = program.ProcessId();
    HWND chooser = OpenModal(pid, main, IDC_MAIN_POIFILE);
    if (chooser != NULL) {
        Shoot(out, L"chooser", chooser);
        AnswerChooser(chooser, main, L"Sehensw\u00fcrdigkeiten.asc");
    }
    for (int index : {2, 5, 0}) {
        Select(main, IDC_MAIN_WAYPOINTS, index);
        Click(main, IDC_MAIN_WPAPPEND);
    }
    Shoot(out, L"main", main);

    if (GetSystemMetrics(SM_CXSCREEN) != 240) {
        HWND search = OpenModal(pid, main, IDC_MAIN_SEARCH);
        if (search != NULL) {
            SendMessageW(GetDlgItem(search, IDC_SEARCH_LAT), WM_SETTEXT, 0, (LPARAM)L"50.110924");
            SendMessageW(GetDlgItem(search, IDC_SEARCH_LON), WM_SETTEXT, 0, (LPARAM)L"8.682127");
            HWND find = OpenModal(pid, search, IDC_SEARCH_FIND);
            if (find != NULL)
                AnswerChooser(find, search, L"Tankstellen.asc");
            Shoot(out, L"search", search);
            Click(search, IDC_SEARCH_CLOSE);
        }
    }
    Settle(main);
    PostMessageW(main, WM_CLOSE, 0, 0);
    return program.WaitExit() == 0 ? 0 : 1;
}
