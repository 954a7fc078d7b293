// TDynArray: a fixed-capacity array that owns its elements.
#pragma once

#include <new>

template <typename T>
class TDynArray {
public:
    TDynArray() = default;
    ~TDynArray() { delete[] FItems; }
    TDynArray(const TDynArray &) = delete;
    TDynArray &operator=(const TDynArray &) = delete;

    // Destroys the elements held, then holds n default-constructed ones.
    // False when the memory cannot be had; the array is then empty.
    bool Allocate(int n)
    {
        delete[] FItems;
        FItems = nullptr;
        FCapacity = 0;
        if (n < 0)
            return false;
        FItems = new (std::nothrow) T[n];
        if (!FItems)
            return false;
        FCapacity = n;
        return true;
    }
    int Capacity() const { return FCapacity; }
    T &operator[](int i) { return FItems[i]; }
    const T &operator[](int i) const { return FItems[i]; }

private:
    T *FItems = nullptr;
    int FCapacity = 0;
};
