// Holds the drawing of a visible window while several of its controls change, and repaints it
// once afterwards. Under X11 every control that repaints itself at once, and every list line
// that scrolls, costs a frame; a new mail changes five controls.
#pragma once
#include <windows.h>

class BatchedPaint {
public:
    explicit BatchedPaint(HWND window)
        : window_(window), active_(IsWindowVisible(window) != FALSE) {
        // Only a visible window: WM_SETREDRAW TRUE would mark a hidden one visible.
        if (active_)
            SendMessageA(window_, WM_SETREDRAW, FALSE, 0);
    }
    ~BatchedPaint() {
        if (!active_)
            return;
        SendMessageA(window_, WM_SETREDRAW, TRUE, 0);
        RedrawWindow(window_, nullptr, nullptr,
                     RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
    }
    BatchedPaint(const BatchedPaint&) = delete;
    BatchedPaint& operator=(const BatchedPaint&) = delete;

private:
    HWND window_;
    bool active_;
};
