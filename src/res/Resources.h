#pragma once

// Pictures, icons and the drop cursor, compiled into the program as Qt resources and aliased by
// their numbers:
//   ":/png/<id>"            PNG pictures (311 is also ":/bmp/311", the command bar's shading)
//   ":/icon/<id>"           the largest size of an icon, ":/icon/<id>/<edge>" each size
//   ":/cursor/<id>"         cursor pictures (hot spot: ResCursorHotSpot)
//   ":/svg/<kind>/<id>"     the drawing each picture was rendered from, for other pixel densities
// Every loader returns a null object for an id that does not exist; nothing throws or aborts.

#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QPoint>
#include <QString>
#include <vector>

namespace plyfold {

namespace ids {
inline constexpr int IDB_COMMAND_BAR = 311; // 1 x 72 vertical shading behind the command bar
inline constexpr int IDP_LOGO = 313;        // 198 x 56 logo at the left of the command bar
inline constexpr int IDP_ADD_FILE = 315;    // 32 x 32 button pictures
inline constexpr int IDP_ADD_FOLDER = 316;
inline constexpr int IDP_CLEAR_ALL = 317;
inline constexpr int IDP_SAVE_MERGED = 318;
inline constexpr int IDP_ZOOM_SMALL = 319;    // 16 x 16 small page, left of the size slider
inline constexpr int IDP_ZOOM_LARGE = 320;    // 24 x 24 large page, right of the size slider
inline constexpr int IDP_HELP = 321;          // 16 x 16 help button
inline constexpr int IDP_REMOVE = 322;        // 16 x 16 red cross
inline constexpr int IDP_EXPAND = 323;        // 16 x 16 blue triangle pointing right (show pages)
inline constexpr int IDP_COLLAPSE = 324;      // 16 x 16 blue triangle pointing down (hide pages)
inline constexpr int IDP_SPLASH = 328;        // 455 x 281 splash and about picture
inline constexpr int IDI_MAINFRAME = 128;     // application and window icon
inline constexpr int IDC_DROP_CURSOR = 332;   // pointer shown over a permitted drop place
inline constexpr int IDI_SAVE_COMPLETE = 337; // icon of the "Save Merge Complete" dialog
} // namespace ids

enum class ResKind { Bitmap, Png, Icon, Cursor };

// Registers the compiled-in pictures with Qt's resource system. The loaders below call it
// themselves; call it directly before reading the ":/..." paths by other means. Safe to call
// more than once and from any thread.
void InitResources();

// ":/png/322" and the like; the path need not exist.
QString ResourcePath(ResKind kind, int id);

bool HasResource(ResKind kind, int id);

// The picture at its own size, or a null image.
QImage LoadResImage(ResKind kind, int id);

// A device pixel ratio as a whole number of hundredths, the key under which pictures and page
// thumbnails made for that ratio are kept: 100 for 1x, 200 for 2x. A ratio that is not a finite
// positive number counts as 1x; the key stays within 25..800 (a quarter to eight times), so an
// absurd scale cannot ask for a picture of absurd size.
int DeviceRatioKey(qreal ratio);

// The picture for a screen of device pixel ratio `ratio`: at 1x the picture itself; otherwise its
// drawing rendered at the picture's size times the ratio, with that device pixel ratio set, so
// that it paints at the picture's logical size, sharp. A picture without a drawing is scaled
// smoothly instead. Made once per ratio and kept; any thread.
QImage LoadResImage(ResKind kind, int id, qreal ratio);

// The picture as an icon for buttons: the 1x picture and its 2x and 3x renderings, from which Qt
// takes the one that fits the screen the button is on. `base` replaces the 1x picture when not
// null (it must have the picture's size). A null icon when there is no picture.
QIcon LoadResScalableIcon(ResKind kind, int id, const QImage& base = QImage());

// Every size of icon `id` in one QIcon, or a null icon.
QIcon LoadResIcon(int id);

// Edges (in pixels) at which icon `id` exists, ascending; empty for an unknown id.
std::vector<int> ResIconSizes(int id);

// The hot spot of cursor `id` within its picture.
QPoint ResCursorHotSpot(int id);

// Cursor `id` with its hot spot; the arrow cursor when the id does not exist. Needs a
// QGuiApplication (the cursor holds a pixmap).
QCursor LoadResCursor(int id);

} // namespace plyfold
