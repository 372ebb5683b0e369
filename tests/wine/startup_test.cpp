// Start-up of the real program under Wine: layouts by screen width, exit
// codes, one copy only, and every window whole on the device's screen.
#include <gtest/gtest.h>

#include "driver.h"
#include "res/resource.h"

namespace {

class Startup : public testing::Test {
protected:
    void SetUp() override { device::Reset(); }
    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);
};

bool Inside(const RECT& inner, const RECT& outer)
{
    return inner.left >= outer.left && inner.top >= outer.top &&
           inner.right <= outer.right && inner.bottom <= outer.bottom;
}

TEST_F(Startup, ShowsTheLayoutForTheScreen)
{
    Program p;
    ASSERT_TRUE(p.Start());
    if (width != 320 && width != 480 && width != 240) {
        // Unsupported screens: no window at all, exit code 0.
        EXPECT_EQ(p.WaitExit(), 0u);
        EXPECT_EQ(FindProgramWindow(p.ProcessId()), (HWND)NULL);
        return;
    }
    HWND w = p.WaitWindow();
    ASSERT_NE(w, (HWND)NULL) << "no main window on a screen " << width << " wide";
    EXPECT_EQ(Text(w).rfind(L"Wendrik V4.1 ", 0), 0u) << "caption";
    RECT wp = ScreenRect(GetDlgItem(w, IDC_MAIN_WAYPOINTS));
    RECT tour = ScreenRect(GetDlgItem(w, IDC_MAIN_TOURLIST));
    EXPECT_EQ(ControlText(w, IDCANCEL), L"esc");
    EXPECT_EQ(ControlText(w, IDC_MAIN_SEARCH), L"*5*");
    EXPECT_EQ(ControlText(w, IDC_MAIN_WPLABEL), L"Wegpunkte");
    EXPECT_EQ(ControlText(w, IDC_MAIN_TOURLABEL), L"Tourliste");
    switch (width) {
    case 320:
        EXPECT_EQ(ControlText(w, IDOK), L"OK");
        EXPECT_EQ(ControlText(w, IDC_MAIN_TPDELETE), L"TP entf");
        EXPECT_EQ(ControlText(w, IDC_MAIN_TOURFILE), L"Tour File");
        EXPECT_LT(wp.right, tour.left) << "lists side by side";
        EXPECT_EQ(wp.top, tour.top);
        break;
    case 480:
        EXPECT_EQ(ControlText(w, IDOK), L"Tour OK");
        EXPECT_EQ(ControlText(w, IDC_MAIN_TPDELETE), L"TP löschen");
        EXPECT_EQ(ControlText(w, IDC_MAIN_WPINSERT), L"WP einfügen");
        EXPECT_EQ(ControlText(w, IDC_MAIN_WPAPPEND), L"WP anhängen");
        EXPECT_LT(wp.right, tour.left);
        break;
    case 240:
        EXPECT_EQ(ControlText(w, IDOK), L"OK");
        EXPECT_EQ(ControlText(w, IDC_MAIN_TOURFILE), L"TourFile");
        EXPECT_LE(wp.bottom, tour.top) << "lists stacked";
        EXPECT_EQ(wp.left, tour.left);
        break;
    }
    PostMessageW(w, WM_CLOSE, 0, 0);
    EXPECT_EQ(p.WaitExit(), 0u);
}

TEST_F(Startup, MainWindowShowsWholeOnTheScreen)
{
    Program p;
    ASSERT_TRUE(p.Start());
    HWND w = p.WaitWindow();
    ASSERT_NE(w, (HWND)NULL);
    Sleep(300);  // let it paint
    const RECT screen = {0, 0, width, height};
    RECT client;
    GetClientRect(w, &client);
    MapWindowPoints(w, NULL, (POINT*)&client, 2);
    EXPECT_TRUE(Inside(client, screen)) << "client area " << client.right << "x" << client.bottom;
    // The outer frame may reach past the screen by no more than its own
    // width (one pixel at 320, where the dialog units round up).
    RECT outer = ScreenRect(w);
    int frame = GetSystemMetrics(SM_CXDLGFRAME);
    EXPECT_LE(outer.right, width + frame);
    EXPECT_LE(outer.bottom, height);

    Screenshot shot = TakeScreenshot();
    ASSERT_EQ(shot.width, width);
    if (!ShotFolder().empty())
        shot.SaveBmp(ShotFolder() + L"\\main-" + std::to_wstring(width) + L".bmp");
    const int controls[] = {IDOK, IDCANCEL, IDC_MAIN_TOURNEW, IDC_MAIN_TPDELETE, IDC_MAIN_WPINSERT,
                            IDC_MAIN_WPAPPEND, IDC_MAIN_POIFILE, IDC_MAIN_TOURFILE, IDC_MAIN_SEARCH,
                            IDC_MAIN_WAYPOINTS, IDC_MAIN_TOURLIST, IDC_MAIN_WPLABEL, IDC_MAIN_TOURLABEL};
    for (int id : controls) {
        SCOPED_TRACE(testing::Message() << "control " << id);
        RECT r = ScreenRect(GetDlgItem(w, id));
        EXPECT_TRUE(Inside(r, screen)) << r.left << "," << r.top << " to " << r.right << "," << r.bottom;
        // On the screenshot the control shows its caption or frame, not a
        // blank of one colour.
        EXPECT_GE(shot.Colours(r), 2u);
    }
    PostMessageW(w, WM_CLOSE, 0, 0);
    EXPECT_EQ(p.WaitExit(), 0u);
}

TEST_F(Startup, CloseGivesZeroEscGivesOne)
{
    {
        Program p;
        ASSERT_TRUE(p.Start());
        HWND w = p.WaitWindow();
        ASSERT_NE(w, (HWND)NULL);
        PostMessageW(w, WM_CLOSE, 0, 0);
        EXPECT_EQ(p.WaitExit(), 0u);
    }
    {
        Program p;
        ASSERT_TRUE(p.Start());
        HWND w = p.WaitWindow();
        ASSERT_NE(w, (HWND)NULL);
        SendMessageW(GetDlgItem(w, IDCANCEL), BM_CLICK, 0, 0);
        EXPECT_EQ(p.WaitExit(), 1u);
    }
    {
        // Commands that are no command of the window change nothing.
        Program p;
        ASSERT_TRUE(p.Start());
        HWND w = p.WaitWindow();
        ASSERT_NE(w, (HWND)NULL);
        SendMessageW(w, WM_COMMAND, MAKEWPARAM(IDC_MAIN_WAYPOINTS, LBN_DBLCLK), 0);
        SendMessageW(w, WM_COMMAND, 4711, 0);
        EXPECT_TRUE(p.Running());
        SendMessageW(w, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        EXPECT_EQ(p.WaitExit(), 1u);
    }
}

TEST_F(Startup, SecondStartBringsTheFirstToTheFront)
{
    Program first;
    ASSERT_TRUE(first.Start());
    HWND w = first.WaitWindow();
    ASSERT_NE(w, (HWND)NULL);

    // Something else in front, as when the navigation application runs.
    HWND other = CreateWindowExW(0, L"STATIC", L"andere Anwendung", WS_POPUP | WS_VISIBLE,
                                 0, 0, 100, 50, NULL, NULL, NULL, NULL);
    ASSERT_NE(other, (HWND)NULL);
    SetForegroundWindow(other);
    MSG msg;
    for (int i = 0; i < 20 && GetForegroundWindow() != other; i++) {
        while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(10);
    }
    ASSERT_EQ(GetForegroundWindow(), other);

    Program second;
    ASSERT_TRUE(second.Start(L"koord465=1"));
    EXPECT_EQ(second.WaitExit(), 0u) << "the second copy ends at once";
    EXPECT_TRUE(first.Running());
    HWND front = NULL;
    for (int i = 0; i < 100 && front != w; i++) {
        while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        front = GetForegroundWindow();
        Sleep(20);
    }
    EXPECT_EQ(front, w) << "the running copy comes to the front";
    DestroyWindow(other);
    PostMessageW(w, WM_CLOSE, 0, 0);
    EXPECT_EQ(first.WaitExit(), 0u);
}

}  // namespace
