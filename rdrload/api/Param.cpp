#include "rdrload.h"

#include <cstring>

Param &Param::operator=(const Param &source)
{
    // memmove: source and target may be the same record.
    std::memmove(bytes, source.bytes, sizeof bytes);
    return *this;
}

static_assert(sizeof(Param) == 20, "Param is a 20-byte record");
