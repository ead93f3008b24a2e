// The store's failure trace: what it met and could not use (a file in new/ that is not a
// message, a path leading outside the store), one line each through OutputDebugStringA, where
// a debugger or DebugView shows it. The latest lines are kept for the tests.
#pragma once
#include <string>

namespace maildir {

void traceFailure(const std::string& line);

} // namespace maildir
