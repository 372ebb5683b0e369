// Files from many sources on a card pulled out at the worst moment: the
// real program under Wine never crashes, hangs or changes a file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver.h"
#include "program_test.h"
#include "res/resource.h"

namespace {

const std::wstring kPois = L"\\Storage Card\\Routen\\POIs\\";

std::string Junk(size_t n, unsigned seed)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++) {
        seed = seed * 1103515245u + 12345u;
        s[i] = (char)(seed >> 16);
    }
    return s;
}

class Hostile : public ProgramTest {
protected:
    // Loads name as the waypoints, then searches it from the search
    // dialog; the program must still answer afterwards.
    void LoadAndSearch(const std::wstring& name)
    {
        HWND chooser = OpenModal(program.ProcessId(), main, IDC_MAIN_POIFILE);
        ASSERT_NE(chooser, (HWND)NULL);
        AnswerChooser(chooser, main, name);
        ASSERT_TRUE(program.Running()) << "loading crashed";
        if (GetSystemMetrics(SM_CXSCREEN) == 240)
            return;
        HWND search = OpenModal(program.ProcessId(), main, IDC_MAIN_SEARCH);
        ASSERT_NE(search, (HWND)NULL);
        SendMessageW(GetDlgItem(search, IDC_SEARCH_LAT), WM_SETTEXT, 0, (LPARAM)L"50");
        SendMessageW(GetDlgItem(search, IDC_SEARCH_LON), WM_SETTEXT, 0, (LPARAM)L"8");
        chooser = OpenModal(program.ProcessId(), search, IDC_SEARCH_FIND);
        ASSERT_NE(chooser, (HWND)NULL);
        AnswerChooser(chooser, search, name);
        ASSERT_TRUE(program.Running()) << "searching crashed";
        results = ListItems(GetDlgItem(search, IDC_SEARCH_RESULTS));
        Click(search, IDC_SEARCH_CLOSE);
        Settle(main);
    }
    std::vector<std::wstring> results;
};

TEST_F(Hostile, FilesThatAreNoPoiFiles)
{
    struct Case { const wchar_t* name; std::string bytes; };
    const Case cases[] = {
        {L"junk.asc", Junk(65536, 1)},
        {L"nullbytes.asc", std::string(20000, '\0') + "8.5\0,50.1,\"x\"\r\n" + std::string(3, '\0')},
        {L"utf16-odd.asc", std::string("\xFF\xFE" "8\0.\0" "5\0,\0" "5\0" "0\0,\0\"\0x\0\"\0\n\0\x41", 27)},
        {L"utf8-bad.asc", "8.5,50.1,\"M\xC3\xBC\xC3" "ller\"\r\n8.6,50.2,\"\xFF\xFE\xFD\"\r\n\xED\xA0\x80\r\n"},
        {L"Burg \U0001F3F0.asc", "8.5,50.1,\"Tankstelle \xF0\x9F\x9A\x97\xE2\x9B\xBD\"\r\n8.5001,50.1,\"\xF0\x9F\x8F\xB0\"\n"},
    };
    for (const Case& c : cases)
        device::Write(kPois + c.name, c.bytes);
    Start();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.name, c.name + wcslen(c.name)));
        LoadAndSearch(c.name);
        EXPECT_EQ(device::Read(kPois + c.name), c.bytes) << "the file is never changed";
        for (const std::wstring& r : results) {
            EXPECT_LE(r.size(), 1023u);
            EXPECT_EQ(r.substr(r.size() - 2), L"\"\n");
        }
    }
    // A surrogate pair in the file's name opens it (the last case); the
    // emoji survive whole into the results, where there is a search.
    EXPECT_EQ(ListItems(GetDlgItem(main, IDC_MAIN_WAYPOINTS)).size(), 2u);
    if (GetSystemMetrics(SM_CXSCREEN) == 240)
        return;
    LoadAndSearch(L"Burg \U0001F3F0.asc");
    ASSERT_FALSE(results.empty());
    EXPECT_NE(results[0].find(L"\U0001F697"), std::wstring::npos);
}

TEST_F(Hostile, OneLineOfFiftyMegabytes)
{
    device::Write(kPois + L"lang.asc", "8.5,50.1,\"" + std::string(50 << 20, 'a') + "\"\r\n");
    Start();
    DWORD t0 = GetTickCount();
    LoadAndSearch(L"lang.asc");
    EXPECT_LT(GetTickCount() - t0, 60000u) << "no hang";
    LRESULT count = SendMessageW(GetDlgItem(main, IDC_MAIN_WAYPOINTS), LB_GETCOUNT, 0, 0);
    EXPECT_EQ(count, (50 << 20) / 1023 + 1) << "pieces of 1023 characters";
}

TEST_F(Hostile, FileGoneBetweenListingAndOpening)
{
    device::Write(kPois + L"weg.asc", "8.5,50.1,\"x\"\n");
    device::Write(kPois + L"da.asc", "8.5,50.1,\"da\"\n");
    Start();
    HWND chooser = OpenModal(program.ProcessId(), main, IDC_MAIN_POIFILE);
    ASSERT_NE(chooser, (HWND)NULL);
    AnswerChooser(chooser, main, L"da.asc");
    ASSERT_EQ(ListItems(GetDlgItem(main, IDC_MAIN_WAYPOINTS)).size(), 1u);
    chooser = OpenModal(program.ProcessId(), main, IDC_MAIN_POIFILE);
    ASSERT_NE(chooser, (HWND)NULL);
    std::filesystem::remove(L"D:" + kPois + L"weg.asc");
    AnswerChooser(chooser, main, L"weg.asc");
    ASSERT_TRUE(program.Running());
    EXPECT_EQ(ListItems(GetDlgItem(main, IDC_MAIN_WAYPOINTS)), std::vector<std::wstring>{L"8.5,50.1,\"da\"\n"})
        << "the waypoints stay as they were";
}

// A file whose read permission the platform takes away through an empty
// access list, set and given back through one handle kept open: a file
// without permissions could not be opened to give them back.
class Unreadable {
public:
    explicit Unreadable(const std::wstring& path)
        : handle_(CreateFileW(path.c_str(), READ_CONTROL | WRITE_DAC,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                              0, NULL))
    {
        ACL empty;
        InitializeAcl(&empty, sizeof empty, ACL_REVISION);
        set_ = handle_ != INVALID_HANDLE_VALUE && SetDacl(&empty);
    }
    ~Unreadable()
    {
        if (set_) {
            EXPECT_TRUE(SetDacl(NULL)) << "no access list: all access again";
        }
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    bool Set() const { return set_; }

private:
    bool SetDacl(ACL* acl)
    {
        SECURITY_DESCRIPTOR sd;
        InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
        return SetKernelObjectSecurity(handle_, DACL_SECURITY_INFORMATION, &sd);
    }
    HANDLE handle_;
    bool set_ = false;
};

TEST_F(Hostile, FileWithoutReadPermission)
{
    const std::wstring path = L"D:" + kPois + L"gesperrt.asc";
    device::Write(kPois + L"gesperrt.asc", "8.5,50.1,\"x\"\n");
    Unreadable locked(path);
    ASSERT_TRUE(locked.Set());
    HANDLE probe = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        GTEST_SKIP() << "this platform reads files without permission (root with every capability)";
    }
    Start();
    LoadAndSearch(L"gesperrt.asc");
    EXPECT_TRUE(ListItems(GetDlgItem(main, IDC_MAIN_WAYPOINTS)).empty()) << "not loaded";
    EXPECT_TRUE(results.empty());
}

TEST_F(Hostile, TourFolderThatIsAFile)
{
    device::Write(L"\\Storage Card\\Routen\\Touren", "a file, not a folder");
    device::Write(std::wstring(device::kProgramDir) + L"\\Wendrik.cfg", "Tour=\\Storage Card\\Routen\\Touren\\\r\n");
    Start();
    Click(main, IDOK);
    Settle(main);
    ASSERT_TRUE(program.Running()) << "nothing reported as saved";
    auto tour = ListItems(GetDlgItem(main, IDC_MAIN_TOURLIST));
    ASSERT_EQ(tour.size(), 1u);
    EXPECT_EQ(tour[0].rfind(L"\\Storage Card\\Routen\\Touren\\WK_", 0), 0u);
    EXPECT_EQ(device::Read(L"\\Storage Card\\Routen\\Touren"), "a file, not a folder");
}

}  // namespace
