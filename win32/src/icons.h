// Icons and cursors: handle-table objects loaded from the program's resources or the system's
// own set. The same name loads the same shared object, as LoadIconA and LoadCursorA share them.
#pragma once

#include "handles.h"

#include <string>

namespace w95 {

class IconObject : public KernelObject {
  public:
    IconObject(std::string name, int width, int height, int colors, int bits_per_pixel, bool cursor)
        : name_(std::move(name)),
          width_(width),
          height_(height),
          colors_(colors),
          bits_per_pixel_(bits_per_pixel),
          cursor_(cursor) {}

    // "arrow", "wait", ... for the system's; the resource name ("MAINICON", "#3") otherwise.
    const std::string& name() const { return name_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int colors() const { return colors_; }
    int bits_per_pixel() const { return bits_per_pixel_; }
    bool cursor() const { return cursor_; }

  private:
    std::string name_;
    int width_;
    int height_;
    int colors_;
    int bits_per_pixel_;
    bool cursor_;
};

// The shared handle of a system cursor (IDC_ARROW ...) or icon (IDI_APPLICATION ...); nullptr
// for an unknown id.
HCURSOR SystemCursor(WORD id);
HICON SystemIcon(WORD id);

}  // namespace w95
