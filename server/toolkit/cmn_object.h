// Reference-counted objects of the toolkit and the RAII handle that holds them.
//
// Every shared toolkit object (tags, nodes, caches, requests, groups, items, the entry, a
// PLC) derives from SOCmnObject. A new object starts with one reference, owned by whoever made
// it; getters hand out SOCmnPointer handles that carry their own reference, so "whoever gets an
// object releases it" happens when the handle goes out of scope. Business code never calls
// addRef/release in pairs: it holds handles.
#pragma once

#include <atomic>
#include <cstdint>
#include <new>
#include <utility>

#include "server/toolkit/cmn_exception.h"

class SOCmnObject {
public:
    SOCmnObject() = default;
    SOCmnObject(const SOCmnObject&) = delete;
    SOCmnObject& operator=(const SOCmnObject&) = delete;

    // Both return the count after the change; release destroys the object at zero.
    long addRef() const noexcept { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    long release() const noexcept
    {
        long left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0)
            delete this;
        return left;
    }
    long refCount() const noexcept { return refs_.load(std::memory_order_acquire); }

protected:
    virtual ~SOCmnObject() = default;

private:
    mutable std::atomic<long> refs_{1};
};

// Intrusive counted handle. Construction from a bare pointer ADOPTS the reference that pointer
// carries (a fresh object or a getter's result); SOCmnPointer<T>::share adds one of its own.
template <class T>
class SOCmnPointer {
public:
    SOCmnPointer() noexcept = default;
    SOCmnPointer(std::nullptr_t) noexcept {}
    explicit SOCmnPointer(T* adopted) noexcept : p_(adopted) {}
    static SOCmnPointer share(T* p) noexcept
    {
        if (p)
            p->addRef();
        return SOCmnPointer(p);
    }

    SOCmnPointer(const SOCmnPointer& o) noexcept : p_(o.p_)
    {
        if (p_)
            p_->addRef();
    }
    template <class U>
    SOCmnPointer(const SOCmnPointer<U>& o) noexcept : p_(o.get())
    {
        if (p_)
            p_->addRef();
    }
    SOCmnPointer(SOCmnPointer&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    template <class U>
    SOCmnPointer(SOCmnPointer<U>&& o) noexcept : p_(o.detach()) {}
    ~SOCmnPointer() { reset(); }

    SOCmnPointer& operator=(SOCmnPointer o) noexcept
    {
        std::swap(p_, o.p_);
        return *this;
    }

    void reset() noexcept
    {
        if (T* p = std::exchange(p_, nullptr))
            p->release();
    }
    // Gives up the handle's reference without releasing it.
    [[nodiscard]] T* detach() noexcept { return std::exchange(p_, nullptr); }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T& operator*() const noexcept { return *p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

template <class T, class U>
bool operator==(const SOCmnPointer<T>& a, const SOCmnPointer<U>& b)
{
    return a.get() == b.get();
}
template <class T, class U>
bool operator==(const SOCmnPointer<T>& a, const U* b)
{
    return a.get() == b;
}

// Makes a new object and adopts its first reference. Allocation failure becomes the
// toolkit's SOCmnException(1, "Out of memory").
template <class T, class... Args>
SOCmnPointer<T> makeObject(Args&&... args)
{
    try {
        return SOCmnPointer<T>(new T(std::forward<Args>(args)...));
    } catch (const std::bad_alloc&) {
        throwOutOfMemory();
    }
}

// Casts a handle, sharing the reference (empty when the object is not a U).
template <class U, class T>
SOCmnPointer<U> dynamicPointerCast(const SOCmnPointer<T>& p)
{
    return SOCmnPointer<U>::share(dynamic_cast<U*>(p.get()));
}
