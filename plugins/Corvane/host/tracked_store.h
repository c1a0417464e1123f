#pragma once
// Growth of the brush's tracked stores.
//
// Every growable array of the brush is a tarnix::Store whose memory goes through the host's
// tracked blocks: GrowTrackedStore announces the new size to the host's ledger, allocates it
// under the store's name, copies what fits and frees the old array. When the host refuses
// (its budget is exhausted) the ledgers are logged and the growth fails; callers then leave
// the store's count at 0 (sizing) or skip the element (appending), so that dependent loops
// run over nothing rather than over memory that is not there.

#include <algorithm>
#include <cstdint>
#include <new>

#include "tarnix/block.h"
#include "tarnix/error.h"
#include "tarnix/store.h"

namespace corvane {

/// @brief Resizes `store` to a capacity of `n` elements, keeping the first min(n, old
/// capacity) of them. False when the host's tracked memory refuses; a failure of any other
/// kind is thrown as tarnix::Error::s_cBadAlloc.
template <class T>
bool GrowTrackedStore(tarnix::Store<T>& store, uint32_t n) {
    if (n == store.Capacity()) return true;
    const uint64_t bytes = uint64_t(n) * sizeof(T);
    void* data = nullptr;
    try {
        if (!tarnix::Block::RegisterMemoryBlock(bytes)) throw &tarnix::Error::s_cBadAlloc;
        tarnix::Block::SetAllocatorID(store.Name());
        data = tarnix::Block::Allocate(bytes);
        tarnix::Block::SetAllocatorID(nullptr);
    } catch (tarnix::Error* error) {
        tarnix::Block::SetAllocatorID(nullptr);
        tarnix::Error::Dispose(error);
        tarnix::Block::LogAll(0.01f, false);
        return false;
    } catch (...) {
        throw &tarnix::Error::s_cBadAlloc;
    }
    if (!data) {
        tarnix::Block::UnregisterMemoryBlock(bytes);
        return false;
    }
    if (store.RawData()) {
        // Plain data is copied a block at a time, constructed elements one by one.
        const uint32_t kept = store.IsPlainData() ? store.Capacity() : store.Count();
        store.CopyElementsTo(data, std::min(n, kept));
    }
    store.Adopt(data, n);
    return true;
}

/// @brief Appends `value`: a full store grows to 2c + 1 (repeatedly) until its capacity
/// exceeds the count. False, with nothing added, when the store cannot grow.
template <class T>
bool AppendTracked(tarnix::Store<T>& store, const T& value) {
    const uint32_t count = store.Count();
    if (count == UINT32_MAX) return false;
    if (count >= store.Capacity()) {
        uint64_t capacity = store.Capacity();
        while (capacity <= count) capacity = 2 * capacity + 1;
        if (!GrowTrackedStore(store, uint32_t(std::min<uint64_t>(capacity, UINT32_MAX)))) return false;
    }
    new (store.Data() + count) T(value);
    store.SetCount(count + 1);
    return true;
}

/// @brief Appends `a` to `first` and `b` to `second`, or neither when either cannot grow, so
/// that lists read by the same index stay in step.
template <class A, class B>
bool AppendTrackedPair(tarnix::Store<A>& first, const A& a, tarnix::Store<B>& second, const B& b) {
    if (!AppendTracked(first, a)) return false;
    if (AppendTracked(second, b)) return true;
    first.SetCount(first.Count() - 1);
    return false;
}

}  // namespace corvane
