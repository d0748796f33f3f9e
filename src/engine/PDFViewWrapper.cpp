#include "engine/PDFViewWrapper.h"

#include "engine/DocumentPrompts.h"
#include "engine/PathUtil.h"
#include "engine/TextConversion.h"
#include "platform/viewer/XpdfViewer.h"
#include "res/Strings.h"
#include "work/BackgroundCall.h"

#include <cstdint>

namespace plyfold {

namespace {

const char16_t* wide(const QString& text) {
    return reinterpret_cast<const char16_t*>(text.utf16());
}

} // namespace

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
    // A thumbnail is painted many times: it is drawn straight into the format that the raster
    // paint engine draws without converting.
    PdfBitmap bitmap;
    if (pdfConvertPageToBitmap2(viewer, page, dpi, kPdfBitmapModeRgb32, &bitmap) != kPdfOk) {
        return QImage();
    }
    // The engine's rows as they are; the image frees the buffer when its last copy goes.
    QImage rows(bitmap.pixels, bitmap.width, bitmap.height, bitmap.stride, QImage::Format_RGB32,
                pdfFreeMemory, bitmap.pixels);
    if (rows.isNull()) {
        pdfFreeMemory(bitmap.pixels);
    }
    return rows;
}

} // namespace plyfold
