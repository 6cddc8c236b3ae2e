#include "LogRecord.h"

#include <atomic>
#include <mutex>
#include <new>
#include <vector>

#include "OsThread.h"

namespace HYLog {

namespace {

// Recycled blocks of one size (the record with its control block). Records are made on the
// logging threads and mostly freed on a reactor's thread, so each thread keeps a small cache of
// blocks and trades with the shared list in batches: one lock per batch instead of two locks,
// contended by both threads, per record.
class BlockPool {
public:
    static constexpr size_t kMaxKept = 8192;
    static constexpr size_t kCacheSize = 64;
    static constexpr size_t kTrade = kCacheSize / 2;

    // A thread's cache. Trivially destructible so that it can be used at any time, also while
    // the thread ends; a thread-exit hook hands its blocks back.
    struct Cache {
        void* blocks[kCacheSize];
        size_t count;
        bool registered;
    };

    void* Take(size_t size, Cache& cache) {
        if (size != BlockSize(size)) return ::operator new(size);
        Register(cache);
        if (cache.count == 0) {
            std::lock_guard<std::mutex> hold(m_lock);
            while (cache.count < kTrade && !m_free.empty()) {
                cache.blocks[cache.count++] = m_free.back();
                m_free.pop_back();
            }
        }
        if (cache.count > 0) {
            void* block = cache.blocks[--cache.count];
            if (cache.count > 0) PrefetchForWrite(cache.blocks[cache.count - 1], size);
            return block;
        }
        return ::operator new(size);
    }

    void Give(void* block, size_t size, Cache& cache) {
        if (size != BlockSize(size)) {
            ::operator delete(block);
            return;
        }
        Register(cache);
        if (cache.count == kCacheSize) Return(cache, kTrade);
        cache.blocks[cache.count++] = block;
    }

    // Moves `n` blocks of `cache` to the shared list (freeing those beyond its bound).
    void Return(Cache& cache, size_t n) {
        void* excess[kCacheSize];
        size_t excessCount = 0;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            while (n > 0 && cache.count > 0) {
                void* block = cache.blocks[--cache.count];
                if (m_free.size() < kMaxKept) {
                    m_free.push_back(block);
                } else {
                    excess[excessCount++] = block;
                }
                --n;
            }
        }
        for (size_t i = 0; i < excessCount; ++i) ::operator delete(excess[i]);
    }

private:
    // Asks for the cache lines the next record will write, for writing: its start (control
    // block, fixed fields and short texts) and its end. A block was usually last read by a
    // reactor on another core; claiming its lines now lets that wait pass while the current
    // record is filled, instead of stalling the next one.
    static void PrefetchForWrite(void* block, size_t size) {
        auto* bytes = static_cast<char*>(block);
        constexpr size_t kLine = 64;
        constexpr size_t kHead = 384;
        for (size_t offset = 0; offset < kHead && offset < size; offset += kLine)
            PrefetchLineForWrite(bytes + offset);
        if (size > kHead) PrefetchLineForWrite(bytes + size - kLine);
    }
    static void PrefetchLineForWrite(char* line) {
#if defined(__x86_64__) || defined(__i386__)
        // The prefetch for ownership; the compiler's builtin asks only for reading unless the
        // whole program is built for processors that have it (older ones take it as a no-op).
        asm volatile("prefetchw %0" : : "m"(*line));
#else
        __builtin_prefetch(line, 1);
#endif
    }

    // The one block size pooled: the first one asked for.
    size_t BlockSize(size_t size) {
        size_t expected = 0;
        m_size.compare_exchange_strong(expected, size, std::memory_order_relaxed);
        return expected == 0 ? size : expected;
    }
    // Makes sure the thread hands its cache back when it ends.
    void Register(Cache& cache) {
        if (!cache.registered) RegisterSlow(cache);
    }
    void RegisterSlow(Cache& cache);

    std::atomic<size_t> m_size{0};
    std::mutex m_lock;
    std::vector<void*> m_free;
};

BlockPool& Pool() {
    // Never destroyed: records may be released by threads that outlive static destruction.
    static BlockPool* pool = new BlockPool();
    return *pool;
}

constinit thread_local BlockPool::Cache t_cache{};

void ReturnCache(void* raw) {
    auto* cache = static_cast<BlockPool::Cache*>(raw);
    Pool().Return(*cache, BlockPool::kCacheSize);
    cache->registered = false;
}

void BlockPool::RegisterSlow(Cache& cache) {
    // Never freed: the key outlives every thread that uses the pool.
    static HY_OS::TlsKey key = HY_OS::TlsAlloc(ReturnCache);
    if (key != HY_OS::kInvalidTlsKey) HY_OS::TlsSet(key, &cache);
    cache.registered = true;
}

template <class T>
struct PoolAllocator {
    using value_type = T;
    PoolAllocator() = default;
    template <class U>
    PoolAllocator(const PoolAllocator<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(Pool().Take(n * sizeof(T), t_cache)); }
    void deallocate(T* p, size_t n) { Pool().Give(p, n * sizeof(T), t_cache); }
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
