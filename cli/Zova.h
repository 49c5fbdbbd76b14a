#pragma once

#include <iosfwd>

// The zova command line. Exit codes: 0 done, 1 the work failed, 2 usage error.
int RunZova(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
