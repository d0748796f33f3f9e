// The in-process renderers built here: raw MuPDF calls (the baseline, and the same with MuPDF's
// locks in place) and the viewer engine layer the program uses.

#include "RenderBench.h"

#include "platform/viewer/XpdfViewer.h"

#include <mupdf/fitz.h>

#include <array>
#include <mutex>
#include <string>

namespace plyfold::bench {

namespace {

void quiet(void*, const char*) {}

// MuPDF's locks as a program that renders on more than one thread must give them: one mutex per
// lock number. MuPDF then takes its allocation lock around every allocation.
std::array<std::mutex, FZ_LOCK_MAX> gRawLocks;
void lockRaw(void*, int lock) {
    gRawLocks[static_cast<std::size_t>(lock)].lock();
}
void unlockRaw(void*, int lock) {
    gRawLocks[static_cast<std::size_t>(lock)].unlock();
}
fz_locks_context gRawLocksContext = {nullptr, lockRaw, unlockRaw};

// The shortest path MuPDF offers: fz_open_document, fz_new_pixmap_from_page_number, drop. Without
// locks (the baseline, as a single-threaded tool runs it), or with them (what any multi-threaded
// user of MuPDF pays, the page service included).
class RawMuPdfRenderer : public PageRenderer {
public:
    explicit RawMuPdfRenderer(bool threadSafe) {
        m_ctx = fz_new_context(nullptr, threadSafe ? &gRawLocksContext : nullptr, FZ_STORE_DEFAULT);
        if (m_ctx) {
            fz_set_error_callback(m_ctx, quiet, nullptr);
            fz_set_warning_callback(m_ctx, quiet, nullptr);
            fz_register_document_handlers(m_ctx);
        }
    }
    ~RawMuPdfRenderer() override {
        close();
        fz_drop_context(m_ctx);
    }
    bool open(const std::string& path) override {
        close();
        if (!m_ctx)
            return false;
        fz_document* volatile doc = nullptr;
        fz_try(m_ctx) {
            doc = fz_open_document(m_ctx, path.c_str());
        }
        fz_catch(m_ctx) {
            return false;
        }
        m_doc = doc;
        if (fz_needs_password(m_ctx, m_doc)) {
            close();
            return false;
        }
        return true;
    }
    int pageCount() override {
        volatile int count = 0;
        fz_try(m_ctx) {
            count = fz_count_pages(m_ctx, m_doc);
        }
        fz_catch(m_ctx) {
            count = 0;
        }
        return count;
    }
    bool renderPage(int page, double dpi) override {
        const float zoom = static_cast<float>(dpi / 72.0);
        fz_pixmap* volatile pix = nullptr;
        fz_try(m_ctx) {
            pix = fz_new_pixmap_from_page_number(m_ctx, m_doc, page - 1, fz_scale(zoom, zoom),
                                                 fz_device_rgb(m_ctx), 0);
        }
        fz_catch(m_ctx) {
            return false;
        }
        fz_drop_pixmap(m_ctx, pix);
        return true;
    }
    void close() override {
        if (m_doc)
            fz_drop_document(m_ctx, m_doc);
        m_doc = nullptr;
    }

private:
    fz_context* m_ctx = nullptr;
    fz_document* m_doc = nullptr;
};

// Through pdfLoadFileW / pdfConvertPageToBitmap2 / pdfFreeMemory, as the program calls them.
class ViewerLayerRenderer : public PageRenderer {
public:
    ViewerLayerRenderer() { pdfCreateViewer(&m_viewer, nullptr); }
    ~ViewerLayerRenderer() override { pdfDestroyViewer(m_viewer); }
    bool open(const std::string& path) override {
        // Command-line paths are UTF-8; the layer takes UTF-16.
        std::u16string wide;
        for (std::size_t i = 0; i < path.size();) {
            auto b = static_cast<unsigned char>(path[i]);
            char32_t c = b;
            int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
            if (extra)
                c = b & (0x3F >> extra);
            for (int k = 1; k <= extra && i + static_cast<std::size_t>(k) < path.size(); ++k)
                c = (c << 6) |
                    (static_cast<unsigned char>(path[i + static_cast<std::size_t>(k)]) & 0x3F);
            i += static_cast<std::size_t>(extra) + 1;
            if (c >= 0x10000) {
                c -= 0x10000;
                wide += static_cast<char16_t>(0xD800 + (c >> 10));
                wide += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
            } else {
                wide += static_cast<char16_t>(c);
            }
        }
        return pdfLoadFileW(m_viewer, wide.c_str()) == kPdfOk;
    }
    int pageCount() override { return pdfGetNumPages(m_viewer); }
    bool renderPage(int page, double dpi) override {
        PdfBitmap bitmap;
        const bool ok =
            pdfConvertPageToBitmap2(m_viewer, page, dpi, kPdfBitmapModeRgb24, &bitmap) == kPdfOk;
        pdfFreeMemory(bitmap.pixels);
        return ok;
    }
    void close() override {}

private:
    PdfViewerHandle m_viewer = 0;
};

RendererRegistration rawMuPdf{
    {"raw MuPDF", 0, [] { return std::make_unique<RawMuPdfRenderer>(false); }}};
RendererRegistration rawMuPdfLocked{
    {"raw, with locks", 5, [] { return std::make_unique<RawMuPdfRenderer>(true); }}};
RendererRegistration viewerLayer{
    {"viewer layer", 10, [] { return std::make_unique<ViewerLayerRenderer>(); }}};

} // namespace

} // namespace plyfold::bench
