// Device contexts: what BeginPaint hands out, a handle-table object naming the window painted.
// Drawing areas add their surface here.
#pragma once

#include "handles.h"

namespace w95 {

class DeviceContext : public KernelObject {
  public:
    explicit DeviceContext(HWND window) : window_(window) {}
    HWND window() const { return window_; }

  private:
    HWND window_;
};

}  // namespace w95
