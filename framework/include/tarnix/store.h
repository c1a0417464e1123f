#pragma once
// tarnix::Store<T>: the framework's growable array on tracked memory. Elements live in one
// block allocated with Block::Allocate under the store's name; a store of plain data
// (trivially copyable T) is copied with Block::CopyMemoryBlock, any other element by element.
// The count never passes the capacity; elements past the count are not constructed for
// plain data and are constructed exactly up to the count otherwise.

#include <new>
#include <type_traits>

#include "tarnix/block.h"

namespace tarnix {

template <class T>
class Store : public Block {
public:
    explicit Store(const char* name = "unknown") : Block(name, sizeof(T), std::is_trivially_copyable<T>::value) {
        if constexpr (!std::is_trivially_copyable<T>::value) SetElementOperations(&CopyConstruct, &Destroy);
    }
    ~Store() override { Release(); }

    T* Data() { return static_cast<T*>(RawData()); }
    const T* Data() const { return static_cast<const T*>(RawData()); }
    T& operator[](uint32_t i) { return Data()[i]; }
    const T& operator[](uint32_t i) const { return Data()[i]; }
    T* begin() { return Data(); }
    T* end() { return Data() + Count(); }
    const T* begin() const { return Data(); }
    const T* end() const { return Data() + Count(); }

    /// @brief Framework append: grows the capacity to 2c+1 when full. False when the
    /// tracked ledgers refuse the growth; the element is then not added.
    bool Append(const T& value) {
        if (Count() == Capacity() && !Reserve(Capacity() * 2 + 1)) return false;
        new (Data() + Count()) T(value);
        SetCount(Count() + 1);
        return true;
    }

    /// @brief Sizes the store to exactly `count` elements, all set to `value`.
    bool Assign(uint32_t count, const T& value) {
        if (count > Capacity() && !Reserve(count)) return false;
        SetCount(0);
        for (uint32_t i = 0; i < count; ++i) new (Data() + i) T(value);
        SetCount(count);
        return true;
    }

private:
    static void CopyConstruct(void* destination, const void* source, uint32_t count) {
        for (uint32_t i = 0; i < count; ++i) new (static_cast<T*>(destination) + i) T(static_cast<const T*>(source)[i]);
    }
    static void Destroy(void* data, uint32_t count) {
        for (uint32_t i = 0; i < count; ++i) static_cast<T*>(data)[i].~T();
    }
};

}  // namespace tarnix
