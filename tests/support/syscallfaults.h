// Linux: makes one system call of the file layer fail, do nothing and answer success (as a FUSE
// driver may), or end the process, at its n-th use from now. The calls are interposed in the
// test binary, so the file layer under test is the one the program runs.
#pragma once

#include <cerrno>

namespace syscallfaults {

enum class Call { Chmod, Setxattr, Utimensat };
enum class Act { Fail, Pretend, Kill };

/// From the \p nth use of \p call on (1: the next), \p times uses in a row act as \p act
/// (Fail: -1 with \p error). Up to four rules at once; counting starts at each arm().
void arm(Call call, int nth, Act act, int times = 1, int error = EIO);
/// Every call works again.
void disarm();

} // namespace syscallfaults
