#pragma once

// One open document of the viewer engine: the engine viewer, the password handling when the
// document is opened, and the queries the program needs (page count, page proportions, a small
// upright image of a page).

#include <QImage>
#include <QString>

#include <cstdint>

class QObject;

namespace plyfold {

// The viewer layer's handle type, declared here so that the engine's users need not see that
// layer (platform/viewer/XpdfViewer.h), which only the engine links.
using PdfViewerHandle = std::int32_t;

class PDFViewWrapper {
public:
    PDFViewWrapper();
    PDFViewWrapper(const PDFViewWrapper&) = delete;
    PDFViewWrapper& operator=(const PDFViewWrapper&) = delete;
    // Destroys the engine viewer if one was created.
    virtual ~PDFViewWrapper();

    // Asks for the password through the installed prompt (engine/DocumentPrompts.h), owned by
    // `parent` (null: the window in front); when promptId is not 0 the question is that string
    // formatted with `argument` (205: "Enter Password for %s" with the file name). After OK,
    // `password` holds the trimmed text and the result is true; otherwise `password` is unchanged
    // and the result is false. When not `quiet`, the engine's redrawing is switched on while the
    // prompt is shown.
    virtual bool AskPassword(QObject* parent, int promptId, const QString& argument);

    // Creates the engine viewer unless it exists. False when the engine refuses.
    bool CreateViewer();

    // Loads the document into the viewer (CreateViewer first). With a given password (non-null)
    // that password is stored and tried once. Without one, a document that needs a password makes
    // the prompt appear once (titled from promptId and the file name); Cancel fails, and the typed
    // password gets exactly one attempt. User-interface thread.
    bool LoadDocument(const QString& path, QObject* parent, const QString* givenPassword,
                      int promptId);

    // Page count of the loaded document; 0 before a successful load. Never waits for a render.
    int PageCount() const;

    // Width-to-height ratio of the unrotated media box of a page (1-based); 1.0 when the box has no
    // height. Never waits for a render.
    double MediaAspect(int page) const;

    // Renders a page at `dpi`, upright as the file rotates it, into an image (Format_RGB32) that
    // owns its pixels. A null image on failure. Any thread; renders of one document are
    // serialised by the engine.
    QImage RenderPage(int page, double dpi) const;

    PdfViewerHandle viewer = 0; // 0 until CreateViewer succeeds
    // The password given or typed last for the document; empty when none was needed. The merge
    // input reads it to open the same file for splicing.
    QString password;
    // Every page-service instance is quiet: the engine's redrawing stays off during the prompt.
    bool quiet = true;
};

} // namespace plyfold
