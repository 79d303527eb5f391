// Owners for our own C++ callers: MapiPtr holds one reference to a MAPI or COM object, MapiBuffer
// owns memory from MAPIAllocateBuffer (and everything chained to it).
#pragma once

#include <utility>

#include "mapix.h"

template <typename Interface>
class MapiPtr {
public:
    MapiPtr() = default;
    // Takes over a reference the caller already holds (as every MAPI out-parameter hands one over).
    explicit MapiPtr(Interface* object) : object_(object) {}
    MapiPtr(const MapiPtr& other) : object_(other.object_)
    {
        if (object_ != nullptr)
            object_->AddRef();
    }
    MapiPtr(MapiPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    MapiPtr& operator=(MapiPtr other) noexcept
    {
        std::swap(object_, other.object_);
        return *this;
    }
    ~MapiPtr() { reset(); }

    void reset(Interface* object = nullptr)
    {
        Interface* old = std::exchange(object_, object);
        if (old != nullptr)
            old->Release();
    }
    // Releases the old object and gives the slot to a function that fills an Interface**.
    Interface** put()
    {
        reset();
        return &object_;
    }
    // The same for functions that take a void** (QueryInterface) or LPUNKNOWN* (OpenEntry).
    void** put_void() { return reinterpret_cast<void**>(put()); }
    LPUNKNOWN* put_unknown() { return reinterpret_cast<LPUNKNOWN*>(put()); }
    Interface* release() { return std::exchange(object_, nullptr); }

    Interface* get() const { return object_; }
    Interface* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    Interface* object_ = nullptr;
};

template <typename T>
class MapiBuffer {
public:
    MapiBuffer() = default;
    explicit MapiBuffer(T* buffer) : buffer_(buffer) {}
    MapiBuffer(const MapiBuffer&) = delete;
    MapiBuffer& operator=(const MapiBuffer&) = delete;
    MapiBuffer(MapiBuffer&& other) noexcept : buffer_(std::exchange(other.buffer_, nullptr)) {}
    MapiBuffer& operator=(MapiBuffer&& other) noexcept
    {
        reset(std::exchange(other.buffer_, nullptr));
        return *this;
    }
    ~MapiBuffer() { reset(); }

    void reset(T* buffer = nullptr)
    {
        T* old = std::exchange(buffer_, buffer);
        if (old != nullptr)
            MAPIFreeBuffer(old);
    }
    T** put()
    {
        reset();
        return &buffer_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    T* release() { return std::exchange(buffer_, nullptr); }

    T* get() const { return buffer_; }
    T* operator->() const { return buffer_; }
    T& operator[](std::size_t index) const { return buffer_[index]; }
    explicit operator bool() const { return buffer_ != nullptr; }

private:
    T* buffer_ = nullptr;
};

// Rows from QueryRows and HrQueryAllRows, freed with FreeProws.
class MapiRows {
public:
    MapiRows() = default;
    MapiRows(const MapiRows&) = delete;
    MapiRows& operator=(const MapiRows&) = delete;
    ~MapiRows() { reset(); }

    void reset(LPSRowSet rows = nullptr);
    LPSRowSet* put()
    {
        reset();
        return &rows_;
    }
    LPSRowSet get() const { return rows_; }
    LPSRowSet operator->() const { return rows_; }
    ULONG size() const { return rows_ == nullptr ? 0 : rows_->cRows; }

private:
    LPSRowSet rows_ = nullptr;
};

STDAPI_(void) FreeProws(LPSRowSet lpRows);

inline void MapiRows::reset(LPSRowSet rows)
{
    LPSRowSet old = std::exchange(rows_, rows);
    if (old != nullptr)
        FreeProws(old);
}
