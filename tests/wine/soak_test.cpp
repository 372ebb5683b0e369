// A thousand rounds of what a user does most, in one run of the program:
// its memory and handles must not grow.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver.h"
#include <psapi.h>
#include <winternl.h>
#include "res/resource.h"

namespace {

struct Usage {
    SIZE_T privateBytes = 0;
    DWORD handles = 0;
};

// The handles a process holds, from the system's handle table: Wine's
// GetProcessHandleCount answers 0 for another process.
DWORD HandlesInTable(DWORD pid)
{
    struct Entry {
        USHORT pid, creator;
        UCHAR type, attributes;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    struct Table {
        ULONG count;
        Entry entries[1];
    };
    typedef NTSTATUS(WINAPI * Query)(ULONG, PVOID, ULONG, PULONG);
    const ULONG kSystemHandleInformation = 16;
    const NTSTATUS kLengthMismatch = (NTSTATUS)0xC0000004L;
    Query query = (Query)(void*)GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation");
    if (query == NULL)
        return 0;
    std::vector<char> buf(1 << 16);
    NTSTATUS status;
    ULONG len = 0;
    while ((status = query(kSystemHandleInformation, buf.data(), (ULONG)buf.size(), &len)) == kLengthMismatch)
        buf.resize(buf.size() * 2);
    if (status != 0)
        return 0;
    const Table* table = (const Table*)buf.data();
    DWORD n = 0;
    for (ULONG i = 0; i < table->count; i++)
        n += table->entries[i].pid == (USHORT)pid;
    return n;
}

Usage Measure(HANDLE process)
{
    Usage u;
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(process, (PROCESS_MEMORY_COUNTERS*)&pmc, sizeof pmc))
        u.privateBytes = pmc.PrivateUsage != 0 ? pmc.PrivateUsage : pmc.PagefileUsage;
    if (!GetProcessHandleCount(process, &u.handles) || u.handles == 0)
        u.handles = HandlesInTable(GetProcessId(process));
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
    ASSERT_GT(start.handles, 0u) << "the handles could not be counted";
    EXPECT_LE(end.handles, start.handles + 4) << "handles leak";
    EXPECT_EQ(ListItems(GetDlgItem(main, IDC_MAIN_WAYPOINTS)).size(), 200u);
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(p.WaitExit(), 0u);
}

}  // namespace
