#include "LogRecord.h"

#include <atomic>
#include <cstddef>
#include <cstring>
#include <type_traits>
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

    // The one block size pooled: the first one asked for. Read before it is set, so that the
    // threads that make and free records do not write this line on every record.
    size_t BlockSize(size_t size) {
        size_t known = m_size.load(std::memory_order_relaxed);
        if (known != 0) return known;
        m_size.compare_exchange_strong(known, size, std::memory_order_relaxed);
        return known == 0 ? size : known;
    }
    // Makes sure the thread hands its cache back when it ends.
    void Register(Cache& cache) {
        if (!cache.registered) RegisterSlow(cache);
    }
    void RegisterSlow(Cache& cache);

    std::atomic<size_t> m_size{0};
    alignas(64) std::mutex m_lock;
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

void CopyText(char* to, size_t size, const char* from) {
    if (from == nullptr) from = "";
    size_t n = strnlen(from, size - 1);
    std::memcpy(to, from, n);
    to[n] = '\0';
}

void CopyRecordFields(LogRecordFields& to, const LogRecordFields& from) {
    // The fields before the first text are plain values, copied as one block.
    static_assert(std::is_standard_layout_v<LogRecordFields>);
    std::memcpy(static_cast<void*>(&to), &from, offsetof(LogRecordFields, function));
    CopyText(to.function, sizeof to.function, from.function);
    CopyText(to.file, sizeof to.file, from.file);
    if (from.textLength > 0) {
        std::memcpy(to.text, from.text, from.textLength);
    } else {
        CopyText(to.text, sizeof to.text, from.text);
    }
}

uint32_t FormatHash(const char* format) {
    if (format == nullptr || *format == '\0') return 0;
    const auto* bytes = reinterpret_cast<const signed char*>(format);
    size_t length = std::strlen(format);
    // Eight steps of hash * 33 + byte at once: hash * 33^8 plus each byte times the power of 33
    // it would have been multiplied by. The same value in 32-bit arithmetic, but the eight
    // products do not wait for one another, where single steps each wait for the one before.
    constexpr uint32_t kPower[9] = {1u,       33u,         1089u,       35937u,     1185921u,
                                    39135393u, 1291467969u, 3963737313u, 1954312449u};
    auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<int32_t>(bytes[i])); };
    uint32_t hash = 5381;
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint32_t block = 0;
        for (size_t k = 0; k < 8; ++k) block += byte(i + k) * kPower[7 - k];
        hash = hash * kPower[8] + block;
    }
    for (; i < length; ++i) hash = hash * 33u + byte(i);
    return hash & 0x7FFFFFFFu;
}

}  // namespace HYLog
