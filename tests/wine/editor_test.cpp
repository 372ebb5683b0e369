// The file chooser and the tour editor of the real program under Wine,
// answered the way a user taps them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver.h"
#include "program_test.h"
#include "res/resource.h"

namespace {

typedef std::vector<std::wstring> Items;

const std::wstring kPois = L"\\Storage Card\\Routen\\POIs\\";
const std::wstring kTours = L"\\Storage Card\\Routen\\Wendrik\\";

class Editor : public ProgramTest {
protected:
    HWND OpenChooser(int command)
    {
        HWND chooser = OpenModal(program.ProcessId(), main, command);
        EXPECT_NE(chooser, (HWND)NULL) << "no chooser for command " << command;
        return chooser;
    }
    // "POI File" or "Tour File", then OK on name ("esc" when cancel).
    void Load(int command, const std::wstring& name, bool ok = true)
    {
        HWND chooser = OpenChooser(command);
        if (chooser != NULL)
            AnswerChooser(chooser, main, name, ok);
    }
    Items Waypoints() { return ListItems(GetDlgItem(main, IDC_MAIN_WAYPOINTS)); }
    Items Tour() { return ListItems(GetDlgItem(main, IDC_MAIN_TOURLIST)); }
    void Press(int id)
    {
        SendMessageW(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(main, id));
    }
};

TEST_F(Editor, ChooserListsOnlyAscFilesSortedFirstSelected)
{
    device::Write(kPois + L"Zoo.asc", "1,2,\"z\"\n");
    device::Write(kPois + L"Aachen.asc", "1,2,\"a\"\n");
    device::Write(kPois + L"Mitte.asc", "");
    device::Write(kPois + L"notes.txt", "x");
    device::Write(kPois + L"x.asc\\inner.asc", "in a folder named x.asc");
    Start();
    HWND chooser = OpenChooser(IDC_MAIN_POIFILE);
    ASSERT_NE(chooser, (HWND)NULL);
    HWND list = GetDlgItem(chooser, IDC_CHOOSER_LIST);
    EXPECT_EQ(ListItems(list), (Items{L"Aachen.asc", L"Mitte.asc", L"Zoo.asc"}));
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 0);

    // "^" on the first entry and "v" on the last change nothing.
    Click(chooser, IDC_CHOOSER_UP);
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 0);
    Click(chooser, IDC_CHOOSER_DOWN);
    Click(chooser, IDC_CHOOSER_DOWN);
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 2);
    Click(chooser, IDC_CHOOSER_DOWN);
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 2);
    Click(chooser, IDC_CHOOSER_UP);
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 1);
    // With nothing selected "v" picks the first entry, "^" nothing.
    SendMessageW(list, LB_SETCURSEL, (WPARAM)-1, 0);
    Click(chooser, IDC_CHOOSER_UP);
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), LB_ERR);
    Click(chooser, IDC_CHOOSER_DOWN);
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 0);

    // A close request, Enter on the list and unknown commands leave it open.
    SendMessageW(chooser, WM_CLOSE, 0, 0);
    SendMessageW(chooser, WM_COMMAND, MAKEWPARAM(IDC_CHOOSER_LIST, LBN_DBLCLK), (LPARAM)list);
    SendMessageW(chooser, WM_COMMAND, 4711, 0);
    EXPECT_TRUE(IsWindow(chooser) && IsWindowVisible(chooser));

    // Down to "Zoo.asc" with the keys and take it.
    Click(chooser, IDC_CHOOSER_DOWN);
    Click(chooser, IDC_CHOOSER_DOWN);
    AnswerChooser(chooser, main, L"");
    EXPECT_EQ(Waypoints(), (Items{L"1,2,\"z\"\n"}));
}

TEST_F(Editor, ChooserShowsTheFolderAsItIsNow)
{
    device::Write(kTours + L"WK_20080101_000000.asc", "");
    device::Write(kTours + L"WK_20071231_235959.asc", "");
    Start();
    HWND chooser = OpenChooser(IDC_MAIN_TOURFILE);
    ASSERT_NE(chooser, (HWND)NULL);
    EXPECT_EQ(ListItems(GetDlgItem(chooser, IDC_CHOOSER_LIST)),
              (Items{L"WK_20071231_235959.asc", L"WK_20080101_000000.asc"})) << "oldest first";
    AnswerChooser(chooser, main, L"", false);

    device::Write(kTours + L"WK_20070601_120000.asc", "");
    chooser = OpenChooser(IDC_MAIN_TOURFILE);
    ASSERT_NE(chooser, (HWND)NULL);
    HWND list = GetDlgItem(chooser, IDC_CHOOSER_LIST);
    EXPECT_EQ(ListItems(list).size(), 3u);
    wchar_t first[64] = L"";
    SendMessageW(list, LB_GETTEXT, SendMessageW(list, LB_GETCURSEL, 0, 0), (LPARAM)first);
    EXPECT_STREQ(first, L"WK_20070601_120000.asc") << "the first name is selected again";
    AnswerChooser(chooser, main, L"", false);
}

TEST_F(Editor, LoadingReplacesOnlyItsOwnList)
{
    device::Write(kPois + L"a.asc", "8.1,49.1,\"A1\"\r\n8.2,49.2,\"A2\"\r\n");
    device::Write(kPois + L"b.asc", "9.1,50.1,\"B1\"\n");
    device::Write(kTours + L"WK_20100101_000000.asc", "7.0,48.0,\"T1\"\n7.5,48.5,\"T2\"\n");
    Start();
    Load(IDC_MAIN_POIFILE, L"a.asc");
    EXPECT_EQ(Waypoints(), (Items{L"8.1,49.1,\"A1\"\n", L"8.2,49.2,\"A2\"\n"}));
    Load(IDC_MAIN_TOURFILE, L"WK_20100101_000000.asc");
    EXPECT_EQ(Tour(), (Items{L"7.0,48.0,\"T1\"\n", L"7.5,48.5,\"T2\"\n"}));
    EXPECT_EQ(Waypoints().size(), 2u) << "the tour file leaves the waypoints";
    Load(IDC_MAIN_POIFILE, L"b.asc");
    EXPECT_EQ(Waypoints(), (Items{L"9.1,50.1,\"B1\"\n"}));
    EXPECT_EQ(Tour().size(), 2u) << "a POI file leaves the tour";

    // Cancelling either chooser changes neither list.
    Load(IDC_MAIN_POIFILE, L"a.asc", false);
    Load(IDC_MAIN_TOURFILE, L"", false);
    EXPECT_EQ(Waypoints(), (Items{L"9.1,50.1,\"B1\"\n"}));
    EXPECT_EQ(Tour().size(), 2u);
}

TEST_F(Editor, FileShapesGiveTheirLines)
{
    device::Write(kPois + L"three.asc", "1,1,\"a\"\n2,2,\"b\"\n3,3,\"c\"\n");
    device::Write(kPois + L"open.asc", "1,1,\"a\"\n2,2,\"b\"\n3,3,\"c\"");
    device::Write(kPois + L"empty.asc", "");
    device::Write(kPois + L"long.asc", std::string(1500, 'x') + "\n");
    Start();
    Load(IDC_MAIN_POIFILE, L"three.asc");
    EXPECT_EQ(Waypoints(), (Items{L"1,1,\"a\"\n", L"2,2,\"b\"\n", L"3,3,\"c\"\n"}));
    Load(IDC_MAIN_POIFILE, L"open.asc");
    EXPECT_EQ(Waypoints(), (Items{L"1,1,\"a\"\n", L"2,2,\"b\"\n", L"3,3,\"c\""}));
    Load(IDC_MAIN_POIFILE, L"empty.asc");
    EXPECT_EQ(Waypoints(), Items{}) << "an empty file empties the list";
    Load(IDC_MAIN_POIFILE, L"long.asc");
    EXPECT_EQ(Waypoints(), (Items{std::wstring(1023, L'x'), std::wstring(477, L'x') + L"\n"}));
}

// Lists that refuse entries beyond a count, as lists out of memory do, for
// the programs started while it lives.
struct ListLimit {
    explicit ListLimit(const wchar_t* count) { SetEnvironmentVariableW(L"WENDRIK_LIST_LIMIT", count); }
    ~ListLimit() { SetEnvironmentVariableW(L"WENDRIK_LIST_LIMIT", NULL); }
};

TEST_F(Editor, AFileTheListCannotHoldLoadsNothing)
{
    const std::string five = "1,1,\"a\"\n2,2,\"b\"\n3,3,\"c\"\n4,4,\"d\"\n5,5,\"e\"\n";
    device::Write(kPois + L"two.asc", "1,1,\"a\"\n2,2,\"b\"\n");
    device::Write(kPois + L"five.asc", five);
    device::Write(kTours + L"WK_20100101_000000.asc", five);
    ListLimit limit(L"2");
    Start();
    Load(IDC_MAIN_POIFILE, L"two.asc");
    EXPECT_EQ(Waypoints().size(), 2u) << "a file the list holds loads whole";
    Load(IDC_MAIN_POIFILE, L"five.asc");
    EXPECT_EQ(Waypoints(), Items{}) << "part of a file never stands for the whole";
    Load(IDC_MAIN_TOURFILE, L"WK_20100101_000000.asc");
    EXPECT_EQ(Tour(), Items{}) << "nor is part of a tour saved as the tour";
}

TEST_F(Editor, UmlautsInEveryEncodingShowTheSameText)
{
    const std::wstring line = L"6.958,50.941,\"Kölner Dom, Ärger über Öl\"\n";
    device::Write(kPois + L"Köln-1252.asc", "6.958,50.941,\"K\xF6lner Dom, \xC4rger \xFC" "ber \xD6l\"\r\n");
    device::Write(kPois + L"Köln-utf8.asc", "6.958,50.941,\"K\xC3\xB6lner Dom, \xC3\x84rger \xC3\xBC" "ber \xC3\x96l\"\n");
    Start();
    Load(IDC_MAIN_POIFILE, L"Köln-1252.asc");
    EXPECT_EQ(Waypoints(), Items{line});
    Load(IDC_MAIN_POIFILE, L"Köln-utf8.asc");
    EXPECT_EQ(Waypoints(), Items{line});
}

TEST_F(Editor, BuildingATour)
{
    device::Write(kPois + L"p.asc", "1,1,\"a\"\n2,2,\"b\"\n3,3,\"c\"\n");
    Start();
    Load(IDC_MAIN_POIFILE, L"p.asc");

    // Nothing selected: the editing buttons do nothing.
    Press(IDC_MAIN_WPAPPEND);
    Press(IDC_MAIN_WPINSERT);
    EXPECT_EQ(Tour(), Items{});

    Select(main, IDC_MAIN_WAYPOINTS, 0);
    Press(IDC_MAIN_WPAPPEND);
    Press(IDC_MAIN_WPAPPEND);
    Press(IDC_MAIN_WPAPPEND);
    EXPECT_EQ(Tour(), (Items{L"1,1,\"a\"\n", L"1,1,\"a\"\n", L"1,1,\"a\"\n"})) << "three copies";
    EXPECT_EQ(SendMessageW(GetDlgItem(main, IDC_MAIN_WAYPOINTS), LB_GETCURSEL, 0, 0), 0)
        << "the waypoint stays selected";

    Press(IDC_MAIN_TPDELETE);
    EXPECT_EQ(Tour().size(), 3u) << "TP entf with no tour entry selected";

    Select(main, IDC_MAIN_WAYPOINTS, 1);
    Press(IDC_MAIN_WPINSERT);
    EXPECT_EQ(Tour().back(), L"2,2,\"b\"\n") << "WP einf without a tour selection appends";

    Select(main, IDC_MAIN_TOURLIST, 0);
    Select(main, IDC_MAIN_WAYPOINTS, 2);
    Press(IDC_MAIN_WPINSERT);
    EXPECT_EQ(Tour(), (Items{L"3,3,\"c\"\n", L"1,1,\"a\"\n", L"1,1,\"a\"\n", L"1,1,\"a\"\n", L"2,2,\"b\"\n"}))
        << "WP einf with the first entry selected puts it on top";

    Select(main, IDC_MAIN_TOURLIST, 4);
    Press(IDC_MAIN_TPDELETE);
    EXPECT_EQ(Tour().size(), 4u);
    EXPECT_EQ(Tour().back(), L"1,1,\"a\"\n");

    // Double taps and other notifications do nothing by themselves.
    SendMessageW(main, WM_COMMAND, MAKEWPARAM(IDC_MAIN_WAYPOINTS, LBN_DBLCLK), 0);
    SendMessageW(main, WM_COMMAND, MAKEWPARAM(IDC_MAIN_TOURLIST, LBN_DBLCLK), 0);
    EXPECT_EQ(Tour().size(), 4u);

    Press(IDC_MAIN_TOURNEW);
    EXPECT_EQ(Tour(), Items{});
    EXPECT_EQ(Waypoints().size(), 3u);
}

TEST_F(Editor, OkOnAnEmptyListOpensNothing)
{
    // A name from an earlier choice must not open a file the empty list
    // never showed (here one that appears while the chooser is open).
    device::Write(kPois + L"a.asc", "1,1,\"poi\"\n");
    Start();
    Load(IDC_MAIN_POIFILE, L"a.asc");
    ASSERT_EQ(Waypoints().size(), 1u);
    Select(main, IDC_MAIN_WAYPOINTS, 0);
    Press(IDC_MAIN_WPAPPEND);

    HWND chooser = OpenChooser(IDC_MAIN_TOURFILE);
    ASSERT_NE(chooser, (HWND)NULL);
    EXPECT_EQ(ListItems(GetDlgItem(chooser, IDC_CHOOSER_LIST)), Items{});
    device::Write(kTours + L"a.asc", "9,9,\"unrelated\"\n");
    AnswerChooser(chooser, main, L"");
    EXPECT_EQ(Tour(), Items{L"1,1,\"poi\"\n"});
}

TEST_F(Editor, ChooserLayoutFollowsTheScreen)
{
    Start();
    HWND chooser = OpenChooser(IDC_MAIN_POIFILE);
    ASSERT_NE(chooser, (HWND)NULL);
    RECT r = ScreenRect(chooser);
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    if (width == 240)
        EXPECT_GT(r.bottom - r.top, r.right - r.left) << "portrait template 1005";
    else
        EXPECT_GT(r.right - r.left, r.bottom - r.top) << "landscape template 1002";
    EXPECT_GE(r.left, 0);
    EXPECT_GE(r.top, 0);
    EXPECT_LE(r.right, width + GetSystemMetrics(SM_CXDLGFRAME));
    EXPECT_LE(r.bottom, height);
    const int controls[] = {IDC_CHOOSER_LIST, IDOK, IDCANCEL, IDC_CHOOSER_UP, IDC_CHOOSER_DOWN};
    for (int id : controls) {
        RECT c = ScreenRect(GetDlgItem(chooser, id));
        EXPECT_TRUE(c.left >= 0 && c.top >= 0 && c.right <= width && c.bottom <= height) << "control " << id;
    }
    Sleep(300);  // let it paint
    if (!ShotFolder().empty())
        TakeScreenshot().SaveBmp(ShotFolder() + L"\\chooser-" + std::to_wstring(width) + L".bmp");
    AnswerChooser(chooser, main, L"", false);
}

TEST_F(Editor, ConfigurationBesideADeepInstall)
{
    // Deeper than 80 characters: the configuration is still found.
    const std::wstring dir = L"\\Storage Card\\Programme\\Navigation\\Werkzeuge\\Wendrik Tourenplaner\\Version 4.1\\bin";
    ASSERT_GT(dir.size() + 12, 80u);
    device::Write(dir + L"\\Wendrik.exe", device::Read(std::wstring(device::kProgramDir) + L"\\Wendrik.exe"));
    device::Write(dir + L"\\Wendrik.cfg", "poi=\\Karten\\\r\n");
    device::Write(L"\\Karten\\Eigene.asc", "1,1,\"x\"\n");
    Start(L"", dir + L"\\Wendrik.exe");
    HWND chooser = OpenChooser(IDC_MAIN_POIFILE);
    ASSERT_NE(chooser, (HWND)NULL);
    EXPECT_EQ(ListItems(GetDlgItem(chooser, IDC_CHOOSER_LIST)), Items{L"Eigene.asc"});
    AnswerChooser(chooser, main, L"");
    EXPECT_EQ(Waypoints(), Items{L"1,1,\"x\"\n"});
}

TEST_F(Editor, OverlongConfiguredFoldersListNothing)
{
    std::string longDir = "\\" + std::string(1015, 'd') + "\\";
    device::Write(std::wstring(device::kProgramDir) + L"\\Wendrik.cfg",
                  "POI=" + longDir + "\r\nTour=" + longDir + "\r\n" + std::string(5000, 'z') + "\r\n");
    Start();
    HWND chooser = OpenChooser(IDC_MAIN_POIFILE);
    ASSERT_NE(chooser, (HWND)NULL);
    EXPECT_EQ(ListItems(GetDlgItem(chooser, IDC_CHOOSER_LIST)), Items{});
    AnswerChooser(chooser, main, L"");
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(Waypoints(), Items{});
}

}  // namespace
