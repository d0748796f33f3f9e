#include "engine/PDFViewWrapper.h"

#include "engine/DocumentPrompts.h"
#include "engine/PathUtil.h"
#include "engine/TextConversion.h"
#include "platform/viewer/XpdfViewer.h"
#include "res/Strings.h"
#include "work/BackgroundCall.h"

#include <QTransform>

#include <cstdint>
#include <limits>

namespace plyfold {

namespace {

// Bounds that keep every size computation inside 64-bit arithmetic and an image in memory.
constexpr std::int64_t kMaxEdge = 1 << 16;
constexpr std::int64_t kMaxBytes = std::int64_t(1) << 30;

const char16_t* wide(const QString& text) {
    return reinterpret_cast<const char16_t*>(text.utf16());
}

} // namespace

QImage BitmapFromDib(const PdfBitmapInfoHeader& header, const unsigned char* pixels, int angle) {
    if (angle != 0 && angle != 90 && angle != 180 && angle != 270) {
        return QImage();
    }
    if (pixels == nullptr || header.biSize != sizeof(PdfBitmapInfoHeader) || header.biPlanes != 1 ||
        header.biCompression != 0 || (header.biBitCount != 24 && header.biBitCount != 32)) {
        return QImage();
    }
    const std::int64_t width = header.biWidth;
    const std::int64_t rawHeight = header.biHeight;
    const std::int64_t height = rawHeight < 0 ? -rawHeight : rawHeight;
    if (width <= 0 || height <= 0 || width > kMaxEdge || height > kMaxEdge) {
        return QImage();
    }
    const std::int64_t bytesPerPixel = header.biBitCount / 8;
    const std::int64_t stride = ((width * header.biBitCount + 31) / 32) * 4;
    const std::int64_t needed = stride * height;
    if (needed > kMaxBytes || std::int64_t(header.biSizeImage) < needed) {
        return QImage();
    }

    QImage image(int(width), int(height), QImage::Format_RGB32);
    if (image.isNull()) {
        return QImage();
    }
    const bool bottomUp = rawHeight > 0;
    for (std::int64_t y = 0; y < height; ++y) {
        const unsigned char* source = pixels + (bottomUp ? height - 1 - y : y) * stride;
        auto* target = reinterpret_cast<QRgb*>(image.scanLine(int(y)));
        for (std::int64_t x = 0; x < width; ++x) {
            const unsigned char* p = source + x * bytesPerPixel;
            target[x] = qRgb(p[2], p[1], p[0]);
        }
    }
    if (angle == 0) {
        return image;
    }
    return image.transformed(QTransform().rotate(angle));
}

PDFViewWrapper::PDFViewWrapper() = default;

PDFViewWrapper::~PDFViewWrapper() {
    if (viewer != 0) {
        pdfDestroyViewer(viewer);
        viewer = 0;
    }
}

bool PDFViewWrapper::AskPassword(QObject* parent, int promptId, const QString& argument) {
    if (!quiet) {
        pdfEnableRedraw(viewer, 1);
    }
    PasswordPromptRequest request;
    request.owner = parent;
    if (promptId != 0) {
        request.title = FormatResString(promptId, {argument});
    }
    const std::optional<QString> typed = AskForPassword(request);
    if (!quiet) {
        pdfEnableRedraw(viewer, 0);
    }
    if (!typed) {
        return false;
    }
    password = typed->trimmed();
    return true;
}

bool PDFViewWrapper::CreateViewer() {
    if (viewer != 0) {
        return true;
    }
    PdfViewerHandle handle = 0;
    if (pdfCreateViewer(&handle, nullptr) != kPdfOk || handle == 0) {
        return false;
    }
    viewer = handle;
    return true;
}

bool PDFViewWrapper::LoadDocument(const QString& path, QObject* parent,
                                  const QString* givenPassword, int promptId) {
    if (viewer == 0) {
        return false;
    }
    // The engine reads the whole page tree while it loads, which takes long for a large file: it
    // loads on a helper thread while the window keeps painting. The prompt stays here.
    const PdfViewerHandle handle = viewer;
    const char16_t* widePath = wide(path);
    const auto load = [handle, widePath](const QString* typed) {
        const QByteArray narrow = typed != nullptr ? ToNarrow(*typed) : QByteArray();
        return RunInBackground<std::int32_t>([handle, widePath, typed, &narrow] {
            return typed != nullptr ? pdfLoadFileWithPasswordW(handle, widePath, narrow.constData())
                                    : pdfLoadFileW(handle, widePath);
        });
    };
    bool loaded = false;
    if (givenPassword != nullptr) {
        password = *givenPassword;
        loaded = load(&password) == kPdfOk;
    } else {
        pdfShowPasswordDialog(viewer, 0);
        const std::int32_t rc = load(nullptr);
        if (rc == kPdfOk) {
            loaded = true;
        } else if (rc == kPdfErrEncrypted) {
            if (!AskPassword(parent, promptId, FileNameAfterFolder(path))) {
                return false;
            }
            // One attempt only: a wrong password fails the load without asking again.
            loaded = load(&password) == kPdfOk;
        }
    }
    if (!loaded) {
        return false;
    }
    pdfEnableHyperlinks(viewer, 0);
    pdfSetContinuousMode(viewer, 0);
    return true;
}

int PDFViewWrapper::PageCount() const {
    return viewer == 0 ? 0 : pdfGetNumPages(viewer);
}

double PDFViewWrapper::MediaAspect(int page) const {
    static constexpr char kMedia[] = "media";
    const double xMin = pdfGetPageBoxXMin(viewer, page, kMedia);
    const double xMax = pdfGetPageBoxXMax(viewer, page, kMedia);
    const double yMin = pdfGetPageBoxYMin(viewer, page, kMedia);
    const double yMax = pdfGetPageBoxYMax(viewer, page, kMedia);
    if (yMax == yMin) {
        return 1.0;
    }
    const double aspect = (xMax - xMin) / (yMax - yMin);
    return aspect < 0 ? -aspect : aspect;
}

QImage PDFViewWrapper::RenderPage(int page, double dpi) const {
    PdfBitmapInfoHeader header{};
    header.biSize = sizeof(PdfBitmapInfoHeader);
    unsigned char* pixels = nullptr;
    const std::int32_t rc =
        pdfConvertPageToBitmap2(viewer, page, dpi, kPdfBitmapModeBgr24, &header, &pixels);
    QImage image;
    if (rc == kPdfOk) {
        // The engine may show its view turned; turn the page back by that much so it stands
        // upright as the file rotates it.
        const int angle = (360 - pdfGetRotate(viewer) % 360) % 360;
        image = BitmapFromDib(header, pixels, angle);
    }
    if (pixels != nullptr) {
        pdfFreeMemory(pixels);
    }
    return image;
}

} // namespace plyfold
