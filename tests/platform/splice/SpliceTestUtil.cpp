#include "SpliceTestUtil.h"

#include <QDir>
#include <QProcess>

#include <qpdf/Pl_Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

namespace plyfold::test {

std::u16string wide(const QString& path) {
    return std::u16string(reinterpret_cast<const char16_t*>(path.utf16()),
                          static_cast<std::size_t>(path.size()));
}

XpdfSpliceInput openPath(const QString& path, const char* password) {
    const std::u16string w = wide(path);
    return password ? xpdfSpliceOpenInputWithPasswordW(w.c_str(), password)
                    : xpdfSpliceOpenInputW(w.c_str());
}

XpdfSpliceInput openTestPdf(const QString& name, const char* password) {
    return openPath(pdfPath(name), password);
}

ToolRun runTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    ToolRun run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        run.err = "did not finish";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

std::vector<PageLook> readPages(const QString& path, const char* password) {
    std::vector<PageLook> pages;
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processFile(path.toUtf8().constData(), password);
        for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(pdf).getAllPages()) {
            PageLook look;
            Pl_Buffer buffer("page contents");
            page.pipeContents(&buffer);
            auto data = buffer.getBufferSharedPointer();
            look.contents.assign(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
            QPDFObjectHandle rotate = page.getAttribute("/Rotate", false);
            look.rotation =
                rotate.isInteger() ? ((rotate.getIntValueAsInt() % 360) + 360) % 360 : 0;
            QPDFObjectHandle box = page.getAttribute("/MediaBox", false);
            if (box.isArray()) {
                for (QPDFObjectHandle& value : box.aitems()) {
                    look.mediaBox.push_back(value.getNumericValue());
                }
            }
            pages.push_back(std::move(look));
        }
    } catch (const std::exception&) {
        pages.clear();
    }
    return pages;
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace plyfold::test
