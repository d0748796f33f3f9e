#pragma once

// Helpers shared by the viewer engine tests: a scoped viewer, renders copied into owned memory
// and small PDFs written on the fly for cases the shared files lack.

#include "platform/viewer/XpdfViewer.h"
#include "support/TestData.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace plyfold::test {

// A viewer that is destroyed with the object.
class ScopedViewer {
public:
    ScopedViewer() { m_created = pdfCreateViewer(&m_handle, nullptr); }
    ~ScopedViewer() {
        if (m_created == kPdfOk)
            pdfDestroyViewer(m_handle);
    }
    ScopedViewer(const ScopedViewer&) = delete;
    ScopedViewer& operator=(const ScopedViewer&) = delete;

    PdfViewerHandle handle() const { return m_handle; }
    bool created() const { return m_created == kPdfOk; }

    std::int32_t load(const QString& path) {
        return pdfLoadFileW(m_handle, reinterpret_cast<const char16_t*>(path.utf16()));
    }
    std::int32_t load(const QString& path, const char* password) {
        return pdfLoadFileWithPasswordW(m_handle, reinterpret_cast<const char16_t*>(path.utf16()),
                                        password);
    }

private:
    PdfViewerHandle m_handle = 0;
    std::int32_t m_created = -1;
};

// A rendered page with its pixels copied out of the engine's buffer.
struct Bitmap {
    std::int32_t result = -1;
    PdfBitmap layout; // width, height and stride as the engine gave them; pixels is null
    std::vector<unsigned char> pixels;

    int width() const { return layout.width; }
    int height() const { return layout.height; }
    int stride() const { return layout.stride; }
    // R, G, B of the pixel at (x, y) counted from the top-left of the image.
    const unsigned char* at(int x, int y) const {
        return pixels.data() + static_cast<std::size_t>(y) * stride() + x * 3;
    }
    bool isDark(int x, int y) const {
        const unsigned char* p = at(x, y);
        return p[0] < 96 && p[1] < 96 && p[2] < 96;
    }
};

inline Bitmap render(PdfViewerHandle viewer, int page, double dpi) {
    Bitmap bitmap;
    PdfBitmap out;
    bitmap.result = pdfConvertPageToBitmap2(viewer, page, dpi, kPdfBitmapModeRgb24, &out);
    if (bitmap.result == kPdfOk && out.pixels != nullptr)
        bitmap.pixels.assign(out.pixels,
                             out.pixels + static_cast<std::size_t>(out.stride) * out.height);
    pdfFreeMemory(out.pixels);
    bitmap.layout = out;
    bitmap.layout.pixels = nullptr;
    return bitmap;
}

// A PDF of pages described by their /MediaBox, /Rotate and content, written into dir.
struct MiniPage {
    std::string mediaBox = "[0 0 612 792]";
    std::string rotate;    // "" = no /Rotate on the page
    std::string content;   // page content stream
    std::string extraFont; // "" or a font dictionary for /F1
};

// Writes a PDF with a two-level page tree: pages listed in `inherited` hang under an
// intermediate /Pages node whose /Rotate is inheritedRotate. Returns the file path.
QString writeMiniPdf(const QString& dir, const QString& name, const std::vector<MiniPage>& pages,
                     const std::vector<MiniPage>& inherited = {},
                     const std::string& inheritedRotate = "");

} // namespace plyfold::test
