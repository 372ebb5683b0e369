// A thousand rounds of what a user does most, in one run of the program:
// its memory and handles must not grow.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "driver.h"
#include <psapi.h>
#include "../../res/resource.h"

namespace {

struct Usage {
    SIZE_T privateBytes = 0;
    DWORD handles = 0;
};

Usage Measure(HANDLE process)
{
    Usage u;
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(process, (PROCESS_MEMORY_COUNTERS*)&pmc, sizeof pmc))
        u.privateBytes = pmc.PrivateUsage != 0 ? pmc.PrivateUsage : pmc.PagefileUsage;
    GetProcessHandleCount(process, &u.handles);
    return u;
}

TEST(Soak, AThousandRoundsDoNotGrow)
{
    device::Reset();
    std::string pois;
    for (int i = 0; i < 200; i++)
        pois += std::to_string(8 + i / 100.0) + "," + std::to_string(50 + i / 200.0) + ",\"POI " + std::to_string(i) + "\"\r\n";
    device::Write(L"\\Storage Card\\Routen\\POIs\\p.asc", pois);
    Program p;
    ASSERT_TRUE(p.Start());
    HWND main = p.WaitWindow();
    ASSERT_NE(main, (HWND)NULL);
    const bool withSearch = GetSystemMetrics(SM_CXSCREEN) != 240;

    Usage start;
    const int rounds = 1000, warmUp = 50;
    for (int round = 0; round < rounds; round++) {
        if (round == warmUp)
            start = Measure(p.Handle());
        HWND chooser = OpenModal(p.ProcessId(), main, IDC_MAIN_TOURFILE);
        ASSERT_NE(chooser, (HWND)NULL) << "round " << round;
        AnswerChooser(chooser, main, L"", false);
        chooser = OpenModal(p.ProcessId(), main, IDC_MAIN_POIFILE);
        ASSERT_NE(chooser, (HWND)NULL) << "round " << round;
        AnswerChooser(chooser, main, L"p.asc");
        if (withSearch) {
            HWND search = OpenModal(p.ProcessId(), main, IDC_MAIN_SEARCH);
            ASSERT_NE(search, (HWND)NULL) << "round " << round;
            Click(search, IDC_SEARCH_TOUREND);
            chooser = OpenModal(p.ProcessId(), search, IDC_SEARCH_FIND);
            ASSERT_NE(chooser, (HWND)NULL) << "round " << round;
            AnswerChooser(chooser, search, L"p.asc");
            ASSERT_EQ(ListItems(GetDlgItem(search, IDC_SEARCH_RESULTS)).size(), 5u);
            Click(search, IDC_SEARCH_CLOSE);
            Settle(main);
        }
    }
    Usage end = Measure(p.Handle());
    std::printf("soak: private memory %zu KiB after %d rounds, %zu KiB after %d; handles %lu and %lu\n",
                (size_t)(start.privateBytes / 1024), warmUp, (size_t)(end.privateBytes / 1024), rounds,
                (unsigned long)start.handles, (unsigned long)end.handles);
    ASSERT_GT(start.privateBytes, 0u) << "the process could not be measured";
    EXPECT_LE(end.privateBytes, start.privateBytes + 512 * 1024) << "memory grows";
    // Wine 8 counts no handles of another process (0); where the platform
    // does, they must not grow either.
    if (start.handles > 0)
        EXPECT_LE(end.handles, start.handles + 4) << "handles leak";
    else
        std::printf("soak: this platform reports no handle count of another process\n");
    EXPECT_EQ(ListItems(GetDlgItem(main, IDC_MAIN_WAYPOINTS)).size(), 200u);
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(p.WaitExit(), 0u);
}

}  // namespace
