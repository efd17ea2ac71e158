// The time-stamp writer of the apply run takes its moment from Module1::TouchTime.
#include "apply/filetimestuff.h"

#include "apply/module1.h"
#include "platform/scratch.h"

#include <gtest/gtest.h>

namespace {

TEST(FileTimeStuff, WritesTouchTimeFieldByFieldAndReportsFailures) {
    SKIP_UNLESS_PINNED(scratch::pinBerlin());
    scratch::Folder dir;
    const auto f = dir.file("t.txt");
    const Module1::TouchTimeRecord saved = Module1::TouchTime;
    Module1::TouchTime = {14, 5, 9, 6, 12, 1999}; // hour, minute, second, day, month, year
    EXPECT_FALSE(FileTimeStuff::SetLastWriteTime(f));
    EXPECT_EQ(scratch::lastWriteOf(f), 944485509);
    Module1::TouchTime = {12, 0, 0, 29, 2, 2100};
    EXPECT_EQ(FileTimeStuff::SetLastWriteTime(f), std::errc::invalid_argument);
    Module1::TouchTime = {12, 0, 0, 28, 2, 2100};
    EXPECT_EQ(FileTimeStuff::SetLastWriteTime(dir.path() / "weg.txt"),
              std::errc::no_such_file_or_directory);
    Module1::TouchTime = saved;
}

} // namespace
