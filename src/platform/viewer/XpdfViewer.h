#pragma once

// The viewer engine's calls: open a PDF, answer page count, rotations and page boxes, and render a
// page into a buffer of RGB rows. This is the only interface through which the program reads PDF
// content for display; the implementation (over MuPDF) is private to this folder.
//
// Threads: every call may be made from any thread. Each viewer serialises the calls that touch its
// document (load, render, destroy) with its own lock. The page queries (pdfGetNumPages,
// pdfGetPageRotation, pdfGetPageBox*) never wait for a render that is running on another thread:
// the page count is fixed at load, and a page's rotation and boxes are read once, at load or, in a
// large document, when they are first asked for (from a copy of the document kept for that).
//
// Text: file paths are wide text as null-terminated UTF-16 (char16_t), the layout of
// QString::utf16(); passwords and the configuration path are 8-bit text in the locale's encoding.
// Plain C++ only: no Qt here.

#include <cstdint>

namespace plyfold {

// A viewer handle: a key into the layer's registry of viewers. 0 is never a valid handle.
using PdfViewerHandle = std::int32_t;

// Results of the calls that return a status. Callers rely only on 0 (success) and, for the load
// calls, 4 (a password is needed); the other values tell the reason of a failure.
enum PdfResult : std::int32_t {
    kPdfOk = 0,
    kPdfErrOpenFile = 1,    // the file cannot be read (missing, unreadable, bad path text)
    kPdfErrDamaged = 2,     // not a PDF, damaged beyond repair, empty, or without pages
    kPdfErrBadHandle = 3,   // unknown viewer handle, or no document loaded
    kPdfErrEncrypted = 4,   // a password is needed, or the password given is wrong
    kPdfErrBadPage = 5,     // page number outside 1..pdfGetNumPages
    kPdfErrBadArgument = 6, // null pointer, resolution out of range, unknown bitmap mode
    kPdfErrRender = 7,      // the page could not be rendered (damaged content, out of memory)
};

// The bitmap modes pdfConvertPageToBitmap2 accepts, both on a white background: 24-bit RGB
// pixels, or 32-bit pixels whose bytes are B, G, R and 255 (a little-endian 0xffRRGGBB word, as a
// QImage of format RGB32 holds them, so that the image needs no conversion to be painted).
constexpr std::int32_t kPdfBitmapModeRgb24 = 3;
constexpr std::int32_t kPdfBitmapModeRgb32 = 4;

// A rendered page as pdfConvertPageToBitmap2 hands it out: `height` rows from the top of the page
// down, each holding `width` pixels of the mode's bytes (three in R, G, B order, or four in B, G,
// R, 255 order) and starting `stride` bytes after the one before (a multiple of 4, so the rows can
// be used in place as an image's scan lines). `pixels` holds stride * height bytes, allocated by
// the layer and freed with pdfFreeMemory.
struct PdfBitmap {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t stride = 0;
    unsigned char* pixels = nullptr;
};

// Initialises the engine and reads its configuration file (8-bit path, may be null or name a
// missing file: the engine then uses its built-in fonts only). Lines: "displayFontTT <PDF font
// name> <TrueType file>", "displayNamedCIDFontTT <font name> <TrueType file>", "textKeepTinyChars
// yes|no"; CR, LF or CRLF line ends; other lines are ignored. A font that a document does not embed
// is drawn with the mapped file when that file exists. Calling it again replaces the configuration
// for the documents loaded afterwards. Returns 0. Other calls work without it (built-in fonts
// only).
std::int32_t pdfInitLibrary(const char* configPath);

// Creates a viewer and stores its handle in *handle. The window is not used (the engine needs no
// host window). Returns 0, or kPdfErrBadArgument when handle is null.
std::int32_t pdfCreateViewer(PdfViewerHandle* handle, void* window);

// Destroys a viewer and its document. A render running on the viewer in another thread finishes
// first on its own copy; the handle is invalid as soon as this returns. Returns 0 or
// kPdfErrBadHandle.
std::int32_t pdfDestroyViewer(PdfViewerHandle handle);

// Switches the engine's own password dialog on (non-zero) or off. The engine never shows one; the
// value is only recorded. Returns 0 or kPdfErrBadHandle.
std::int32_t pdfShowPasswordDialog(PdfViewerHandle handle, std::int32_t show);

// Loads the PDF at path (null-terminated UTF-16) into the viewer, replacing any loaded document.
// Returns 0 when it opened, kPdfErrEncrypted (4) when it needs a password (a file whose user
// password is empty opens without one), any other value when it cannot be opened (missing file,
// not a PDF, damaged beyond repair, empty, no pages). On failure the viewer holds no document.
std::int32_t pdfLoadFileW(PdfViewerHandle handle, const char16_t* path);

// As pdfLoadFileW with a password (8-bit text: the locale's encoding, UTF-8 or Latin-1 both
// accepted); the user password and the owner password both open the file. A wrong password gives
// kPdfErrEncrypted (4); an unencrypted file opens whatever the password.
std::int32_t pdfLoadFileWithPasswordW(PdfViewerHandle handle, const char16_t* path,
                                      const char* password);

// Hyperlink handling, continuous page layout and redrawing belong to an on-screen viewer; this
// engine has none, so these record the value and return 0 (or kPdfErrBadHandle).
std::int32_t pdfEnableHyperlinks(PdfViewerHandle handle, std::int32_t enable);
std::int32_t pdfSetContinuousMode(PdfViewerHandle handle, std::int32_t continuous);
std::int32_t pdfEnableRedraw(PdfViewerHandle handle, std::int32_t enable);

// Page count of the loaded document (pages are 1..count); 0 when none is loaded or the handle is
// unknown. Never waits for a running render.
std::int32_t pdfGetNumPages(PdfViewerHandle handle);

// Rotation of a page (1-based) in degrees, 0, 90, 180 or 270: the page's /Rotate, inherited from
// its parents when the page has none, normalised as the page is drawn (-270 -> 90, 540 -> 180,
// 990 -> 270; a value between quarter turns is rounded to the nearest one). 0 for an unknown
// handle or page. Never waits for a running render.
std::int32_t pdfGetPageRotation(PdfViewerHandle handle, std::int32_t page);

// Coordinates of a page's box in PDF units (1/72 inch), unrotated, as the file states it
// (inherited when the page has none): box "media" (the MediaBox) or "crop" (the CropBox, the
// MediaBox when absent; also accepted: "bleed", "trim", "art", which fall back to the CropBox).
// Unknown names give the MediaBox. Min <= max always; a zero-size box is returned as it is (callers
// must handle a zero width or height); a page without a usable MediaBox gives 0 0 612 792.
// 0.0 for an unknown handle or page. Never waits for a running render.
double pdfGetPageBoxXMin(PdfViewerHandle handle, std::int32_t page, const char* box);
double pdfGetPageBoxXMax(PdfViewerHandle handle, std::int32_t page, const char* box);
double pdfGetPageBoxYMin(PdfViewerHandle handle, std::int32_t page, const char* box);
double pdfGetPageBoxYMax(PdfViewerHandle handle, std::int32_t page, const char* box);

// Renders a page (1-based) at dpi dots per inch (0 < dpi <= 3000) with its /Rotate applied, so the
// bitmap is upright as the page is displayed; the area drawn is the page's CropBox. mode must be
// kPdfBitmapModeRgb24 (3) or kPdfBitmapModeRgb32 (4). On success *bitmap describes the pixels (see
// PdfBitmap) and the caller owns bitmap->pixels. Returns 0 on success; on failure *bitmap is left
// empty (its pixels null). A page without a usable MediaBox is drawn as a 612 x 792 page.
std::int32_t pdfConvertPageToBitmap2(PdfViewerHandle handle, std::int32_t page, double dpi,
                                     std::int32_t mode, PdfBitmap* bitmap);

// Frees a pixel buffer returned by pdfConvertPageToBitmap2. Null is ignored.
void pdfFreeMemory(void* buffer);

} // namespace plyfold
