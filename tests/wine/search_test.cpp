// The proximity search dialog of the real program under Wine: the keypad,
// "Tourende", the nearest-five search and the navigation position from
// the prefix's real registry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver.h"
#include "res/resource.h"

namespace {

typedef std::vector<std::wstring> Items;

const std::wstring kPois = L"\\Storage Card\\Routen\\POIs\\";
const wchar_t kKey1[] = L"Software\\3SOFT\\Pathfinder\\Position";
const wchar_t kKey2[] = L"Software\\Elektrobit\\streetdirector\\Position";
const wchar_t kKey3[] = L"Software\\Elektrobit\\streetdirector_hmi\\DataPool";

void ClearPositionKeys()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\3SOFT");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Elektrobit");
}

void SetValue(const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL), ERROR_SUCCESS);
    RegSetValueExW(key, name, 0, type, (const BYTE*)data, size);
    RegCloseKey(key);
}

void SetPosition(const wchar_t* path, DWORD x, DWORD y, bool numericNames = false)
{
    SetValue(path, numericNames ? L"2131689564" : L"LastValidMercatorX", REG_DWORD, &x, 4);
    SetValue(path, numericNames ? L"2131689563" : L"LastValidMercatorY", REG_DWORD, &y, 4);
}

class Search : public testing::Test {
protected:
    void SetUp() override
    {
        device::Reset();
        ClearPositionKeys();
        if (GetSystemMetrics(SM_CXSCREEN) == 240)
            return;
        ASSERT_TRUE(program.Start());
        main = program.WaitWindow();
        ASSERT_NE(main, (HWND)NULL);
    }
    void TearDown() override
    {
        ClearPositionKeys();
        if (search != NULL && IsWindow(search))
            Click(search, IDC_SEARCH_CLOSE);
        if (main != NULL && program.Running()) {
            Settle(main);
            PostMessageW(main, WM_CLOSE, 0, 0);
            EXPECT_EQ(program.WaitExit(), 0u);
        }
    }
    void Open()
    {
        search = OpenModal(program.ProcessId(), main, IDC_MAIN_SEARCH);
        ASSERT_NE(search, (HWND)NULL);
        ASSERT_EQ(Text(search), L"Umgebungssuche");
    }
    std::wstring Lat() { return ControlText(search, IDC_SEARCH_LAT); }
    std::wstring Lon() { return ControlText(search, IDC_SEARCH_LON); }
    Items Results() { return ListItems(GetDlgItem(search, IDC_SEARCH_RESULTS)); }
    void Type(const std::vector<int>& keys)
    {
        for (int k : keys)
            Click(search, k);
    }
    // "suche" with the chooser answered by OK on name (or "esc").
    void Find(const std::wstring& name, bool ok = true)
    {
        HWND chooser = OpenModal(program.ProcessId(), search, IDC_SEARCH_FIND);
        ASSERT_NE(chooser, (HWND)NULL);
        AnswerChooser(chooser, search, name, ok);
    }
    bool IsChecked(int id) { return SendMessageW(GetDlgItem(search, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

    Program program;
    HWND main = NULL;
    HWND search = NULL;
};

TEST_F(Search, OpensFreshAndStaysOpenOnEnterEscAndClose)
{
    if (main == NULL)
        GTEST_SKIP() << "no search layout on a 240-pixel screen (tested below)";
    Open();
    EXPECT_EQ(Lat(), L"");
    EXPECT_EQ(Lon(), L"");
    EXPECT_TRUE(IsChecked(IDC_SEARCH_NORTH));
    EXPECT_EQ(ControlText(search, IDC_SEARCH_KEYPOINT), L".") << "the point key types a point";
    EXPECT_EQ(ControlText(search, IDC_SEARCH_KEYMINUS), L"-");
    // The fields are typed into through the keypad: no tab stops, and the
    // focus starts on the keypad's first key.
    for (int field : {IDC_SEARCH_LAT, IDC_SEARCH_LON})
        EXPECT_FALSE(GetWindowLongW(GetDlgItem(search, field), GWL_STYLE) & WS_TABSTOP) << field;
    GUITHREADINFO focus = {};
    focus.cbSize = sizeof(focus);
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(search, NULL), &focus));
    EXPECT_EQ(focus.hwndFocus, GetDlgItem(search, IDC_SEARCH_KEY7));
    SendMessageW(search, WM_COMMAND, IDOK, 0);
    SendMessageW(search, WM_COMMAND, IDCANCEL, 0);
    SendMessageW(search, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(search) && IsWindowVisible(search));

    // The whole dialog on the screen.
    RECT r = ScreenRect(search);
    EXPECT_GE(r.left, 0);
    EXPECT_GE(r.top, 0);
    EXPECT_LE(r.right, GetSystemMetrics(SM_CXSCREEN) + GetSystemMetrics(SM_CXDLGFRAME));
    EXPECT_LE(r.bottom, GetSystemMetrics(SM_CYSCREEN));
    Sleep(300);  // let it paint
    if (!ShotFolder().empty())
        TakeScreenshot().SaveBmp(ShotFolder() + L"\\search-" + std::to_wstring(GetSystemMetrics(SM_CXSCREEN)) + L".bmp");
}

TEST_F(Search, Keypad)
{
    if (main == NULL)
        GTEST_SKIP() << "no search layout on a 240-pixel screen";
    Open();
    Type({IDC_SEARCH_KEY7, IDC_SEARCH_KEYPOINT, IDC_SEARCH_KEY5});
    EXPECT_EQ(Lat(), L"7.5");
    EXPECT_EQ(Lon(), L"");
    Click(search, IDC_SEARCH_EAST);
    Type({IDC_SEARCH_KEYMINUS, IDC_SEARCH_KEY1, IDC_SEARCH_KEY2, IDC_SEARCH_BACK, IDC_SEARCH_KEY3});
    EXPECT_EQ(Lon(), L"-13") << "the minus key types a minus";
    EXPECT_EQ(Lat(), L"7.5");

    // "<" on an empty field changes nothing.
    SendMessageW(GetDlgItem(search, IDC_SEARCH_LON), WM_SETTEXT, 0, (LPARAM)L"");
    Click(search, IDC_SEARCH_BACK);
    EXPECT_EQ(Lon(), L"");

    // A field longer than 79 characters is cut to 79 before a key, and
    // the key's character still goes on the end.
    Click(search, IDC_SEARCH_NORTH);
    std::wstring hundred(100, L'1');
    SendMessageW(GetDlgItem(search, IDC_SEARCH_LAT), WM_SETTEXT, 0, (LPARAM)hundred.c_str());
    Click(search, IDC_SEARCH_KEY9);
    EXPECT_EQ(Lat(), std::wstring(79, L'1') + L"9");
    SendMessageW(GetDlgItem(search, IDC_SEARCH_LAT), WM_SETTEXT, 0, (LPARAM)std::wstring(79, L'1').c_str());
    Click(search, IDC_SEARCH_KEY9);
    EXPECT_EQ(Lat(), std::wstring(79, L'1') + L"9") << "a full field";
    SendMessageW(GetDlgItem(search, IDC_SEARCH_LAT), WM_SETTEXT, 0, (LPARAM)hundred.c_str());
    Click(search, IDC_SEARCH_BACK);
    EXPECT_EQ(Lat(), std::wstring(78, L'1'));

    // "löschen" back to the state of opening.
    Click(search, IDC_SEARCH_CLEAR);
    EXPECT_EQ(Lat(), L"");
    EXPECT_EQ(Lon(), L"");
    EXPECT_TRUE(IsChecked(IDC_SEARCH_NORTH));
    EXPECT_FALSE(IsChecked(IDC_SEARCH_CLEAR));
}

TEST_F(Search, TourEnd)
{
    if (main == NULL)
        GTEST_SKIP() << "no search layout on a 240-pixel screen";
    HWND tour = GetDlgItem(main, IDC_MAIN_TOURLIST);
    Open();
    Type({IDC_SEARCH_KEY1});
    Click(search, IDC_SEARCH_TOUREND);
    EXPECT_EQ(Lat(), L"1") << "an empty tour leaves the fields";
    EXPECT_TRUE(IsChecked(IDC_SEARCH_TOUREND));

    const wchar_t* lines[] = {L"8.5,49.25,\"a\"\n", L"8.5;49.25;\"b\"\n", L"8.5, 49.25,\"c\"\n"};
    for (const wchar_t* line : lines) {
        SendMessageW(tour, LB_ADDSTRING, 0, (LPARAM)line);
        Click(search, IDC_SEARCH_TOUREND);
        EXPECT_EQ(Lat(), L"49.250000");
        EXPECT_EQ(Lon(), L"8.500000");
    }
    SendMessageW(tour, LB_ADDSTRING, 0, (LPARAM)L"kein Punkt\n");
    Click(search, IDC_SEARCH_TOUREND);
    EXPECT_EQ(Lat(), L"0.000000");
    EXPECT_EQ(Lon(), L"0.000000");

    // Neither "N" nor "O" checked: keys do nothing until one is pressed.
    Type({IDC_SEARCH_KEY7, IDC_SEARCH_BACK});
    EXPECT_EQ(Lat(), L"0.000000");
    EXPECT_EQ(Lon(), L"0.000000");
    Click(search, IDC_SEARCH_EAST);
    Type({IDC_SEARCH_KEY7});
    EXPECT_EQ(Lon(), L"0.0000007");
}

TEST_F(Search, FindsTheFiveNearestAndOkAppendsThem)
{
    if (main == NULL)
        GTEST_SKIP() << "no search layout on a 240-pixel screen";
    device::Write(kPois + L"orte.asc",
        "8.70,50.10,\"A\"\r\n8.60,50.20,\"B\"\r\n9.50,50.10,\"Fern\"\r\n8.69,50.11,\"C\"\r\n"
        "0,0,\"leer\"\r\n8.66,50.12,\"D\"\r\n8.68,50.30,\"E\"\r\n8.68,50.11,\"Bahnhof\"");
    HWND tour = GetDlgItem(main, IDC_MAIN_TOURLIST);
    SendMessageW(tour, LB_ADDSTRING, 0, (LPARAM)L"8.68,50.11,\"Start\"\n");
    Open();
    Click(search, IDC_SEARCH_TOUREND);

    // Cancelling the chooser changes nothing.
    Find(L"", false);
    EXPECT_EQ(Results(), Items{});

    Find(L"orte.asc");
    Items r = Results();
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0], L"8.70,50.10,\"A  1.8 km SO\"\n");
    EXPECT_EQ(r[1], L"8.60,50.20,\"B  11.5 km NNW\"\n");
    // "Fern" filled slot 2, E (21.1 km) replaced it, and the Bahnhof at the
    // reference itself replaced E: results stand in slot order.
    EXPECT_EQ(r[2], L"8.68,50.11,\"Bahnhof  0.0 km N\"\n") << "a last line without line feed keeps its name";
    EXPECT_EQ(r[3], L"8.69,50.11,\"C  0.7 km O\"\n");
    EXPECT_EQ(r[4], L"8.66,50.12,\"D  1.8 km NW\"\n");

    // A second search adds a second set.
    Find(L"orte.asc");
    EXPECT_EQ(Results().size(), 10u);
    Click(search, IDC_SEARCH_OK);
    for (int i = 0; i < 100 && IsWindow(search); i++)
        Sleep(10);
    EXPECT_FALSE(IsWindow(search));
    Items t = ListItems(tour);
    ASSERT_EQ(t.size(), 11u);
    EXPECT_EQ(t[1], r[0]);
    EXPECT_EQ(t[10], r[4]);
}

TEST_F(Search, OkWithNothingFoundStillCloses)
{
    if (main == NULL)
        GTEST_SKIP() << "no search layout on a 240-pixel screen";
    Open();
    Click(search, IDC_SEARCH_OK);
    for (int i = 0; i < 100 && IsWindow(search); i++)
        Sleep(10);
    EXPECT_FALSE(IsWindow(search));
    EXPECT_EQ(ListItems(GetDlgItem(main, IDC_MAIN_TOURLIST)), Items{});
    // After a "Position" that found nothing, the message is no waypoint.
    Open();
    Click(search, IDC_SEARCH_POSITION);
    EXPECT_EQ(Results().size(), 1u);
    Click(search, IDC_SEARCH_OK);
    for (int i = 0; i < 100 && IsWindow(search); i++)
        Sleep(10);
    EXPECT_EQ(ListItems(GetDlgItem(main, IDC_MAIN_TOURLIST)), Items{});
    Open();
    Click(search, IDC_SEARCH_CLOSE);
    for (int i = 0; i < 100 && IsWindow(search); i++)
        Sleep(10);
    EXPECT_FALSE(IsWindow(search));
}

TEST_F(Search, NavigationPositionFromTheRegistry)
{
    if (main == NULL)
        GTEST_SKIP() << "no search layout on a 240-pixel screen";
    Open();
    const std::wstring message = L"Keine g\u00fcltigen Positionsdaten gefunden (2)";
    Click(search, IDC_SEARCH_POSITION);
    Click(search, IDC_SEARCH_POSITION);
    EXPECT_EQ(Results(), (Items{message, message})) << "no key: the message, once a press";
    EXPECT_EQ(Lat(), L"");

    SetPosition(kKey3, 1000000, 6000000, true);
    Click(search, IDC_SEARCH_POSITION);
    EXPECT_EQ(Lat(), L"47.394594") << "only key 3, by its numeric value names";
    EXPECT_EQ(Lon(), L"8.993216");
    EXPECT_TRUE(IsChecked(IDC_SEARCH_POSITION));
    EXPECT_FALSE(IsChecked(IDC_SEARCH_NORTH));

    SetPosition(kKey2, 1000000, 6500000);
    Click(search, IDC_SEARCH_POSITION);
    EXPECT_EQ(Lat(), L"50.350973") << "key 2 before key 3";
    EXPECT_EQ(Lon(), L"8.993216");

    SetPosition(kKey1, 0, 0);
    Click(search, IDC_SEARCH_POSITION);
    EXPECT_EQ(Lat(), L"0.000000") << "key 1 wins";
    EXPECT_EQ(Lon(), L"0.000000");

    // Negative metres west and south: Brest, and Sydney's latitude.
    SetPosition(kKey1, (DWORD)-499000, 6170000);
    Click(search, IDC_SEARCH_POSITION);
    EXPECT_EQ(Lon(), L"-4.487615");
    EXPECT_EQ(Lat(), L"48.419388");
    SetPosition(kKey1, 16810000, (DWORD)-4010000);
    Click(search, IDC_SEARCH_POSITION);
    EXPECT_EQ(Lat(), L"-33.893362");
    EXPECT_EQ(Lon(), L"151.175962");

    // A key 1 without its y value, or with values of the wrong size, does
    // not count: key 2 gives the position.
    ClearPositionKeys();
    DWORD x = 1000000;
    SetValue(kKey1, L"LastValidMercatorX", REG_DWORD, &x, 4);
    SetPosition(kKey2, 1000000, 6500000);
    Click(search, IDC_SEARCH_POSITION);
    EXPECT_EQ(Lat(), L"50.350973");
    unsigned long long wide = 5;
    SetValue(kKey1, L"LastValidMercatorY", REG_QWORD, &wide, 8);
    SendMessageW(GetDlgItem(search, IDC_SEARCH_LAT), WM_SETTEXT, 0, (LPARAM)L"");
    Click(search, IDC_SEARCH_POSITION);
    EXPECT_EQ(Lat(), L"50.350973");
    SetValue(kKey1, L"LastValidMercatorY", REG_SZ, L"6500000", 16);
    SendMessageW(GetDlgItem(search, IDC_SEARCH_LAT), WM_SETTEXT, 0, (LPARAM)L"");
    Click(search, IDC_SEARCH_POSITION);
    EXPECT_EQ(Lat(), L"50.350973") << "a number as text is no position";

    // Nothing usable anywhere: the message, fields unchanged.
    ClearPositionKeys();
    SetValue(kKey3, L"2131689564", REG_DWORD, &x, 4);
    Click(search, IDC_SEARCH_POSITION);
    EXPECT_EQ(Results().back(), message);
    EXPECT_EQ(Lat(), L"50.350973");
}

TEST(SearchSmallScreen, NoSearchOnA240PixelScreen)
{
    if (GetSystemMetrics(SM_CXSCREEN) != 240)
        GTEST_SKIP() << "only on the portrait screen";
    device::Reset();
    Program p;
    ASSERT_TRUE(p.Start());
    HWND main = p.WaitWindow();
    ASSERT_NE(main, (HWND)NULL);
    PostMessageW(main, WM_COMMAND, IDC_MAIN_SEARCH, 0);
    Settle(main);
    EXPECT_EQ(WaitDialog(p.ProcessId(), main, 500), (HWND)NULL);
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(p.WaitExit(), 0u);
}

}  // namespace
