#include "LogRecord.h"

#include <mutex>
#include <new>
#include <vector>

namespace HYLog {

namespace {

// Recycled blocks of one size (the record with its control block), kept up to a bound.
class BlockPool {
public:
    static constexpr size_t kMaxKept = 8192;

    void* Take(size_t size) {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            if (size == m_size && !m_free.empty()) {
                void* block = m_free.back();
                m_free.pop_back();
                return block;
            }
        }
        return ::operator new(size);
    }

    void Give(void* block, size_t size) {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            if (m_size == 0) m_size = size;
            if (size == m_size && m_free.size() < kMaxKept) {
                m_free.push_back(block);
                return;
            }
        }
        ::operator delete(block);
    }

private:
    std::mutex m_lock;
    size_t m_size = 0;
    std::vector<void*> m_free;
};

BlockPool& Pool() {
    // Never destroyed: records may be released by threads that outlive static destruction.
    static BlockPool* pool = new BlockPool();
    return *pool;
}

template <class T>
struct PoolAllocator {
    using value_type = T;
    PoolAllocator() = default;
    template <class U>
    PoolAllocator(const PoolAllocator<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(Pool().Take(n * sizeof(T))); }
    void deallocate(T* p, size_t n) { Pool().Give(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const PoolAllocator<U>&) const { return true; }
};

}  // namespace

LogRecordRef MakeLogRecord() { return std::allocate_shared<LogRecord>(PoolAllocator<LogRecord>()); }

uint32_t FormatHash(const char* format) {
    if (format == nullptr || *format == '\0') return 0;
    uint32_t hash = 5381;
    for (const char* p = format; *p != '\0'; ++p) {
        hash = hash * 33u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
    }
    return hash & 0x7FFFFFFFu;
}

}  // namespace HYLog
