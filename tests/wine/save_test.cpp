// Saving a tour with the real program under Wine: the stamped file, its
// bytes, the route hand-off, and saves that fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "driver.h"
#include "program_test.h"
#include "res/resource.h"

namespace {

typedef std::vector<std::wstring> Items;

const std::wstring kPois = L"\\Storage Card\\Routen\\POIs\\";
const std::wstring kTours = L"\\Storage Card\\Routen\\Wendrik\\";
const std::wstring kRoute = L"\\My Documents\\route.cfg";
const std::wstring kConfig = std::wstring(device::kProgramDir) + L"\\Wendrik.cfg";

// Names of the saved tours in a device folder.
std::vector<std::wstring> SavedTours(const std::wstring& dir = kTours)
{
    std::vector<std::wstring> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(L"D:" + dir, ec)) {
        std::wstring n = e.path().filename().wstring();
        if (n.rfind(L"WK_", 0) == 0)
            names.push_back(n);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The clock's UTC time, moved by some seconds, as a stamp
// "YYYYMMDD_hhmmss"; stamps of one width sort as their times do.
std::wstring ClockStamp(int seconds)
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    unsigned long long t = ((unsigned long long)ft.dwHighDateTime << 32 | ft.dwLowDateTime) +
                           (long long)seconds * 10000000LL;
    ft.dwLowDateTime = (DWORD)t;
    ft.dwHighDateTime = (DWORD)(t >> 32);
    SYSTEMTIME st;
    FileTimeToSystemTime(&ft, &st);
    wchar_t buf[32];
    swprintf(buf, 32, L"%04d%02d%02d_%02d%02d%02d", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
    return buf;
}

std::string Narrow(const std::wstring& s)
{
    return std::string(s.begin(), s.end());
}

class Save : public ProgramTest {
protected:
    HWND TourList() { return GetDlgItem(main, IDC_MAIN_TOURLIST); }
    // OK pressed as a tap: true when the program ended with 1.
    bool PressOk()
    {
        Click(main, IDOK);
        Settle(main);
        if (IsWindow(main) && IsWindowVisible(main))
            return false;   // the window stayed open
        return program.WaitExit() == 1;
    }
    // OK on the running program; the one saved tour's name, whose stamp must
    // be the clock's UTC time within a second or two.
    std::wstring SaveNow()
    {
        const std::wstring before = ClockStamp(-1);
        EXPECT_TRUE(PressOk());
        const std::wstring after = ClockStamp(1);
        auto saved = SavedTours();
        if (saved.size() != 1u) {
            ADD_FAILURE() << saved.size() << " tours saved";
            return L"";
        }
        const std::wstring& name = saved[0];
        EXPECT_EQ(name.size(), 3 + 15 + 4u) << Narrow(name);
        EXPECT_EQ(name.substr(18), L".asc");
        const std::wstring stamp = name.substr(3, 15);
        EXPECT_GE(stamp, before) << Narrow(name);
        EXPECT_LE(stamp, after) << Narrow(name);
        return name;
    }
};

TEST_F(Save, TheTourGoesToAStampedFileLineByLine)
{
    Start();
    // A file's last line without its line feed gets a line end before the
    // next entry, whatever its length (only the reader's cut pieces join
    // their next one: tested below); the last entry is written as it stands.
    const std::wstring piece(1023, L'x');
    AddItems(TourList(), {L"8.5,49.25,\"Start\"\n", L"8.4,49.0,\"Karlsruhe\"", L"9.0,50.0,\"M\u00fchle\"\n",
                          piece, L"rest\n", L"7.1,50.7,\"Bonn\""});
    const std::wstring name = SaveNow();
    EXPECT_EQ(device::Read(kTours + name), "8.5,49.25,\"Start\"\r\n8.4,49.0,\"Karlsruhe\"\r\n9.0,50.0,\"M\xFChle\"\r\n" +
                                               Narrow(piece) + "\r\nrest\r\n7.1,50.7,\"Bonn\"");
    EXPECT_FALSE(device::Exists(kRoute)) << "no hand-off by default";
}

TEST_F(Save, NeverReplacesATourOfTheSameSecond)
{
    // Tours already saved in this second and the next few (a clock set
    // back, a copy started at once): each stays, the new one takes the
    // next free second.
    std::vector<std::wstring> taken;
    for (int s = -1; s <= 3; s++) {
        taken.push_back(L"WK_" + ClockStamp(s) + L".asc");
        device::Write(kTours + taken.back(), "1,2,\"alt\"\r\n");
    }
    const std::wstring before = ClockStamp(-1);
    Start();
    AddItems(TourList(), {L"3,4,\"neu\"\n"});
    ASSERT_TRUE(PressOk());
    for (const std::wstring& t : taken)
        EXPECT_EQ(device::Read(kTours + t), "1,2,\"alt\"\r\n") << Narrow(t);
    auto saved = SavedTours();
    ASSERT_EQ(saved.size(), taken.size() + 1);
    const std::wstring& added = saved.back();
    EXPECT_EQ(device::Read(kTours + added), "3,4,\"neu\"\r\n") << "the newest name: " << Narrow(added);
    EXPECT_LE(added, L"WK_" + ClockStamp(61) + L".asc");
    EXPECT_GT(added, L"WK_" + before);
}

TEST_F(Save, ATourReadsBackWithItsOwnCharacters)
{
    // Windows-1252 bytes that happen to be UTF-8 ("\u00c3\u00bc" is "\u00fc"
    // in UTF-8) would read back as other text: such a tour goes out as UTF-8.
    Start();
    AddItems(TourList(), {L"11.5,48.1,\"M\u00c3\u00bcnchen\"\n"});
    const std::wstring name = SaveNow();
    EXPECT_EQ(device::Read(kTours + name), "\xEF\xBB\xBF" "11.5,48.1,\"M\xC3\x83\xC2\xBCnchen\"\r\n");
}

TEST_F(Save, ConfiguredFolderWithoutItsBackslash)
{
    device::Write(kConfig, "Tour=\\Storage Card\\Routen\\Wendrik\r\nkoord465=1\r\n");
    Start();
    AddItems(TourList(), {L"1,2,\"a\"\n"});
    const std::wstring name = SaveNow();
    EXPECT_EQ(device::Read(kTours + name), "1,2,\"a\"\r\n") << "saved inside the folder";
    EXPECT_EQ(device::Read(kRoute), "akt=0\r\nroute=" + Narrow(kTours + name) + "\r\n");
}

// The test command runs this under a fake clock (WENDRIK_CLOCK, UTC): a
// device whose clock was reset to an old date, or runs far ahead, still
// names its tours by that clock.
TEST_F(Save, StampFollowsTheClockInAnyYear)
{
    wchar_t clock[32] = L"";
    if (GetEnvironmentVariableW(L"WENDRIK_CLOCK", clock, 32) == 0)
        GTEST_SKIP() << "only under a fake clock";
    SYSTEMTIME now;
    GetSystemTime(&now);
    ASSERT_EQ(now.wYear, _wtoi(clock)) << "the fake clock holds";
    Start();
    const std::wstring name = SaveNow();
    EXPECT_EQ(name.substr(3, 4), std::wstring(clock, 4)) << Narrow(name);
}

TEST_F(Save, EmptyTourGivesAnEmptyFileAndTheHandOffNamesIt)
{
    device::Write(kConfig, "koord465=1\r\n");
    device::Write(kRoute, "akt=3\r\nroute=\\alt.asc\r\nmehr=1\r\n");
    Start();
    ASSERT_TRUE(PressOk());
    auto saved = SavedTours();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(device::Read(kTours + saved[0]), "");
    EXPECT_EQ(device::Read(kRoute), "akt=0\r\nroute=" + Narrow(kTours + saved[0]) + "\r\n")
        << "replaced whole";
}

TEST_F(Save, HandOffOnlyForExactlyOne)
{
    struct Case { const char* config; const wchar_t* args; bool handOff; };
    const Case cases[] = {
        {"koord465=0\r\n", L"", false},
        {"koord465=2\r\n", L"", false},
        {"koord465=-1\r\n", L"", false},
        {"koord465=\r\n", L"", false},
        {"koord465=1\r\n", L"KOORD465=0", false},
        {"koord465=1\r\n", L"Koord465=", false},
        {"", L"/x KOORD465=1 y", true},
        {"koord465=0\r\n", L"koord465=1", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.config << " / " << Narrow(c.args));
        device::Reset();
        device::Write(kConfig, c.config);
        device::Write(kRoute, "unberührt");
        Program p;
        ASSERT_TRUE(p.Start(c.args));
        HWND w = p.WaitWindow();
        ASSERT_NE(w, (HWND)NULL);
        Click(w, IDOK);
        ASSERT_EQ(p.WaitExit(), 1u);
        auto saved = SavedTours();
        ASSERT_EQ(saved.size(), 1u);
        if (c.handOff)
            EXPECT_EQ(device::Read(kRoute), "akt=0\r\nroute=" + Narrow(kTours + saved[0]) + "\r\n");
        else
            EXPECT_EQ(device::Read(kRoute), "unberührt");
    }
    // Neither created when it is off.
    device::Reset();
    Program p;
    ASSERT_TRUE(p.Start(L"koord465=2"));
    HWND w = p.WaitWindow();
    ASSERT_NE(w, (HWND)NULL);
    Click(w, IDOK);
    ASSERT_EQ(p.WaitExit(), 1u);
    EXPECT_FALSE(device::Exists(kRoute));
}

TEST_F(Save, MissingTourFolderKeepsTheWindowOpen)
{
    device::Write(kConfig, "Tour=\\Fehlt\\\r\nkoord465=1\r\n");
    Start();
    AddItems(TourList(), {L"1,2,\"a\"\n"});
    EXPECT_FALSE(PressOk());
    ASSERT_TRUE(program.Running());
    Items tour = ListItems(TourList());
    ASSERT_EQ(tour.size(), 2u);
    EXPECT_EQ(tour[1].rfind(L"\\Fehlt\\WK_", 0), 0u) << Narrow(tour[1]);
    EXPECT_EQ(tour[1].size(), 7 + 22u);
    EXPECT_FALSE(device::Exists(kRoute)) << "nothing handed off";

    // The card is back: the next OK saves, the failed path as an entry.
    std::filesystem::create_directories(L"D:\\Fehlt");
    ASSERT_TRUE(PressOk());
    auto saved = SavedTours(L"\\Fehlt\\");
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(device::Read(L"\\Fehlt\\" + saved[0]), "1,2,\"a\"\r\n" + Narrow(tour[1]));
    EXPECT_EQ(device::Read(kRoute), "akt=0\r\nroute=\\Fehlt\\" + Narrow(saved[0]) + "\r\n");
}

TEST_F(Save, TourFolderGoneBetweenChoosingAndSaving)
{
    device::Write(kTours + L"WK_20100215_123456.asc", "1,2,\"a\"\r\n");
    device::Write(kConfig, "koord465=1\r\n");
    device::Write(kRoute, "akt=0\r\nroute=\\alt.asc\r\n");
    Start();
    HWND chooser = OpenModal(program.ProcessId(), main, IDC_MAIN_TOURFILE);
    ASSERT_NE(chooser, (HWND)NULL);
    AnswerChooser(chooser, main, L"WK_20100215_123456.asc");
    ASSERT_EQ(ListItems(TourList()).size(), 1u);
    std::filesystem::remove_all(L"D:" + kTours);   // the card was pulled
    EXPECT_FALSE(PressOk()) << "nothing reported as saved";
    ASSERT_TRUE(program.Running());
    Items tour = ListItems(TourList());
    ASSERT_EQ(tour.size(), 2u);
    EXPECT_EQ(tour[1].rfind(kTours + L"WK_", 0), 0u) << "the path that failed";
    EXPECT_FALSE(device::Exists(kTours)) << "no folder made up";
    EXPECT_EQ(device::Read(kRoute), "akt=0\r\nroute=\\alt.asc\r\n") << "hand-off untouched";
}

TEST_F(Save, TourFolderTooLongFailsWithoutHarm)
{
    device::Write(kConfig, "Tour=\\" + std::string(1010, 't') + "\\\r\n");
    Start();
    EXPECT_FALSE(PressOk());
    ASSERT_TRUE(program.Running());
    Items tour = ListItems(TourList());
    ASSERT_EQ(tour.size(), 1u);
    EXPECT_LE(tour[0].size(), 1023u);
    EXPECT_EQ(tour[0].rfind(L"\\ttt", 0), 0u);
}

TEST_F(Save, ALoadedTourSavedUnchangedIsTheSameFile)
{
    const std::string bytes = "8.5,49.25,\"M\xFCnchen \x80\"\r\n\r\n13.4,52.5,\"Berlin\"\r\n";
    device::Write(kTours + L"WK_20100215_123456.asc", bytes);
    Start();
    HWND chooser = OpenModal(program.ProcessId(), main, IDC_MAIN_TOURFILE);
    ASSERT_NE(chooser, (HWND)NULL);
    AnswerChooser(chooser, main, L"WK_20100215_123456.asc");
    ASSERT_EQ(ListItems(TourList()).size(), 3u);
    ASSERT_TRUE(PressOk());
    auto saved = SavedTours();
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(device::Read(kTours + saved[1]), bytes) << "byte for byte, under its new name";
}

TEST_F(Save, LongLinesTakenPieceByPieceAreSavedWhole)
{
    // The reader ends a piece before a character beyond U+FFFF that does
    // not fit, so a piece of a long line may be shorter than the buffer.
    const std::string emoji = "\xF0\x9F\x98\x80";
    const std::string bytes = std::string(1022, 'a') + emoji + std::string(400, 'b') + "\r\n" +
                              std::string(1500, 'c') + "\r\n1,2,\"x\"\r\n";
    device::Write(kPois + L"lang.asc", bytes);
    Start();
    HWND chooser = OpenModal(program.ProcessId(), main, IDC_MAIN_POIFILE);
    ASSERT_NE(chooser, (HWND)NULL);
    AnswerChooser(chooser, main, L"lang.asc");
    const LRESULT count = SendMessageW(GetDlgItem(main, IDC_MAIN_WAYPOINTS), LB_GETCOUNT, 0, 0);
    ASSERT_EQ(count, 5);
    for (int i = 0; i < count; i++) {
        Select(main, IDC_MAIN_WAYPOINTS, i);
        Click(main, IDC_MAIN_WPAPPEND);
    }
    ASSERT_EQ(ListItems(TourList()).size(), 5u);
    const std::wstring name = SaveNow();
    EXPECT_EQ(device::Read(kTours + name), "\xEF\xBB\xBF" + bytes) << "the same lines, as UTF-8";
}

TEST_F(Save, FullCardLeavesNoPartialTour)
{
    // Drive E: is a tmpfs of 16 KiB that the test wrapper mounts as root.
    wchar_t drive[8] = L"";
    if (GetEnvironmentVariableW(L"WENDRIK_FULL_DRIVE", drive, 8) == 0)
        GTEST_SKIP() << "no small file system to fill (the wrapper mounts one only as root)";
    const std::wstring card = std::wstring(drive) + L"\\";
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(card, ec))
        std::filesystem::remove_all(e.path(), ec);
    device::Write(kConfig, "Tour=" + Narrow(card) + "\r\nkoord465=1\r\n");
    device::Write(kRoute, "akt=0\r\nroute=\\alt.asc\r\n");
    Start();
    Items tour;
    for (int i = 0; i < 60; i++)
        tour.push_back(L"8.5,49.25,\"" + std::wstring(900, L'a' + i % 26) + L"\"\n");
    AddItems(TourList(), tour);
    EXPECT_FALSE(PressOk()) << "a tour that did not fit is not reported as saved";
    ASSERT_TRUE(program.Running());
    Items after = ListItems(TourList());
    ASSERT_EQ(after.size(), 61u);
    EXPECT_EQ(after.back().rfind(card + L"WK_", 0), 0u);
    int left = 0;
    for (const auto& e : std::filesystem::directory_iterator(card, ec))
        left += e.path().filename().wstring().rfind(L"WK_", 0) == 0;
    EXPECT_EQ(left, 0) << "no half tour for the navigation application";
    EXPECT_EQ(device::Read(kRoute), "akt=0\r\nroute=\\alt.asc\r\n") << "hand-off untouched";
}

}  // namespace

namespace {

TEST_F(Save, ReadOnlyHandOffFileIsLeftAndTheTourStillSaved)
{
    device::Write(kConfig, "koord465=1\r\n");
    device::Write(kRoute, "akt=0\r\nroute=\\alt.asc\r\n");
    const std::wstring route = L"D:" + kRoute;
    ASSERT_TRUE(SetFileAttributesW(route.c_str(), FILE_ATTRIBUTE_READONLY));
    HANDLE probe = CreateFileW(route.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        SetFileAttributesW(route.c_str(), FILE_ATTRIBUTE_NORMAL);
        GTEST_SKIP() << "this platform writes read-only files (Wine run as root)";
    }
    Start();
    AddItems(TourList(), {L"1,2,\"a\"\n"});
    EXPECT_TRUE(PressOk()) << "the tour itself is saved";
    EXPECT_EQ(SavedTours().size(), 1u);
    EXPECT_EQ(device::Read(kRoute), "akt=0\r\nroute=\\alt.asc\r\n") << "a file that cannot be written stays";
    SetFileAttributesW(route.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
