#include "text/wtext.h"

#include <gtest/gtest.h>

#include <string>

TEST(WText, CopyIsBoundedAndTerminated)
{
    wchar_t small[4] = {L'?', L'?', L'?', L'?'};
    EXPECT_FALSE(CopyText(small, CountOf(small), L"abcdef"));
    EXPECT_STREQ(small, L"abc");
    EXPECT_TRUE(CopyText(small, CountOf(small), L"xy"));
    EXPECT_STREQ(small, L"xy");
    EXPECT_FALSE(CopyText(small, 0, L"x")) << "a zero-sized buffer takes nothing";
}

TEST(WText, AppendIsAllOrNothing)
{
    wchar_t path[8] = L"\\dir\\";
    EXPECT_TRUE(AppendText(path, CountOf(path), L"ab"));
    EXPECT_STREQ(path, L"\\dir\\ab");
    EXPECT_FALSE(AppendText(path, CountOf(path), L"c")) << "the terminator needs the last slot";
    EXPECT_STREQ(path, L"\\dir\\ab");

    wchar_t full[3] = {L'a', L'b', L'c'};   // not terminated at all
    EXPECT_FALSE(AppendText(full, CountOf(full), L""));
    EXPECT_EQ(TextLength(full, CountOf(full)), 3u);
}
