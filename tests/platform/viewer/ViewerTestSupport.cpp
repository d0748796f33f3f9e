#include "ViewerTestSupport.h"

#include <sstream>

namespace plyfold::test {

QString writeMiniPdf(const QString& dir, const QString& name, const std::vector<MiniPage>& pages,
                     const std::vector<MiniPage>& inherited, const std::string& inheritedRotate) {
    // Objects: 1 catalog, 2 root pages, 3 intermediate pages, then per page: page + content.
    std::vector<std::string> objects;
    const int total = static_cast<int>(pages.size() + inherited.size());
    auto pageObj = [](int i) { return 4 + 2 * i; };
    std::ostringstream kids, innerKids;
    for (std::size_t i = 0; i < pages.size(); ++i)
        kids << pageObj(static_cast<int>(i)) << " 0 R ";
    for (std::size_t i = 0; i < inherited.size(); ++i)
        innerKids << pageObj(static_cast<int>(pages.size() + i)) << " 0 R ";
    if (!inherited.empty())
        kids << "3 0 R";

    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    objects.push_back("<< /Type /Pages /Kids [" + kids.str() + "] /Count " + std::to_string(total) +
                      " >>");
    objects.push_back("<< /Type /Pages /Parent 2 0 R /Kids [" + innerKids.str() + "] /Count " +
                      std::to_string(inherited.size()) +
                      (inheritedRotate.empty() ? "" : " /Rotate " + inheritedRotate) + " >>");
    auto addPage = [&](const MiniPage& page, int parent) {
        const int contentObj = static_cast<int>(objects.size()) + 2;
        std::string dict = "<< /Type /Page /Parent " + std::to_string(parent) + " 0 R /MediaBox " +
                           page.mediaBox + " /Contents " + std::to_string(contentObj) + " 0 R";
        if (!page.rotate.empty())
            dict += " /Rotate " + page.rotate;
        if (!page.extraFont.empty())
            dict += " /Resources << /Font << /F1 " + page.extraFont + " >> >>";
        dict += " >>";
        objects.push_back(dict);
        objects.push_back("<< /Length " + std::to_string(page.content.size()) + " >>\nstream\n" +
                          page.content + "\nendstream");
    };
    for (const MiniPage& page : pages)
        addPage(page, 2);
    for (const MiniPage& page : inherited)
        addPage(page, 3);

    std::string out = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(out.size());
        out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t offset : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";

    const QString path = QDir(dir).filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(out.data(), static_cast<qint64>(out.size()));
    return path;
}

} // namespace plyfold::test
