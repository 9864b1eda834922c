#pragma once

// Heap settings for drawing many PDF pages in a row (the batch, the print shop's file).

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace lumo {

// Qt's PDF writer takes two buffers of 16 MB and a compressor of some hundreds of kilobytes
// for every page it writes, and frees them again. glibc would map and unmap those buffers,
// or grow and trim the heap, for every page, and the page faults and page-table work cost
// more than drawing the page. While a batch runs, blocks below 32 MB come from the heap and
// up to 64 MB of freed memory stays at its top for the next page (only the few pages of the
// buffers that are written count in the process's memory); afterwards glibc's usual limits
// are set again and the free memory is handed back.
class HeapKeptForReuse {
public:
#ifdef __GLIBC__
    HeapKeptForReuse() {
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
    }
    ~HeapKeptForReuse() {
        mallopt(M_MMAP_THRESHOLD, 128 * 1024);
        mallopt(M_TRIM_THRESHOLD, 128 * 1024);
        malloc_trim(0);
    }
#else
    HeapKeptForReuse() = default;
#endif
    HeapKeptForReuse(const HeapKeptForReuse&) = delete;
    HeapKeptForReuse& operator=(const HeapKeptForReuse&) = delete;
};

} // namespace lumo
