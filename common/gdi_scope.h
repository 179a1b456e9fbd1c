// Scope guards for device contexts and GDI objects, so every path releases them.
#pragma once
#include <windows.h>

// A memory DC compatible with another one, deleted with the guard.
class MemoryDc {
public:
    explicit MemoryDc(HDC compatible) : dc_(CreateCompatibleDC(compatible)) {}
    ~MemoryDc() { DeleteDC(dc_); }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;

    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

// Selects an object into a DC and puts the previous one back with the guard.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() { SelectObject(dc_, previous_); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A brush, font or bitmap deleted with the guard; declare it before the
// SelectedObject that puts it into a DC, so that it is selected out first.
template <typename T> class GdiObject {
public:
    explicit GdiObject(T object) : object_(object) {}
    ~GdiObject()
    {
        if (object_ != nullptr) DeleteObject(object_);
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    T Get() const { return object_; }

private:
    T object_;
};
