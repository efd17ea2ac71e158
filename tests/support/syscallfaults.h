// Linux: makes one system call of the file layer fail (EIO), do nothing and answer success (as a
// FUSE driver may), or end the process, at its n-th use from now. The calls are interposed in
// the test binary, so the file layer under test is the one the program runs.
#pragma once

namespace syscallfaults {

enum class Call { Chmod, Setxattr, Utimensat };
enum class Act { Fail, Pretend, Kill };

/// The \p nth use of \p call from now (1: the next) acts as \p act. Up to four rules at once;
/// counting starts again at the first arm() after disarm().
void arm(Call call, int nth, Act act);
/// Every call works again.
void disarm();

} // namespace syscallfaults
