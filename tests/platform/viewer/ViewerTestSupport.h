#pragma once

// Helpers shared by the viewer engine tests: a scoped viewer, renders copied into owned memory,
// the test PDFs' manifest, and small PDFs written on the fly for cases the shared files lack.

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
    ScopedViewer() { created_ = pdfCreateViewer(&handle_, nullptr); }
    ~ScopedViewer() {
        if (created_ == kPdfOk)
            pdfDestroyViewer(handle_);
    }
    ScopedViewer(const ScopedViewer&) = delete;
    ScopedViewer& operator=(const ScopedViewer&) = delete;

    PdfViewerHandle handle() const { return handle_; }
    bool created() const { return created_ == kPdfOk; }

    std::int32_t load(const QString& path) {
        return pdfLoadFileW(handle_, reinterpret_cast<const char16_t*>(path.utf16()));
    }
    std::int32_t load(const QString& path, const char* password) {
        return pdfLoadFileWithPasswordW(handle_, reinterpret_cast<const char16_t*>(path.utf16()),
                                        password);
    }

private:
    PdfViewerHandle handle_ = 0;
    std::int32_t created_ = -1;
};

// A rendered page with its pixels copied out of the engine's buffer.
struct Bitmap {
    std::int32_t result = -1;
    PdfBitmapInfoHeader header{};
    std::vector<unsigned char> pixels;

    int width() const { return header.biWidth; }
    int height() const { return header.biHeight; }
    int stride() const { return pdfBitmapStride(header.biWidth, header.biBitCount); }
    // B, G, R of the pixel at (x, y) counted from the top-left of the image as displayed.
    const unsigned char* at(int x, int y) const {
        const int row = height() - 1 - y; // rows are stored bottom-up
        return pixels.data() + static_cast<std::size_t>(row) * stride() + x * 3;
    }
    bool isDark(int x, int y) const {
        const unsigned char* p = at(x, y);
        return p[0] < 96 && p[1] < 96 && p[2] < 96;
    }
};

inline Bitmap render(PdfViewerHandle viewer, int page, double dpi) {
    Bitmap bitmap;
    bitmap.header.biSize = 40;
    unsigned char* buffer = nullptr;
    bitmap.result = pdfConvertPageToBitmap2(viewer, page, dpi, 3, &bitmap.header, &buffer);
    if (bitmap.result == kPdfOk && buffer != nullptr)
        bitmap.pixels.assign(buffer, buffer + bitmap.header.biSizeImage);
    pdfFreeMemory(buffer);
    return bitmap;
}

// One row of tests/data/pdfs/MANIFEST.tsv.
struct ManifestRow {
    QString file;
    int pages = -1; // -1: the file does not open
    QString encrypted;
    QString userPassword;       // "-" none, "(empty)", or the password
    QString ownerPassword;      // "-", "(empty)", "unknown", or the password
    std::vector<int> rotations; // one per page when pages > 0
};

// Reads the manifest; the rotations column is expanded to one value per page.
std::vector<ManifestRow> readManifest();

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
