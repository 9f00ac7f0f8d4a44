#pragma once

#include <cstdio>
#include <cstdlib>

// Ends the run as a finding, saying which property of the input did not hold.
inline void require(bool condition, const char* what)
{
    if (condition)
        return;
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}
