#pragma once

#include "engine/SettingsKeys.h"

#include <QImage>
#include <QString>

#include <array>

namespace plyfold {

// Edge of the square page thumbnails are fitted into, in pixels: ten times the "PageSize" setting,
// which is kept within kMinPageSize..kMaxPageSize. Read by the displays, changed by the zoom
// slider; user-interface thread only.
inline constexpr int kMinPageSize = 8;
inline constexpr int kMaxPageSize = 16;
inline int thumbnailSize = Options::PageSizeDefault * 10;

// Drawn where a page image is not ready yet; loaded from the string table at start-up.
inline QString loadingText;

// The 16 x 16 box-button pictures, loaded at start-up: 0 remove (PNG 322), 1 expand (PNG 323,
// pages hidden), 2 collapse (PNG 324, pages shown). A missing picture stays a null image.
inline std::array<QImage, 3> buttonImages;

} // namespace plyfold
