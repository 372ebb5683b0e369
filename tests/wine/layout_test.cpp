// Every window of the real program whole on the device's screen, drawn in
// the dialog font that the prefix pins, whatever other fonts the machine has.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver.h"
#include "program_test.h"
#include "res/resource.h"

namespace {

// The family that "Tahoma" must resolve to, as the wrapper script pinned it.
std::wstring PinnedFamily()
{
    const char* name = std::getenv("WENDRIK_DIALOG_FONT");
    std::wstring family;
    for (const char* p = name != nullptr ? name : ""; *p != '\0'; p++)
        family += (wchar_t)(unsigned char)*p;
    return family;
}

// The family and full name of the face that Wine draws for "Tahoma" at the
// given size in points.
std::wstring ResolvedFace(int points, std::wstring* fullName)
{
    HDC dc = GetDC(NULL);
    LOGFONTW lf = {};
    lf.lfHeight = -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    wcscpy(lf.lfFaceName, L"Tahoma");
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ old = SelectObject(dc, font);
    std::wstring family;
    UINT size = GetOutlineTextMetricsW(dc, 0, NULL);
    if (size > 0) {
        std::vector<char> buf(size);
        OUTLINETEXTMETRICW* otm = (OUTLINETEXTMETRICW*)buf.data();
        if (GetOutlineTextMetricsW(dc, size, otm) != 0) {
            family = (const wchar_t*)(buf.data() + (size_t)otm->otmpFamilyName);
            *fullName = (const wchar_t*)(buf.data() + (size_t)otm->otmpFullName);
        }
    }
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(NULL, dc);
    return family;
}

TEST(DialogFont, TahomaResolvesToThePinnedFace)
{
    const std::wstring pinned = PinnedFamily();
    ASSERT_FALSE(pinned.empty()) << "WENDRIK_DIALOG_FONT is not set";
    for (int points : {8, 10}) {
        std::wstring full;
        EXPECT_EQ(ResolvedFace(points, &full), pinned) << points << " points, drawn with " << std::string(full.begin(), full.end());
    }
}

class Layout : public ProgramTest {
protected:
    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);

    // Whole on the screen, the frame's own pixels on the right aside (the
    // dialog units round up by one pixel at 320); the size goes to the log.
    void ExpectWhole(const char* name, HWND w)
    {
        ASSERT_NE(w, (HWND)NULL) << name;
        RECT r = ScreenRect(w);
        std::printf("window %s at %d: %ld x %ld\n", name, width, r.right - r.left, r.bottom - r.top);
        EXPECT_GE(r.left, 0) << name;
        EXPECT_GE(r.top, 0) << name;
        EXPECT_LE(r.right, width + GetSystemMetrics(SM_CXDLGFRAME)) << name;
        EXPECT_LE(r.bottom, height) << name;
    }
};

TEST_F(Layout, EveryWindowShowsWholeOnTheScreen)
{
    Start();
    ExpectWhole("main", main);
    HWND chooser = OpenModal(program.ProcessId(), main, IDC_MAIN_POIFILE);
    ExpectWhole("chooser", chooser);
    if (chooser != NULL)
        AnswerChooser(chooser, main, L"", false);
    if (width == 240)
        return;   // no search layout for the small screen
    HWND search = OpenModal(program.ProcessId(), main, IDC_MAIN_SEARCH);
    ExpectWhole("search", search);
    if (search != NULL) {
        Click(search, IDC_SEARCH_CLOSE);
        Settle(main);
    }
}

}  // namespace
