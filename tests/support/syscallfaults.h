// Linux: one call of the file layer fails (EIO), pretends success (as a FUSE driver may) or
// kills the process at its n-th use; interposed, so the layer under test is the program's own.
#pragma once

namespace syscallfaults {

enum class Call { Chmod, Setxattr, Utimensat };
enum class Act { Fail, Pretend, Kill };

/// The \p nth use of \p call (1: the next) acts as \p act; up to four rules, counted afresh after
/// disarm().
void arm(Call call, int nth, Act act);
/// Every call works again.
void disarm();

} // namespace syscallfaults
