#pragma once
// Drive letters of the machine. Only Windows has them; on POSIX there is no
// current drive. (The drive list enumerates drives through the shell itself.)

namespace platform {

// The drive of the current folder (upper case), or 0 when it has none.
char CurrentDrive();

} // namespace platform
