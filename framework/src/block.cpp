#include "tarnix/block.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include <QString>
#include <QStringList>

#include "tarnix/kernel.h"

namespace tarnix {
namespace {

// Every tagged allocation carries this header in front of the pointer handed out; 16 bytes
// keep the payload 16-byte aligned.
struct AllocationHeader {
    uint64_t bytes;
    const char* allocatorId;
};
static_assert(sizeof(AllocationHeader) == 16, "the header keeps payloads 16-byte aligned");

struct AllocatorTally {
    uint64_t bytes = 0;
    uint64_t allocations = 0;
};

struct Ledgers {
    std::mutex mutex;
    uint64_t registered = 0;
    uint64_t budget = Block::kUnlimited;
    std::map<std::string, AllocatorTally> tallies;
    Block* liveBlocks = nullptr;
};

Ledgers& TheLedgers() {
    static Ledgers* ledgers = new Ledgers;  // never destroyed: stores may outlive static teardown
    return *ledgers;
}

const char* TallyName(const char* id) { return id ? id : "unknown"; }

// Each thread tags its own allocations: the host makes undo pages ready on a worker thread
// while the brush allocates under its own names.
thread_local const char* t_currentAllocator = nullptr;

}  // namespace

Block::Block(const char* name, uint32_t elementSize, bool plainData)
    : m_name(name), m_elementSize(elementSize), m_plainData(plainData) {
    Ledgers& ledgers = TheLedgers();
    std::lock_guard<std::mutex> lock(ledgers.mutex);
    m_nextLive = ledgers.liveBlocks;
    if (m_nextLive) m_nextLive->m_previousLive = this;
    ledgers.liveBlocks = this;
}

Block::~Block() {
    // Release() needs the element operations of the typed store, which has already run its
    // own destructor; what is left here is plain memory.
    if (m_data) {
        UnregisterMemoryBlock(uint64_t(m_capacity) * m_elementSize);
        Free(m_data);
    }
    Ledgers& ledgers = TheLedgers();
    std::lock_guard<std::mutex> lock(ledgers.mutex);
    if (m_previousLive) m_previousLive->m_nextLive = m_nextLive;
    else ledgers.liveBlocks = m_nextLive;
    if (m_nextLive) m_nextLive->m_previousLive = m_previousLive;
}

void Block::DestroyTail(uint32_t count) {
    m_destroy(static_cast<char*>(m_data) + size_t(count) * m_elementSize, m_count - count);
}

void Block::CopyElementsTo(void* destination, uint32_t count) const {
    if (count == 0) return;
    if (m_copy) m_copy(destination, m_data, count);
    else CopyMemoryBlock(destination, m_data, size_t(count) * m_elementSize);
}

void Block::Adopt(void* data, uint32_t capacity) {
    if (m_data) {
        if (m_destroy) m_destroy(m_data, m_count);
        UnregisterMemoryBlock(uint64_t(m_capacity) * m_elementSize);
        Free(m_data);
    }
    m_data = data;
    m_capacity = capacity;
    if (m_count > capacity) m_count = capacity;
}

void Block::SetElementOperations(CopyFunction copy, DestroyFunction destroy) {
    m_copy = copy;
    m_destroy = destroy;
}

bool Block::Reserve(uint32_t capacity) {
    if (capacity == m_capacity) return true;
    const uint64_t bytes = uint64_t(capacity) * m_elementSize;
    if (!RegisterMemoryBlock(bytes)) return false;
    const char* previousId = AllocatorID();
    SetAllocatorID(m_name);
    void* data = Allocate(bytes);
    SetAllocatorID(previousId);
    if (!data) {
        UnregisterMemoryBlock(bytes);
        return false;
    }
    CopyElementsTo(data, m_count < capacity ? m_count : capacity);
    Adopt(data, capacity);
    return true;
}

void Block::Release() {
    SetCount(0);
    if (m_data) {
        UnregisterMemoryBlock(uint64_t(m_capacity) * m_elementSize);
        Free(m_data);
    }
    m_data = nullptr;
    m_capacity = 0;
}

bool Block::RegisterMemoryBlock(uint64_t bytes) {
    Ledgers& ledgers = TheLedgers();
    std::lock_guard<std::mutex> lock(ledgers.mutex);
    if (bytes > ledgers.budget || ledgers.registered > ledgers.budget - bytes) return false;
    ledgers.registered += bytes;
    return true;
}

void Block::UnregisterMemoryBlock(uint64_t bytes) {
    Ledgers& ledgers = TheLedgers();
    std::lock_guard<std::mutex> lock(ledgers.mutex);
    ledgers.registered = bytes > ledgers.registered ? 0 : ledgers.registered - bytes;
}

uint64_t Block::RegisteredBytes() {
    Ledgers& ledgers = TheLedgers();
    std::lock_guard<std::mutex> lock(ledgers.mutex);
    return ledgers.registered;
}

void Block::SetBudget(uint64_t bytes) {
    Ledgers& ledgers = TheLedgers();
    std::lock_guard<std::mutex> lock(ledgers.mutex);
    ledgers.budget = bytes;
}

uint64_t Block::Budget() {
    Ledgers& ledgers = TheLedgers();
    std::lock_guard<std::mutex> lock(ledgers.mutex);
    return ledgers.budget;
}

void Block::SetAllocatorID(const char* id) { t_currentAllocator = id; }

const char* Block::AllocatorID() { return t_currentAllocator; }

void* Block::Allocate(std::size_t bytes) {
    if (bytes > ~std::size_t(0) - sizeof(AllocationHeader)) return nullptr;
    // glibc malloc returns 16-byte aligned memory on x86-64, so header and payload stay aligned.
    void* raw = std::malloc(bytes + sizeof(AllocationHeader));
    if (!raw) return nullptr;
    Ledgers& ledgers = TheLedgers();
    std::lock_guard<std::mutex> lock(ledgers.mutex);
    auto* header = static_cast<AllocationHeader*>(raw);
    header->bytes = bytes;
    header->allocatorId = t_currentAllocator;
    AllocatorTally& tally = ledgers.tallies[TallyName(header->allocatorId)];
    tally.bytes += bytes;
    tally.allocations += 1;
    return header + 1;
}

void Block::Free(void* pointer) {
    if (!pointer) return;
    auto* header = static_cast<AllocationHeader*>(pointer) - 1;
    {
        Ledgers& ledgers = TheLedgers();
        std::lock_guard<std::mutex> lock(ledgers.mutex);
        AllocatorTally& tally = ledgers.tallies[TallyName(header->allocatorId)];
        tally.bytes -= header->bytes;
        tally.allocations -= 1;
    }
    std::free(header);
}

uint64_t Block::AllocatedBytes(const char* allocatorId) {
    Ledgers& ledgers = TheLedgers();
    std::lock_guard<std::mutex> lock(ledgers.mutex);
    auto found = ledgers.tallies.find(TallyName(allocatorId));
    return found == ledgers.tallies.end() ? 0 : found->second.bytes;
}

void Block::CopyMemoryBlock(void* destination, const void* source, std::size_t bytes) {
    if (bytes) std::memmove(destination, source, bytes);
}

void* Block::AlignedAlloc(std::size_t bytes, std::size_t alignment) {
    if (alignment < sizeof(void*)) alignment = sizeof(void*);
    const std::size_t rounded = (bytes + alignment - 1) & ~(alignment - 1);
    if (rounded < bytes) return nullptr;
    return std::aligned_alloc(alignment, rounded ? rounded : alignment);
}

void Block::AlignedFree(void* pointer) { std::free(pointer); }

void Block::LogAll(float threshold, bool detailed) {
    Ledgers& ledgers = TheLedgers();
    QStringList lines;
    {
        std::lock_guard<std::mutex> lock(ledgers.mutex);
        uint64_t total = 0;
        for (const auto& entry : ledgers.tallies) total += entry.second.bytes;
        lines << QStringLiteral("Tracked memory: %1 bytes registered, budget %2, %3 bytes allocated")
                     .arg(ledgers.registered)
                     .arg(ledgers.budget == kUnlimited ? QStringLiteral("unlimited") : QString::number(ledgers.budget))
                     .arg(total);
        for (const auto& entry : ledgers.tallies) {
            if (entry.second.bytes == 0 || double(entry.second.bytes) < threshold * double(total)) continue;
            lines << QStringLiteral("  %1: %2 bytes in %3 allocations")
                         .arg(QString::fromStdString(entry.first))
                         .arg(entry.second.bytes)
                         .arg(entry.second.allocations);
        }
        if (detailed) {
            for (const Block* block = ledgers.liveBlocks; block; block = block->m_nextLive)
                lines << QStringLiteral("  block %1: %2 of %3 elements of %4 bytes")
                             .arg(QString::fromUtf8(block->m_name))
                             .arg(block->m_count)
                             .arg(block->m_capacity)
                             .arg(block->m_elementSize);
        }
    }
    for (const QString& line : lines) Kernel::Log(line);
}

}  // namespace tarnix
