// The two in-process renderers built here: raw MuPDF calls (the baseline) and the viewer engine
// layer the program uses.

#include "RenderBench.h"

#include "platform/viewer/XpdfViewer.h"

#include <mupdf/fitz.h>

#include <string>

namespace plyfold::bench {

namespace {

void quiet(void*, const char*) {}

// The shortest path MuPDF offers: fz_open_document, fz_new_pixmap_from_page_number, drop.
class RawMuPdfRenderer : public PageRenderer {
public:
    RawMuPdfRenderer() {
        ctx_ = fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT);
        if (ctx_) {
            fz_set_error_callback(ctx_, quiet, nullptr);
            fz_set_warning_callback(ctx_, quiet, nullptr);
            fz_register_document_handlers(ctx_);
        }
    }
    ~RawMuPdfRenderer() override {
        close();
        fz_drop_context(ctx_);
    }
    bool open(const std::string& path) override {
        close();
        if (!ctx_)
            return false;
        fz_document* volatile doc = nullptr;
        fz_try(ctx_) {
            doc = fz_open_document(ctx_, path.c_str());
        }
        fz_catch(ctx_) {
            return false;
        }
        doc_ = doc;
        if (fz_needs_password(ctx_, doc_)) {
            close();
            return false;
        }
        return true;
    }
    int pageCount() override {
        volatile int count = 0;
        fz_try(ctx_) {
            count = fz_count_pages(ctx_, doc_);
        }
        fz_catch(ctx_) {
            count = 0;
        }
        return count;
    }
    bool renderPage(int page, double dpi) override {
        const float zoom = static_cast<float>(dpi / 72.0);
        fz_pixmap* volatile pix = nullptr;
        fz_try(ctx_) {
            pix = fz_new_pixmap_from_page_number(ctx_, doc_, page - 1, fz_scale(zoom, zoom),
                                                 fz_device_rgb(ctx_), 0);
        }
        fz_catch(ctx_) {
            return false;
        }
        fz_drop_pixmap(ctx_, pix);
        return true;
    }
    void close() override {
        if (doc_)
            fz_drop_document(ctx_, doc_);
        doc_ = nullptr;
    }

private:
    fz_context* ctx_ = nullptr;
    fz_document* doc_ = nullptr;
};

// Through pdfLoadFileW / pdfConvertPageToBitmap2 / pdfFreeMemory, as the program calls them.
class ViewerLayerRenderer : public PageRenderer {
public:
    ViewerLayerRenderer() { pdfCreateViewer(&viewer_, nullptr); }
    ~ViewerLayerRenderer() override { pdfDestroyViewer(viewer_); }
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
        return pdfLoadFileW(viewer_, wide.c_str()) == kPdfOk;
    }
    int pageCount() override { return pdfGetNumPages(viewer_); }
    bool renderPage(int page, double dpi) override {
        PdfBitmap bitmap;
        const bool ok =
            pdfConvertPageToBitmap2(viewer_, page, dpi, kPdfBitmapModeRgb24, &bitmap) == kPdfOk;
        pdfFreeMemory(bitmap.pixels);
        return ok;
    }
    void close() override {}

private:
    PdfViewerHandle viewer_ = 0;
};

RendererRegistration rawMuPdf{
    {"raw MuPDF", 0, [] { return std::make_unique<RawMuPdfRenderer>(); }}};
RendererRegistration viewerLayer{
    {"viewer layer", 10, [] { return std::make_unique<ViewerLayerRenderer>(); }}};

} // namespace

} // namespace plyfold::bench
