#include "bytesource.h"

#include <cstring>

bool MemoryByteSource::ReadAt(uint64_t offset, void* destination, size_t count) {
    if (offset > bytes.size() || count > bytes.size() - offset) {
        return false;
    }
    if (count != 0) {
        std::memcpy(destination, bytes.data() + offset, count);
    }
    return true;
}
