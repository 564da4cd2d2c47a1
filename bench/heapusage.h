#pragma once

#include <cstdio>

#include <cstddef>
#include <malloc.h>
#include <unistd.h>

// Bytes in use on the heap, all arenas and mmapped blocks included. Qt's containers allocate with
// malloc directly, so counting operator new alone would miss most of a record.
inline std::size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Resident set size in bytes, from /proc/self/statm.
inline std::size_t residentBytes()
{
    std::FILE* file = std::fopen("/proc/self/statm", "r");
    if (!file)
        return 0;
    unsigned long pages = 0;
    unsigned long resident = 0;
    const int read = std::fscanf(file, "%lu %lu", &pages, &resident);
    std::fclose(file);
    return read == 2 ? resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) : 0;
}
