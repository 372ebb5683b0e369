// The fixture of the tests that run the real program on a device folder.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "driver.h"

// A fresh device for each test; Start() runs the program on it once the
// test has laid out its files, and a program still running at the end is
// closed and must end with exit code 0.
class ProgramTest : public testing::Test {
protected:
    void SetUp() override { device::Reset(); }
    void TearDown() override
    {
        if (main != NULL && program.Running()) {
            PostMessageW(main, WM_CLOSE, 0, 0);
            EXPECT_EQ(program.WaitExit(), 0u);
        }
    }
    void Start(const std::wstring& args = L"", const std::wstring& exePath = L"")
    {
        ASSERT_TRUE(program.Start(args, exePath));
        main = program.WaitWindow();
        ASSERT_NE(main, (HWND)NULL);
    }

    Program program;
    HWND main = NULL;
};
