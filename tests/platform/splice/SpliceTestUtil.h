#pragma once

// Helpers shared by the splicing tests: wide paths, handle guards, external tools, and reading the
// written files back with the PDF library.

#include "platform/splice/XpdfSplice.h"
#include "support/TestData.h"

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace plyfold::test {

// The path as the zero-terminated UTF-16 text the splicing calls take.
std::u16string wide(const QString& path);

// Input handle closed at scope end.
class SpliceInput {
public:
    explicit SpliceInput(XpdfSpliceInput handle) : m_handle(handle) {}
    ~SpliceInput() { xpdfSpliceCloseInput(m_handle); }
    SpliceInput(const SpliceInput&) = delete;
    SpliceInput& operator=(const SpliceInput&) = delete;
    XpdfSpliceInput get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }
    void close() {
        xpdfSpliceCloseInput(m_handle);
        m_handle = nullptr;
    }

private:
    XpdfSpliceInput m_handle;
};

// Opens a file of any path; a null password means the call without a password.
XpdfSpliceInput openPath(const QString& path, const char* password = nullptr);
// Opens one of the shared test PDFs by name.
XpdfSpliceInput openTestPdf(const QString& name, const char* password = nullptr);

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};
// Runs a program to its end (two minutes at most) and returns its exit code and output.
ToolRun runTool(const QString& program, const QStringList& arguments);

// What a reader sees of one page: its content streams decoded and joined, its effective rotation
// and media box.
struct PageLook {
    std::string contents;
    int rotation = 0;
    std::vector<double> mediaBox;
    bool operator==(const PageLook&) const = default;
};
// Every page of a file, read with the PDF library; empty when the file does not open.
std::vector<PageLook> readPages(const QString& path, const char* password = nullptr);

// The files in a folder (names only), to show that no temporary file was left behind.
QStringList filesIn(const QString& folder);

} // namespace plyfold::test
