// The drawing objects of the window, each released exactly once on every
// path out of the scope that made it: the one handle template with a kind
// per object.
#pragma once

// The template names the seam's constants, which <windows.h> turns into
// macros: it is read first.
#include "platform/Handle.h"

#include <windows.h>

namespace ui {

template <typename T>
struct GdiObjectTraits {
    using pointer = T;
    static pointer Invalid() { return nullptr; }
    static bool IsValid(pointer h) { return h != nullptr; }
    static bool Close(pointer h) { return DeleteObject(h) != FALSE; }
};

struct MemoryDcTraits {
    using pointer = HDC;
    static pointer Invalid() { return nullptr; }
    static bool IsValid(pointer h) { return h != nullptr; }
    static bool Close(pointer h) { return DeleteDC(h) != FALSE; }
};

// A window's device context goes back to that window.
struct WindowDc {
    HWND window = nullptr;
    HDC dc = nullptr;
};
struct WindowDcTraits {
    using pointer = WindowDc;
    static pointer Invalid() { return {}; }
    static bool IsValid(const pointer& h) { return h.dc != nullptr; }
    static bool Close(const pointer& h) { return ReleaseDC(h.window, h.dc) != 0; }
};

// An object selected into a device context: the one it replaced goes back.
struct Selection {
    HDC dc = nullptr;
    HGDIOBJ previous = nullptr;
};
struct SelectionTraits {
    using pointer = Selection;
    static pointer Invalid() { return {}; }
    static bool IsValid(const pointer& h) { return h.previous != nullptr && h.previous != HGDI_ERROR; }
    static bool Close(const pointer& h) { return SelectObject(h.dc, h.previous) != nullptr; }
};

using FontHandle = platform::UniqueHandle<GdiObjectTraits<HFONT>>;
using BrushHandle = platform::UniqueHandle<GdiObjectTraits<HBRUSH>>;
using BitmapHandle = platform::UniqueHandle<GdiObjectTraits<HBITMAP>>;
using MemoryDcHandle = platform::UniqueHandle<MemoryDcTraits>;
using WindowDcHandle = platform::UniqueHandle<WindowDcTraits>;
using SelectedObject = platform::UniqueHandle<SelectionTraits>;

inline WindowDcHandle GetWindowDc(HWND window) { return WindowDcHandle({window, GetDC(window)}); }
inline SelectedObject Select(HDC dc, HGDIOBJ object) { return SelectedObject({dc, SelectObject(dc, object)}); }

}  // namespace ui
