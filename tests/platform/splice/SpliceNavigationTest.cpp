// What a merged file keeps of its inputs besides the pages: outlines, links and named
// destinations, page labels, working form fields; and that equal data is stored once.

#include "platform/splice/SpliceNavigation.h"
#include "SpliceTestUtil.h"
#include "support/HostileCorpus.h"
#include "support/SyntheticPdf.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFNameTreeObjectHelper.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>
#include <qpdf/QPDFPageLabelDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace plyfold::test {
namespace {

struct Piece {
    QString path;
    int first;
    int last;
};

Piece piece(const char* name, int first, int last) {
    return {pdfPath(name), first, last};
}

// Merges the pieces as the save does (one open per piece, closed before the output is written).
bool merge(const QString& output, const std::vector<Piece>& pieces, bool outlines = true) {
    XpdfSpliceOutput out = xpdfSpliceOpenOutputW(wide(output).c_str(), 1.6);
    if (!out) {
        return false;
    }
    bool ok = xpdfSpliceSetOutlines(out, outlines);
    for (const Piece& p : pieces) {
        SpliceInput input(openPath(p.path));
        ok = ok && input && xpdfSpliceAddPages(input.get(), p.first, p.last, out);
    }
    return xpdfSpliceCloseOutput(out) && ok;
}

void expectCleanCheck(const QString& path) {
    const ToolRun check = runTool("qpdf", {"--check", path});
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString() << check.err.toStdString();
    EXPECT_FALSE(check.out.contains("WARNING") || check.err.contains("WARNING"))
        << check.out.toStdString() << check.err.toStdString();
}

std::unique_ptr<QPDF> load(const QString& path) {
    auto pdf = std::make_unique<QPDF>();
    pdf->processFile(path.toUtf8().constData());
    return pdf;
}

// Writes pdf to path, not linearized (the writer's default).
void save(QPDF& pdf, const QString& path) {
    const QByteArray name = path.toUtf8(); // the writer keeps the pointer
    QPDFWriter writer(pdf, name.constData());
    writer.write();
}

// The output's pages: which source file and page each one came from.
struct Origin {
    std::size_t piece;
    int sourceIndex; // 0-based
};
std::vector<Origin> origins(const std::vector<Piece>& pieces) {
    std::vector<Origin> result;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        for (int p = pieces[i].first; p <= pieces[i].last; ++p) {
            result.push_back({i, p - 1});
        }
    }
    return result;
}

int pageIndex(QPDF& pdf, QPDFObjectHandle page) {
    if (!page.isIndirect()) {
        return -1;
    }
    const std::vector<QPDFObjectHandle> pages = pdf.getAllPages();
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (pages[i].getObjGen() == page.getObjGen()) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// The page (0-based) a destination leads to, resolving names through the document's own tables;
// -1 when it leads nowhere.
int destinationPage(QPDF& pdf, QPDFObjectHandle dest) {
    if (dest.isName() || dest.isString()) {
        QPDFOutlineDocumentHelper helper(pdf);
        dest = helper.resolveNamedDest(dest);
    }
    if (dest.isDictionary()) {
        dest = dest.getKey("/D");
    }
    if (!dest.isArray() || dest.getArrayNItems() == 0) {
        return -1;
    }
    return pageIndex(pdf, dest.getArrayItem(0));
}

// The destination of a link or outline item (/Dest, or a GoTo action's /D); null when none.
QPDFObjectHandle targetOf(QPDFObjectHandle item) {
    if (item.hasKey("/Dest")) {
        return item.getKey("/Dest");
    }
    QPDFObjectHandle action = item.getKey("/A");
    if (action.isDictionary() && action.getKey("/S").isNameAndEquals("/GoTo")) {
        return action.getKey("/D");
    }
    return QPDFObjectHandle::newNull();
}

// Every outline item under an item, depth first, with its depth.
void collect(QPDFOutlineObjectHelper item, std::vector<QPDFOutlineObjectHelper>& all) {
    for (QPDFOutlineObjectHelper& kid : item.getKids()) {
        all.push_back(kid);
        collect(kid, all);
    }
}

// How many source items an output built from source pages [first, last] keeps: those whose page
// is kept, and those with a kept item below them (as headings).
int keptItems(QPDFOutlineObjectHelper item, int first, int last, bool& anyKept) {
    int kept = 0;
    anyKept = false;
    for (QPDFOutlineObjectHelper& kid : item.getKids()) {
        bool below = false;
        const int under = keptItems(kid, first, last, below);
        QPDF& pdf = *kid.getObjectHandle().getOwningQPDF();
        const int index = destinationPage(pdf, targetOf(kid.getObjectHandle()));
        const bool own = index >= first && index <= last;
        if (own || below) {
            kept += 1 + under;
            anyKept = true;
        }
    }
    return kept;
}

class SpliceNavigationTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString out(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

TEST_F(SpliceNavigationTest, EveryInputGetsAnEntryHoldingItsOwnItemsOnTheirPages) {
    const std::vector<Piece> pieces = {
        piece("R-intro.pdf", 1, 20), piece("c-linearized.pdf", 1, 30),
        piece("refcard-nf.pdf", 2, 3), piece("c-linearized.pdf", 3, 12)};
    const QString path = out("outlines.pdf");
    ASSERT_TRUE(merge(path, pieces)) << xpdfSpliceLastError();
    expectCleanCheck(path);

    std::unique_ptr<QPDF> written = load(path);
    const std::vector<Origin> from = origins(pieces);
    const std::vector<PageLook> writtenLooks = readPages(path);
    QPDFOutlineDocumentHelper outline(*written);
    std::vector<QPDFOutlineObjectHelper> top = outline.getTopLevelOutlines();
    ASSERT_EQ(top.size(), pieces.size()) << "one entry per input, the same file twice included";

    int firstPage = 0;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const Piece& p = pieces[i];
        SCOPED_TRACE(p.path.toStdString());
        EXPECT_EQ(top[i].getTitle(), QFileInfo(p.path).completeBaseName().toStdString());
        EXPECT_EQ(destinationPage(*written, top[i].getDest()), firstPage)
            << "the entry opens the input's first page in the output";

        std::unique_ptr<QPDF> source = load(p.path);
        const std::vector<PageLook> sourceLooks = readPages(p.path);
        QPDFOutlineDocumentHelper sourceOutline(*source);
        // Each kept item leads to the page showing what its source page showed, inside this
        // input's share of the output.
        std::vector<QPDFOutlineObjectHelper> items;
        collect(top[i], items);
        for (QPDFOutlineObjectHelper& item : items) {
            QPDFObjectHandle dest = targetOf(item.getObjectHandle());
            if (dest.isNull()) {
                EXPECT_FALSE(item.getKids().empty())
                    << "an item without a page is kept only as a heading: " << item.getTitle();
                continue;
            }
            const int page = destinationPage(*written, dest);
            ASSERT_GE(page, firstPage) << item.getTitle();
            ASSERT_LE(page, firstPage + p.last - p.first) << item.getTitle();
            EXPECT_EQ(writtenLooks.at(static_cast<std::size_t>(page)),
                      sourceLooks.at(static_cast<std::size_t>(from[page].sourceIndex)))
                << item.getTitle();
        }
        // Exactly the items whose page (or something below them) was kept.
        int expected = 0;
        for (QPDFOutlineObjectHelper& sourceTop : sourceOutline.getTopLevelOutlines()) {
            bool below = false;
            const int under = keptItems(sourceTop, p.first - 1, p.last - 1, below);
            const int index = destinationPage(*source, targetOf(sourceTop.getObjectHandle()));
            if ((index >= p.first - 1 && index <= p.last - 1) || below) {
                expected += 1 + under;
            }
        }
        EXPECT_EQ(static_cast<int>(items.size()), expected);
        if (p.first == 1 && p.last == static_cast<int>(sourceLooks.size())) {
            std::vector<QPDFOutlineObjectHelper> sourceItems;
            for (QPDFOutlineObjectHelper& sourceTop : sourceOutline.getTopLevelOutlines()) {
                sourceItems.push_back(sourceTop);
                collect(sourceTop, sourceItems);
            }
            EXPECT_EQ(items.size(), sourceItems.size()) << "a whole input keeps its whole outline";
        }
        firstPage += p.last - p.first + 1;
    }
    // Pages 1-20 of the manual keep its first chapters only.
    std::vector<QPDFOutlineObjectHelper> intro;
    collect(top[0], intro);
    EXPECT_GT(intro.size(), 3u);
    EXPECT_LT(intro.size(), 100u);
    EXPECT_TRUE(top[2].getKids().empty()) << "an input without an outline gets a bare entry";
}

TEST_F(SpliceNavigationTest, OutlinesCanBeLeftOut) {
    const QString path = out("plain.pdf");
    ASSERT_TRUE(merge(path, {piece("R-intro.pdf", 1, 5), piece("c-linearized.pdf", 1, 3)}, false));
    expectCleanCheck(path);
    std::unique_ptr<QPDF> written = load(path);
    EXPECT_FALSE(written->getRoot().hasKey("/Outlines"));
    EXPECT_FALSE(xpdfSpliceSetOutlines(nullptr, false));
}

// Every link of the output with the source annotation it was copied from (pages are copied with
// their annotations in order).
struct LinkPair {
    int outputPage;
    QPDFObjectHandle written;
    QPDFObjectHandle source;
    std::size_t piece;
};

TEST_F(SpliceNavigationTest, LinksLandOnTheCopiesOfTheirPagesAndNamesStayApart) {
    // The same manual twice with overlapping ranges: every name clashes.
    const std::vector<Piece> pieces = {piece("R-intro.pdf", 1, 12), piece("R-intro.pdf", 8, 40)};
    const QString path = out("links.pdf");
    ASSERT_TRUE(merge(path, pieces)) << xpdfSpliceLastError();
    expectCleanCheck(path);

    std::unique_ptr<QPDF> written = load(path);
    std::unique_ptr<QPDF> source = load(pieces[0].path);
    const std::vector<Origin> from = origins(pieces);
    const std::vector<QPDFObjectHandle> outPages = written->getAllPages();
    const std::vector<QPDFObjectHandle> inPages = source->getAllPages();
    ASSERT_EQ(outPages.size(), from.size());

    int landed = 0;
    int inactive = 0;
    for (std::size_t o = 0; o < outPages.size(); ++o) {
        QPDFObjectHandle a = QPDFObjectHandle(outPages[o]).getKey("/Annots");
        QPDFObjectHandle b =
            QPDFObjectHandle(inPages[static_cast<std::size_t>(from[o].sourceIndex)])
                .getKey("/Annots");
        if (!b.isArray()) {
            continue;
        }
        ASSERT_TRUE(a.isArray());
        ASSERT_EQ(a.getArrayNItems(), b.getArrayNItems());
        for (int n = 0; n < a.getArrayNItems(); ++n) {
            QPDFObjectHandle sourceTarget = targetOf(b.getArrayItem(n));
            if (sourceTarget.isNull()) {
                continue;
            }
            const int sourcePage = destinationPage(*source, sourceTarget);
            ASSERT_GE(sourcePage, 0);
            const Piece& p = pieces[from[o].piece];
            // Where the target page sits in the output, inside this copy's share.
            int expected = -1;
            int base = from[o].piece == 0 ? 0 : pieces[0].last - pieces[0].first + 1;
            if (sourcePage >= p.first - 1 && sourcePage <= p.last - 1) {
                expected = base + sourcePage - (p.first - 1);
            }
            QPDFObjectHandle target = targetOf(a.getArrayItem(n));
            if (expected < 0) {
                EXPECT_TRUE(target.isNull()) << "a link to a page left out is switched off";
                ++inactive;
                continue;
            }
            ASSERT_FALSE(target.isNull()) << "output page " << o + 1 << " link " << n;
            EXPECT_EQ(destinationPage(*written, target), expected)
                << "output page " << o + 1 << " link " << n;
            ++landed;
        }
    }
    EXPECT_GT(landed, 20);
    EXPECT_GT(inactive, 0);

    // Names: each copy's names are carried, the second copy's under new names, all distinct.
    QPDFObjectHandle tree = written->getRoot().getKey("/Names").getKey("/Dests");
    ASSERT_TRUE(tree.isDictionary());
    std::map<std::string, QPDFObjectHandle> names;
    for (auto entry : QPDFNameTreeObjectHelper(tree, *written)) {
        EXPECT_TRUE(names.emplace(entry.first, entry.second).second) << entry.first;
        const int page = destinationPage(*written, entry.second);
        EXPECT_GE(page, 0) << entry.first;
    }
    int inBoth = 0;
    for (auto entry :
         QPDFNameTreeObjectHelper(source->getRoot().getKey("/Names").getKey("/Dests"), *source)) {
        const int page = destinationPage(*source, entry.second);
        if (page >= 7 && page <= 11 && names.count(entry.first) &&
            names.count(entry.first + "-2")) {
            EXPECT_EQ(destinationPage(*written, names[entry.first]), page);
            EXPECT_EQ(destinationPage(*written, names[entry.first + "-2"]), 12 + page - 7);
            ++inBoth;
        }
    }
    EXPECT_GT(inBoth, 0);
}

// Names that clash take the first free suffix, also when an input already holds a suffixed name
// and when many inputs bring the same names.
TEST(SpliceNames, ClashingNamesTakeTheFirstFreeSuffix) {
    const std::vector<std::vector<std::string>> given = {
        {"/a", "a-2", "b"}, {"/a", "b"}, {"a", "a-3"}, {"/a"}};
    const std::vector<std::map<std::string, std::string>> expected = {
        {{"/a", "a"}, {"a-2", "a-2"}, {"b", "b"}},
        {{"/a", "a-3"}, {"b", "b-2"}},
        {{"a", "a-4"}, {"a-3", "a-3-2"}},
        {{"/a", "a-5"}}};
    QPDF output;
    output.emptyPDF();
    QPDFObjectHandle page = output.makeIndirectObject(QPDFObjectHandle::newDictionary());
    std::vector<splice::Contribution> contributions(given.size());
    for (std::size_t i = 0; i < given.size(); ++i) {
        for (const std::string& key : given[i]) {
            QPDFObjectHandle dest = QPDFObjectHandle::newArray();
            dest.appendItem(page);
            contributions[i].mappedNames.emplace_back(key, dest);
        }
    }
    splice::carryLinks(output, contributions);
    for (std::size_t i = 0; i < given.size(); ++i) {
        EXPECT_EQ(contributions[i].names, expected[i]) << "input " << i;
    }
    QPDFNameTreeObjectHelper tree(output.getRoot().getKey("/Names").getKey("/Dests"), output);
    EXPECT_EQ(tree.getAsMap().size(), 8u);
}

TEST_F(SpliceNavigationTest, PageLabelsOfTheKeptPagesReadBackAsInTheirFiles) {
    const std::vector<Piece> pieces = {piece("R-intro.pdf", 2, 9), piece("refcard-nf.pdf", 2, 3),
                                       piece("c-linearized.pdf", 3, 10)};
    const QString path = out("labels.pdf");
    ASSERT_TRUE(merge(path, pieces)) << xpdfSpliceLastError();
    expectCleanCheck(path);

    std::unique_ptr<QPDF> written = load(path);
    QPDFPageLabelDocumentHelper labels(*written);
    ASSERT_TRUE(labels.hasPageLabels());
    const std::vector<Origin> from = origins(pieces);
    // A label as text: the prefix with the number in the label's style (enough to tell styles and
    // numbers apart).
    auto text = [](QPDFObjectHandle label) {
        std::string result;
        if (label.getKey("/P").isString()) {
            result = label.getKey("/P").getUTF8Value();
        }
        if (label.getKey("/S").isName()) {
            result += label.getKey("/S").getName();
            result += std::to_string(
                label.getKey("/St").isInteger() ? label.getKey("/St").getIntValue() : 1);
        }
        return result;
    };
    for (std::size_t o = 0; o < from.size(); ++o) {
        std::unique_ptr<QPDF> source = load(pieces[from[o].piece].path);
        QPDFPageLabelDocumentHelper sourceLabels(*source);
        std::string expected;
        if (sourceLabels.hasPageLabels()) {
            expected = text(sourceLabels.getLabelForPage(from[o].sourceIndex));
        } else {
            expected = "/D" + std::to_string(from[o].sourceIndex + 1); // its own page number
        }
        EXPECT_EQ(text(labels.getLabelForPage(static_cast<long long>(o))), expected)
            << "output page " << o + 1;
    }
    // Independent of the library: the reader's view of R-intro's roman front matter.
    const ToolRun info = runTool("pdfinfo", {"-f", "3", "-l", "3", path});
    EXPECT_EQ(info.exitCode, 0);
}

TEST_F(SpliceNavigationTest, TheSameFormTwiceGivesTwoIndependentForms) {
    const QString path = out("forms.pdf");
    ASSERT_TRUE(
        merge(path, {piece("pdflatex-forms.pdf", 1, 1), piece("pdflatex-forms.pdf", 1, 1)}));
    expectCleanCheck(path);
    {
        std::unique_ptr<QPDF> written = load(path);
        QPDFAcroFormDocumentHelper forms(*written);
        std::vector<QPDFFormFieldObjectHelper> fields = forms.getFormFields();
        std::set<std::string> names;
        std::map<int, int> perPage;
        for (QPDFFormFieldObjectHelper& field : fields) {
            EXPECT_TRUE(names.insert(field.getFullyQualifiedName()).second)
                << field.getFullyQualifiedName();
        }
        const std::vector<QPDFObjectHandle> pages = written->getAllPages();
        for (std::size_t p = 0; p < pages.size(); ++p) {
            for (QPDFAnnotationObjectHelper& widget :
                 forms.getWidgetAnnotationsForPage(QPDFPageObjectHelper(pages[p]))) {
                ++perPage[static_cast<int>(p)];
                (void)widget;
            }
        }
        ASSERT_EQ(perPage.size(), 2u);
        EXPECT_EQ(perPage[0], perPage[1]);
        // Fill every text field of the first copy, then read the second copy back.
        for (QPDFAnnotationObjectHelper& widget :
             forms.getWidgetAnnotationsForPage(QPDFPageObjectHelper(pages[0]))) {
            QPDFFormFieldObjectHelper field = forms.getFieldForAnnotation(widget);
            if (field.isText()) {
                field.setV("filled", false);
            }
        }
        save(*written, out("filled.pdf"));
    }
    std::unique_ptr<QPDF> filled = load(out("filled.pdf"));
    QPDFAcroFormDocumentHelper forms(*filled);
    const std::vector<QPDFObjectHandle> pages = filled->getAllPages();
    int firstFilled = 0;
    for (int p = 0; p < 2; ++p) {
        for (QPDFAnnotationObjectHelper& widget : forms.getWidgetAnnotationsForPage(
                 QPDFPageObjectHelper(pages[static_cast<std::size_t>(p)]))) {
            QPDFFormFieldObjectHelper field = forms.getFieldForAnnotation(widget);
            if (!field.isText()) {
                continue;
            }
            if (p == 0) {
                firstFilled += field.getValueAsString() == "filled" ? 1 : 0;
            } else {
                EXPECT_NE(field.getValueAsString(), "filled") << field.getFullyQualifiedName();
            }
        }
    }
    EXPECT_GT(firstFilled, 0);
}

qint64 sizeOf(const QString& path) {
    return QFileInfo(path).size();
}

TEST_F(SpliceNavigationTest, AFileAddedTwiceIsStoredAlmostOnce) {
    for (const char* name : {"R-intro.pdf", "pdflatex-forms.pdf", "refcard-nf.pdf"}) {
        SCOPED_TRACE(name);
        const int pages = static_cast<int>(readPages(pdfPath(name)).size());
        const QString once = out("once.pdf");
        const QString twice = out("twice.pdf");
        ASSERT_TRUE(merge(once, {piece(name, 1, pages)}));
        ASSERT_TRUE(merge(twice, {piece(name, 1, pages), piece(name, 1, pages)}));
        expectCleanCheck(twice);
        // The second copy adds its pages, annotations, fields and outline, not its fonts, images
        // and page contents again.
        EXPECT_LT(sizeOf(twice), sizeOf(once) * 13 / 10) << sizeOf(once) << " " << sizeOf(twice);
        const std::vector<PageLook> looks = readPages(twice);
        const std::vector<PageLook> single = readPages(pdfPath(name));
        ASSERT_EQ(looks.size(), single.size() * 2);
        for (std::size_t p = 0; p < looks.size(); ++p) {
            EXPECT_EQ(looks[p], single[p % single.size()]) << "page " << p + 1;
        }
    }
}

// Two equal small dictionaries in a large input are not worth a walk over all its objects, so they
// may stay apart; every reference to them must still lead to a dictionary, and a second copy of the
// file must still be stored almost once.
TEST_F(SpliceNavigationTest, EqualObjectsLeftApartInAnInputStayWhole) {
    const QString twins = out("twins.pdf");
    {
        std::unique_ptr<QPDF> pdf = load(pdfPath("R-intro.pdf"));
        std::vector<QPDFObjectHandle> pages = pdf->getAllPages();
        for (std::size_t i : {std::size_t{0}, std::size_t{1}}) {
            QPDFObjectHandle state = pdf->makeIndirectObject(
                QPDFObjectHandle::parse("<< /Type /ExtGState /CA 0.5 /ca 0.5 >>"));
            QPDFObjectHandle resources = pages[i].getKey("/Resources");
            ASSERT_TRUE(resources.isDictionary());
            resources.replaceKey("/ExtGState",
                                 QPDFObjectHandle::newDictionary({{"/GSTwin", state}}));
        }
        save(*pdf, twins);
    }
    const int pages = static_cast<int>(readPages(twins).size());
    const QString once = out("once.pdf");
    const QString twice = out("twice.pdf");
    ASSERT_TRUE(merge(once, {{twins, 1, pages}}));
    ASSERT_TRUE(merge(twice, {{twins, 1, pages}, {twins, 1, pages}}));
    expectCleanCheck(twice);
    EXPECT_LT(sizeOf(twice), sizeOf(once) * 13 / 10) << sizeOf(once) << " " << sizeOf(twice);
    std::unique_ptr<QPDF> written = load(twice);
    std::vector<QPDFObjectHandle> outputPages = written->getAllPages();
    ASSERT_EQ(outputPages.size(), static_cast<std::size_t>(2 * pages));
    for (std::size_t i : {std::size_t{0}, std::size_t{1}}) {
        for (std::size_t copy : {i, i + static_cast<std::size_t>(pages)}) {
            QPDFObjectHandle state =
                outputPages[copy].getKey("/Resources").getKey("/ExtGState").getKey("/GSTwin");
            EXPECT_TRUE(state.isDictionary() && state.getKey("/CA").isNumber())
                << "page " << copy + 1;
        }
    }
}

// Damaged navigation in an input costs at most the navigation, never the merge.
TEST_F(SpliceNavigationTest, LoopingOutlinesAndBrokenDestinationsAreSurvived) {
    const QString broken = out("broken.pdf");
    {
        std::unique_ptr<QPDF> pdf = load(pdfPath("c-linearized.pdf"));
        QPDFObjectHandle outlines = pdf->getRoot().getKey("/Outlines");
        QPDFObjectHandle first = outlines.getKey("/First");
        QPDFObjectHandle last = outlines.getKey("/Last");
        ASSERT_TRUE(first.isDictionary() && last.isDictionary());
        last.replaceKey("/Next", first);   // a loop among siblings
        first.replaceKey("/First", first); // an item that holds itself
        first.replaceKey("/Dest", QPDFObjectHandle::newString("no such name"));
        last.replaceKey("/Dest", QPDFObjectHandle::parse("[ 999 /Fit ]"));
        save(*pdf, broken);
    }
    const QString path = out("survived.pdf");
    ASSERT_TRUE(merge(path, {{broken, 1, 30}, piece("R-intro.pdf", 1, 3)}))
        << xpdfSpliceLastError();
    expectCleanCheck(path);
    std::unique_ptr<QPDF> written = load(path);
    QPDFOutlineDocumentHelper outline(*written);
    ASSERT_EQ(outline.getTopLevelOutlines().size(), 2u);
    std::vector<QPDFOutlineObjectHelper> items;
    collect(outline.getTopLevelOutlines()[0], items);
    for (QPDFOutlineObjectHelper& item : items) {
        QPDFObjectHandle dest = targetOf(item.getObjectHandle());
        if (!dest.isNull()) {
            EXPECT_GE(destinationPage(*written, dest), 0) << item.getTitle();
        }
    }
}

// A name tree that loops back on itself, lists a node twice and holds an entry whose key is no
// string: every name is carried once, and the file is written.
TEST_F(SpliceNavigationTest, HostileNameTreesAreWalkedOnce) {
    const QString hostile = out("names.pdf");
    std::size_t names = 0;
    {
        std::unique_ptr<QPDF> pdf = load(pdfPath("R-intro.pdf"));
        QPDFObjectHandle tree = pdf->getRoot().getKey("/Names").getKey("/Dests");
        ASSERT_TRUE(tree.isIndirect() && tree.getKey("/Kids").isArray());
        for (auto entry : QPDFNameTreeObjectHelper(tree, *pdf)) {
            static_cast<void>(entry);
            ++names;
        }
        QPDFObjectHandle kids = tree.getKey("/Kids");
        QPDFObjectHandle first = kids.getArrayItem(0);
        kids.appendItem(first); // listed twice
        QPDFObjectHandle loop = QPDFObjectHandle::newDictionary();
        loop.replaceKey("/Kids", QPDFObjectHandle::newArray({tree}));
        QPDFObjectHandle dest = QPDFObjectHandle::newArray(
            {pdf->getAllPages().front(), QPDFObjectHandle::newName("/Fit")});
        loop.replaceKey("/Names",
                        QPDFObjectHandle::newArray({QPDFObjectHandle::newInteger(7), dest}));
        kids.appendItem(pdf->makeIndirectObject(loop)); // leads back to the top
        save(*pdf, hostile);
    }
    ASSERT_GT(names, 100u);
    const QString path = out("names-merged.pdf");
    ASSERT_TRUE(merge(path, {{hostile, 1, 113}, piece("c-linearized.pdf", 1, 1)}))
        << xpdfSpliceLastError();
    expectCleanCheck(path);
    std::unique_ptr<QPDF> written = load(path);
    std::size_t carried = 0;
    for (auto entry :
         QPDFNameTreeObjectHelper(written->getRoot().getKey("/Names").getKey("/Dests"), *written)) {
        EXPECT_GE(destinationPage(*written, entry.second), 0) << entry.first;
        ++carried;
    }
    EXPECT_EQ(carried, names);
}

// Outline items that lead to no page of their file are kept for what they are: a heading stays a
// heading (its children still lead to their pages), actions that mean the same in the merged file
// go with it, and scripts or program launches are dropped from an item that stays as a heading.
TEST_F(SpliceNavigationTest, OutlineItemsWithoutPageTargetsAreKept) {
    const QString made = out("every-kind.pdf");
    {
        std::unique_ptr<QPDF> pdf = load(pdfPath("c-linearized.pdf"));
        const std::vector<QPDFObjectHandle> pages = pdf->getAllPages();
        const auto fit = [&](std::size_t index) {
            QPDFObjectHandle dest = QPDFObjectHandle::newArray();
            dest.appendItem(pages[index]);
            dest.appendItem(QPDFObjectHandle::newName("/Fit"));
            return dest;
        };
        QPDFObjectHandle root =
            pdf->makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Outlines >>"));
        std::vector<QPDFObjectHandle> items;
        const auto item = [&](const char* title, const char* body) {
            QPDFObjectHandle node = pdf->makeIndirectObject(QPDFObjectHandle::parse(body));
            node.replaceKey("/Title", QPDFObjectHandle::newString(title));
            return node;
        };
        QPDFObjectHandle heading = item("Heading", "<< /Count 99999999 >>");
        QPDFObjectHandle childA = item("Child on 2", "<< >>");
        childA.replaceKey("/Dest", fit(1));
        QPDFObjectHandle childB = item("Child on 3", "<< >>");
        childB.replaceKey("/A", QPDFObjectHandle::parse("<< /S /GoTo >>"));
        childB.getKey("/A").replaceKey("/D", fit(2));
        heading.replaceKey("/First", childA);
        heading.replaceKey("/Last", childB);
        childA.replaceKey("/Next", childB); // no /Parent on the children
        items.push_back(heading);
        items.push_back(item("Web", "<< /A << /S /URI /URI (https://example.org/) >> >>"));
        items.push_back(item("Null", "<< /Dest null >>"));
        items.push_back(item("Other file", "<< /A << /S /GoToR /F (other.pdf) /D [0 /Fit] >> >>"));
        items.push_back(item("Launch", "<< /A << /S /Launch /F (run.sh) >> >>"));
        items.push_back(item("Named", "<< /A << /S /Named /N /NextPage >> >>"));
        items.push_back(item("Script", "<< /A << /S /JavaScript /JS (app.alert(1)) >> >>"));
        QPDFObjectHandle onFive = item("On 5", "<< >>");
        onFive.replaceKey("/A", QPDFObjectHandle::parse("<< /S /GoTo >>"));
        onFive.getKey("/A").replaceKey("/D", fit(4));
        items.push_back(onFive);
        for (std::size_t i = 0; i < items.size(); ++i) {
            items[i].replaceKey("/Parent", root);
            if (i + 1 < items.size()) {
                items[i].replaceKey("/Next", items[i + 1]);
                items[i + 1].replaceKey("/Prev", items[i]);
            }
        }
        root.replaceKey("/First", items.front());
        root.replaceKey("/Last", items.back());
        root.replaceKey("/Count", QPDFObjectHandle::newInteger(-5)); // a count that lies
        pdf->getRoot().replaceKey("/Outlines", root);
        save(*pdf, made);
    }
    ASSERT_EQ(runTool("qpdf", {"--check", made}).exitCode, 0);

    const QString path = out("kinds-merged.pdf");
    ASSERT_TRUE(merge(path, {{made, 1, 30}, piece("R-intro.pdf", 1, 2)})) << xpdfSpliceLastError();
    expectCleanCheck(path);
    std::unique_ptr<QPDF> written = load(path);
    QPDFOutlineDocumentHelper outline(*written);
    ASSERT_EQ(outline.getTopLevelOutlines().size(), 2u);
    std::vector<QPDFOutlineObjectHelper> kids = outline.getTopLevelOutlines()[0].getKids();
    std::vector<std::string> titles;
    for (QPDFOutlineObjectHelper& kid : kids) {
        titles.push_back(kid.getTitle());
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"Heading", "Web", "Null", "Other file", "Launch",
                                                "Named", "Script", "On 5"}));
    ASSERT_EQ(kids.size(), 8u);
    const auto action = [&](std::size_t i) { return kids[i].getObjectHandle().getKey("/A"); };
    const auto isHeading = [&](std::size_t i) {
        QPDFObjectHandle node = kids[i].getObjectHandle();
        return !node.hasKey("/Dest") && !node.hasKey("/A");
    };
    EXPECT_TRUE(isHeading(0));
    std::vector<QPDFOutlineObjectHelper> children = kids[0].getKids();
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(destinationPage(*written, targetOf(children[0].getObjectHandle())), 1);
    EXPECT_EQ(destinationPage(*written, targetOf(children[1].getObjectHandle())), 2);
    EXPECT_EQ(action(1).getKey("/URI").getStringValue(), "https://example.org/");
    EXPECT_TRUE(isHeading(2));
    EXPECT_TRUE(action(3).getKey("/S").isNameAndEquals("/GoToR"));
    EXPECT_EQ(action(3).getKey("/F").getStringValue(), "other.pdf");
    EXPECT_TRUE(isHeading(4));
    EXPECT_TRUE(action(5).getKey("/N").isNameAndEquals("/NextPage"));
    EXPECT_TRUE(isHeading(6));
    EXPECT_EQ(destinationPage(*written, targetOf(kids[7].getObjectHandle())), 4);
}

// Links whose target cannot be read (a destination nested beyond any sense) cost the reading of
// that input's links, not the file: every link of its pages that still leads somewhere leads to
// a page of the output.
TEST_F(SpliceNavigationTest, LinksOfAnInputWhoseLinksCannotBeReadLeadIntoTheOutput) {
    const QString hostile = out("deep.pdf");
    {
        std::unique_ptr<QPDF> pdf = load(pdfPath("R-intro.pdf"));
        std::vector<QPDFObjectHandle> pages = pdf->getAllPages();
        QPDFObjectHandle deep = QPDFObjectHandle::newArray();
        for (int i = 0; i < 100; ++i) {
            QPDFObjectHandle outer = QPDFObjectHandle::newArray();
            outer.appendItem(deep);
            deep = outer;
        }
        const auto link = [&](QPDFObjectHandle dest) {
            QPDFObjectHandle annot =
                QPDFObjectHandle::parse("<< /Type /Annot /Subtype /Link "
                                        "/Rect [0 0 10 10] /Border [0 0 0] >>");
            annot.replaceKey("/Dest", dest);
            return pdf->makeIndirectObject(annot);
        };
        QPDFObjectHandle deepDest = QPDFObjectHandle::newArray();
        deepDest.appendItem(pages[1]);
        deepDest.appendItem(deep);
        QPDFObjectHandle away = QPDFObjectHandle::newArray();
        away.appendItem(pages[40]);
        away.appendItem(QPDFObjectHandle::newName("/Fit"));
        QPDFObjectHandle annots = QPDFObjectHandle::newArray();
        annots.appendItem(link(deepDest));
        annots.appendItem(link(away));
        pages[0].replaceKey("/Annots", annots);
        save(*pdf, hostile);
    }
    const QString path = out("kept.pdf");
    ASSERT_TRUE(merge(path, {{hostile, 1, 12}, piece("c-linearized.pdf", 1, 2)}))
        << xpdfSpliceLastError();
    expectCleanCheck(path);
    std::unique_ptr<QPDF> written = load(path);
    for (QPDFObjectHandle page : written->getAllPages()) {
        QPDFObjectHandle annots = page.getKey("/Annots");
        for (int n = 0; annots.isArray() && n < annots.getArrayNItems(); ++n) {
            QPDFObjectHandle target = targetOf(annots.getArrayItem(n));
            if (target.isArray()) {
                EXPECT_GE(destinationPage(*written, target), 0) << "link " << n;
            }
        }
    }
}

// Merges the pieces as Save Merged and the command line do (inputs opened for copying), with the
// outlines, links, names and labels of every input read from a second opening of its file, or
// from the opening that gives the pages; returns the written bytes, without the file's /ID, which
// differs from one write to the next. Empty when the merge failed.
QByteArray mergeReadingAside(const QString& output, const std::vector<Piece>& pieces,
                             const char* password, bool aside, bool outlines = true) {
    xpdfSpliceSetAsideReading(aside ? 1 : 0);
    XpdfSpliceOutput out = xpdfSpliceOpenOutputW(wide(output).c_str(), 1.6);
    bool ok = out && xpdfSpliceSetOutlines(out, outlines);
    for (const Piece& p : pieces) {
        const std::u16string path = wide(p.path);
        SpliceInput input(xpdfSpliceOpenInputForCopyW(path.c_str(), password, {{p.first, p.last}}));
        ok = ok && input && xpdfSpliceAddPages(input.get(), p.first, p.last, out);
    }
    ok = out && xpdfSpliceCloseOutput(out) && ok;
    xpdfSpliceSetAsideReading(500);
    QFile file(output);
    if (!ok || !file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QByteArray bytes = file.readAll();
    const qsizetype id = bytes.lastIndexOf("/ID [<");
    if (id >= 0) {
        bytes.remove(id, bytes.indexOf(']', id) - id + 1);
    }
    return bytes;
}

// Read aside or not, the merged file is the same: outlines, links and their names (clashing
// ones too), page labels, a protected input, links to pages left out.
TEST_F(SpliceNavigationTest, ReadingAsideGivesTheSameFile) {
    struct Case {
        const char* what;
        std::vector<Piece> pieces;
        const char* password;
        bool outlines;
    };
    const std::vector<Case> cases = {
        {"a manual twice, every name clashing",
         {piece("R-intro.pdf", 1, 12), piece("R-intro.pdf", 8, 40)},
         nullptr,
         true},
        {"labels of three files",
         {piece("R-intro.pdf", 2, 9), piece("refcard-nf.pdf", 2, 3),
          piece("c-linearized.pdf", 3, 10)},
         nullptr,
         true},
        {"a whole manual and a large file, without outlines",
         {piece("pari-users.pdf", 1, 675), piece("R-intro.pdf", 1, 113)},
         nullptr,
         false},
        {"a protected file", {piece("c-r4.pdf", 1, 30), piece("c-r4.pdf", 5, 7)}, "user2", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const long long before = xpdfSpliceReadAsideCount();
        const QByteArray aside =
            mergeReadingAside(out("aside.pdf"), c.pieces, c.password, true, c.outlines);
        EXPECT_GT(xpdfSpliceReadAsideCount(), before) << "the first input was read aside";
        const QByteArray here =
            mergeReadingAside(out("here.pdf"), c.pieces, c.password, false, c.outlines);
        ASSERT_FALSE(here.isEmpty()) << xpdfSpliceLastError();
        EXPECT_TRUE(aside == here) << "the files differ";
        expectCleanCheck(out("aside.pdf"));
    }
}

// Every file of the hostile corpus, read aside, merges as it does without: the same file, or the
// same failure.
TEST_F(SpliceNavigationTest, HostileFilesReadAsideMergeAsWithout) {
    const std::vector<HostileCase> corpus = readHostileCorpus();
    ASSERT_FALSE(corpus.empty());
    for (const HostileCase& c : corpus) {
        SCOPED_TRACE(c.name.toStdString() + ": " + c.what.toStdString());
        const int last = c.pages > 0 ? c.pages : 1;
        const std::vector<Piece> pieces = {{c.path, 1, last}, piece("R-intro.pdf", 1, 3)};
        const QByteArray aside = mergeReadingAside(out("aside.pdf"), pieces, nullptr, true);
        const QByteArray here = mergeReadingAside(out("here.pdf"), pieces, nullptr, false);
        EXPECT_TRUE(aside == here) << "the files differ";
    }
}

// What a merged file shows of its inputs, a line each, in page-number terms: every page's label,
// resources and links' targets, the outline, the named destinations and the catalog's entries.
std::vector<std::string> describe(const QString& path) {
    std::vector<std::string> lines;
    std::unique_ptr<QPDF> pdf = load(path);
    std::vector<QPDFObjectHandle> pages = pdf->getAllPages();
    const auto target = [&](QPDFObjectHandle dest) {
        return dest.isNull() ? std::string("none") : std::to_string(destinationPage(*pdf, dest));
    };
    const auto keys = [](QPDFObjectHandle dictionary) {
        std::string all;
        for (const std::string& key :
             dictionary.isDictionary() ? dictionary.getKeys() : std::set<std::string>{}) {
            all += key;
        }
        return all;
    };
    QPDFPageLabelDocumentHelper labels(*pdf);
    for (std::size_t p = 0; p < pages.size(); ++p) {
        QPDFObjectHandle resources = pages[p].getKey("/Resources");
        std::string line = "page " + std::to_string(p) + " label " +
                           labels.getLabelForPage(static_cast<long long>(p)).unparse() +
                           " resources " + keys(resources) + " fonts " +
                           keys(resources.getKey("/Font")) + " images " +
                           keys(resources.getKey("/XObject"));
        QPDFObjectHandle annots = pages[p].getKey("/Annots");
        for (int n = 0; annots.isArray() && n < annots.getArrayNItems(); ++n) {
            line += " link " + target(targetOf(annots.getArrayItem(n)));
        }
        lines.push_back(line);
    }
    std::vector<QPDFOutlineObjectHelper> items;
    for (QPDFOutlineObjectHelper& top : QPDFOutlineDocumentHelper(*pdf).getTopLevelOutlines()) {
        items.push_back(top);
        collect(top, items);
    }
    for (QPDFOutlineObjectHelper& item : items) {
        lines.push_back("outline " + item.getTitle() + " " +
                        target(targetOf(item.getObjectHandle())));
    }
    QPDFObjectHandle names = pdf->getRoot().getKey("/Names");
    if (names.isDictionary() && names.getKey("/Dests").isDictionary()) {
        for (auto entry : QPDFNameTreeObjectHelper(names.getKey("/Dests"), *pdf)) {
            lines.push_back("name " + entry.first + " " + target(entry.second));
        }
    }
    lines.push_back("catalog " + keys(pdf->getRoot()) + " trailer " + keys(pdf->getTrailer()) +
                    " version " + pdf->getPDFVersion());
    return lines;
}

// Merges the pieces with or without taking the first input's document as the output's; a piece
// of the same file as the one before it comes through the same open input.
bool mergeTaking(const QString& output, const std::vector<Piece>& pieces, bool take) {
    xpdfSpliceSetBaseAdoption(take ? 1 : 0);
    XpdfSpliceOutput out = xpdfSpliceOpenOutputW(wide(output).c_str(), 1.6);
    bool ok = out != nullptr;
    std::unique_ptr<SpliceInput> input;
    QString open;
    for (const Piece& p : pieces) {
        if (!input || p.path != open) {
            const std::u16string path = wide(p.path);
            input = std::make_unique<SpliceInput>(
                xpdfSpliceOpenInputForCopyW(path.c_str(), nullptr, {{p.first, p.last}}));
            open = p.path;
        }
        ok = ok && input->get() && xpdfSpliceAddPages(input->get(), p.first, p.last, out);
    }
    input.reset();
    ok = out && xpdfSpliceCloseOutput(out) && ok;
    xpdfSpliceSetBaseAdoption(500);
    return ok;
}

// Taking the first input's document as the output's, instead of copying its pages, gives a file
// that shows the same: pages, resources, links, outline, names, labels and catalog.
TEST_F(SpliceNavigationTest, TakingTheFirstInputsDocumentShowsTheSameAsCopyingIt) {
    struct Case {
        const char* what;
        std::vector<Piece> pieces;
    };
    const std::vector<Case> cases = {
        {"a manual, then some of its pages again through the same input",
         {piece("R-intro.pdf", 1, 113), piece("R-intro.pdf", 5, 20)}},
        {"a manual opened twice, every name clashing",
         {piece("R-intro.pdf", 1, 113), piece("refcard-nf.pdf", 1, 3),
          piece("R-intro.pdf", 1, 113)}},
        {"a large file with labels, then another", // (without the last pages: not all of it)
         {piece("pari-users.pdf", 1, 640), piece("c-linearized.pdf", 3, 10)}},
        {"a file with a form after the first",
         {piece("refcard-nf.pdf", 1, 3), piece("pdflatex-forms.pdf", 1, 1)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const long long before = xpdfSpliceAdoptionCount();
        ASSERT_TRUE(mergeTaking(out("taken.pdf"), c.pieces, true)) << xpdfSpliceLastError();
        EXPECT_EQ(xpdfSpliceAdoptionCount(), before + 1) << "the first input's document is taken";
        ASSERT_TRUE(mergeTaking(out("copied.pdf"), c.pieces, false)) << xpdfSpliceLastError();
        expectCleanCheck(out("taken.pdf"));
        EXPECT_TRUE(readPages(out("taken.pdf")) == readPages(out("copied.pdf")));
        const std::vector<std::string> taken = describe(out("taken.pdf"));
        const std::vector<std::string> copied = describe(out("copied.pdf"));
        ASSERT_EQ(taken.size(), copied.size());
        for (std::size_t i = 0; i < taken.size(); ++i) {
            EXPECT_EQ(taken[i], copied[i]);
        }
    }
}

// An input cut short after its document was taken as the output's: its stream data cannot be
// read while writing, so nothing is written, as when its pages are copied.
TEST_F(SpliceNavigationTest, AFileCutShortAfterItsDocumentWasTakenIsNotWritten) {
    const QString input = out("cut.pdf");
    const QString output = out("merged.pdf");
    ASSERT_TRUE(QFile::copy(pdfPath("R-intro.pdf"), input));
    xpdfSpliceSetBaseAdoption(1);
    const long long before = xpdfSpliceAdoptionCount();
    XpdfSpliceOutput merged = xpdfSpliceOpenOutputW(wide(output).c_str(), 1.6);
    ASSERT_NE(merged, nullptr);
    {
        SpliceInput opened(openPath(input));
        ASSERT_TRUE(xpdfSpliceAddPages(opened.get(), 1, 113, merged));
        EXPECT_EQ(xpdfSpliceAdoptionCount(), before + 1);
        ASSERT_TRUE(QFile::resize(input, 100000));
        EXPECT_FALSE(xpdfSpliceCloseOutput(merged));
    }
    xpdfSpliceSetBaseAdoption(500);
    EXPECT_FALSE(QFileInfo::exists(output));
}

// Every file of the hostile corpus merges taken as the output's document as it does copied: the
// same pages, links, outline, names and labels, or the same failure.
TEST_F(SpliceNavigationTest, HostileFilesTakenAsTheOutputMergeAsCopied) {
    const std::vector<HostileCase> corpus = readHostileCorpus();
    ASSERT_FALSE(corpus.empty());
    for (const HostileCase& c : corpus) {
        SCOPED_TRACE(c.name.toStdString() + ": " + c.what.toStdString());
        const int last = c.pages > 0 ? c.pages : 1;
        const std::vector<Piece> pieces = {{c.path, 1, last}, piece("R-intro.pdf", 1, 3)};
        const bool taken = mergeTaking(out("taken.pdf"), pieces, true);
        const bool copied = mergeTaking(out("copied.pdf"), pieces, false);
        ASSERT_EQ(taken, copied);
        if (taken) {
            EXPECT_TRUE(readPages(out("taken.pdf")) == readPages(out("copied.pdf")));
            EXPECT_TRUE(describe(out("taken.pdf")) == describe(out("copied.pdf")));
        }
    }
}

// A file whose fields carry their looks keeps them when merged with one that asks readers to
// redraw its fields: the looks are drawn for the fields that lack them, and the merged file does
// not ask readers to redraw anything.
TEST_F(SpliceNavigationTest, FormFieldsKeepTheirLooks) {
    const QString drawn = out("drawn.pdf");
    {
        std::unique_ptr<QPDF> pdf = load(pdfPath("pdflatex-forms.pdf"));
        QPDFAcroFormDocumentHelper forms(*pdf);
        for (QPDFFormFieldObjectHelper& field : forms.getFormFields()) {
            if (field.isText()) {
                field.setV("Looks drawn here", false);
            }
        }
        forms.generateAppearancesIfNeeded();
        forms.setNeedAppearances(false);
        save(*pdf, drawn);
    }
    const QString path = out("looks.pdf");
    ASSERT_TRUE(merge(path, {{drawn, 1, 1}, piece("pdflatex-forms.pdf", 1, 1)}))
        << xpdfSpliceLastError();
    expectCleanCheck(path);
    {
        std::unique_ptr<QPDF> written = load(path);
        QPDFAcroFormDocumentHelper forms(*written);
        EXPECT_FALSE(forms.getNeedAppearances());
        for (QPDFFormFieldObjectHelper& field : forms.getFormFields()) {
            if (!field.isText()) {
                continue;
            }
            for (QPDFAnnotationObjectHelper& widget : forms.getAnnotationsForField(field)) {
                EXPECT_TRUE(widget.getAppearanceStream("/N").isStream())
                    << field.getFullyQualifiedName();
            }
        }
    }
    // A reader draws the first page exactly as it draws the file it came from.
    const auto render = [&](const QString& file, const QString& stem) {
        const ToolRun run = runTool(
            "pdftoppm", {"-r", "50", "-f", "1", "-l", "1", "-singlefile", "-png", file, out(stem)});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        QFile png(out(stem + ".png"));
        return png.open(QIODevice::ReadOnly) ? png.readAll() : QByteArray();
    };
    const QByteArray before = render(drawn, QStringLiteral("before"));
    ASSERT_FALSE(before.isEmpty());
    EXPECT_EQ(before, render(path, QStringLiteral("after")));
}

// A one-page form as office suites and form designers write it: a check box and a radio button
// whose "off" looks are two equal streams, and a text field filled with `value` (a text string as
// it stands in the file) whose look is an empty placeholder, the file asking readers to draw it.
bool writeFilledForm(const QString& path, const QByteArray& value, int textFlags) {
    const QByteArray off =
        "q 0.5 g 1 1 16 16 re f 0 G 0.8 w 1.5 1.5 15 15 re s Q % an unchecked box\n";
    const QByteArray font = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica "
                            "/Encoding /WinAnsiEncoding >>";
    return WritePdfObjects(
        path,
        {
            // 1 catalog, 2 pages, 3 page
            "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R 5 0 R 6 0 R] "
            "/NeedAppearances true /DR << /Font << /Helv 10 0 R >> >> /DA (/Helv 12 Tf 0 g) >> >>",
            "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Resources << >> "
            "/Contents 11 0 R /Annots [4 0 R 12 0 R 6 0 R] >>",
            // 4 check box, 5 radio button (its widget is 12), 6 text field
            "<< /Type /Annot /Subtype /Widget /FT /Btn /T (check) /V /Off /AS /Off "
            "/Rect [20 150 38 168] /P 3 0 R /AP << /N << /Yes 7 0 R /Off 8 0 R >> >> >>",
            "<< /FT /Btn /Ff 49152 /T (radio) /V /Off /Kids [12 0 R] >>",
            "<< /Type /Annot /Subtype /Widget /FT /Tx /T (name) /V " + value +
                " /DA (/Helv 12 Tf 0 g) /Ff " + QByteArray::number(textFlags) +
                " /Rect [20 20 200 50] /P 3 0 R /AP << /N 14 0 R >> >>",
            // 7 and 13 the "on" looks, 8 and 9 the equal "off" looks
            PdfStream("/Type /XObject /Subtype /Form /BBox [0 0 18 18]",
                      "q 0 0 1 rg 2 2 14 14 re f Q\n"),
            PdfStream("/Type /XObject /Subtype /Form /BBox [0 0 18 18]", off),
            PdfStream("/Type /XObject /Subtype /Form /BBox [0 0 18 18]", off),
            font,
            PdfStream("", "q Q\n"),
            "<< /Type /Annot /Subtype /Widget /Parent 5 0 R /AS /Off /Rect [60 150 78 168] "
            "/P 3 0 R /AP << /N << /A 13 0 R /Off 9 0 R >> >> >>",
            PdfStream("/Type /XObject /Subtype /Form /BBox [0 0 18 18]",
                      "q 1 0 0 rg 4 4 10 10 re f Q\n"),
            PdfStream("/Type /XObject /Subtype /Form /BBox [0 0 180 30] "
                      "/Resources << /Font << /Helv 10 0 R >> >>",
                      "/Tx BMC\nEMC\n"),
        });
}

// The decoded data of a widget's normal look in a given state (empty state: the only look).
std::string lookData(QPDFAnnotationObjectHelper widget, const char* state = "") {
    QPDFObjectHandle look = widget.getAppearanceStream("/N", state);
    if (!look.isStream()) {
        return {};
    }
    std::shared_ptr<Buffer> data = look.getStreamData(qpdf_dl_all);
    return {reinterpret_cast<const char*>(data->getBuffer()), data->getSize()};
}

// Forms merge in either order, with equal stored looks among their buttons, and keep every look
// and value. (The library copies a field's looks within the output, and that copy reads its data
// from the first copy when written; a first copy folded into its equal twin and freed made the
// write fail.)
TEST_F(SpliceNavigationTest, FormsWithEqualStoredLooksMergeInEitherOrder) {
    const QString form = out("form.pdf");
    ASSERT_TRUE(writeFilledForm(form, "(Hello)", 0));
    std::string offLook;
    {
        std::unique_ptr<QPDF> source = load(form);
        offLook = lookData(QPDFAnnotationObjectHelper(source->getObjectByID(4, 0)), "/Off");
        ASSERT_FALSE(offLook.empty());
    }
    const std::vector<std::vector<Piece>> orders = {
        {{form, 1, 1}, piece("boxes.pdf", 1, 2)},
        {piece("boxes.pdf", 1, 2), {form, 1, 1}},
        {{form, 1, 1}, {form, 1, 1}},
    };
    for (std::size_t i = 0; i < orders.size(); ++i) {
        SCOPED_TRACE(i);
        const QString path = out(QString("merged%1.pdf").arg(i));
        ASSERT_TRUE(merge(path, orders[i])) << xpdfSpliceLastError();
        expectCleanCheck(path);
        std::unique_ptr<QPDF> written = load(path);
        QPDFAcroFormDocumentHelper forms(*written);
        int buttons = 0;
        for (QPDFFormFieldObjectHelper& field : forms.getFormFields()) {
            if (field.getFieldType() != "/Btn") {
                EXPECT_EQ(field.getValueAsString(), "Hello");
                continue;
            }
            for (QPDFAnnotationObjectHelper& widget : forms.getAnnotationsForField(field)) {
                EXPECT_EQ(lookData(widget, "/Off"), offLook) << field.getFullyQualifiedName();
                ++buttons;
            }
        }
        EXPECT_EQ(buttons, i == 2 ? 4 : 2);
    }
}

// A filled-in field of a file that asks readers to draw its fields shows its value in the merged
// file: its look is drawn when it can be drawn as readers draw it, and otherwise readers are still
// asked to draw it.
TEST_F(SpliceNavigationTest, FilledInValuesAskedToBeDrawnStayVisible) {
    struct Case {
        const char* name;
        QByteArray value; // as it stands in the file
        int flags;
        std::string shown; // the value as a reader shows it
        bool drawn;        // whether the look is drawn here (and readers no longer asked)
    };
    const std::vector<Case> cases = {
        {"one line of text", "(Hello)", 0, "Hello", true},
        {"several lines", "(Hello)", 1 << 12, "Hello", false},
        {"text beyond ASCII", "<FEFF0047007200FC00DF0065>", 0, "Grüße", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString form = out(QString("%1.pdf").arg(c.name));
        ASSERT_TRUE(writeFilledForm(form, c.value, c.flags));
        const QString path = out(QString("%1 merged.pdf").arg(c.name));
        ASSERT_TRUE(merge(path, {piece("boxes.pdf", 1, 1), {form, 1, 1}})) << xpdfSpliceLastError();
        expectCleanCheck(path);
        std::unique_ptr<QPDF> written = load(path);
        QPDFAcroFormDocumentHelper forms(*written);
        EXPECT_EQ(forms.getNeedAppearances(), !c.drawn);
        for (QPDFFormFieldObjectHelper& field : forms.getFormFields()) {
            if (field.getFieldType() != "/Tx") {
                continue;
            }
            EXPECT_EQ(field.getValueAsString(), c.shown);
            if (c.drawn) {
                for (QPDFAnnotationObjectHelper& widget : forms.getAnnotationsForField(field)) {
                    EXPECT_NE(lookData(widget).find("(" + c.shown + ")"), std::string::npos)
                        << lookData(widget);
                }
            }
        }
        // What a reader shows of the form page: the value, drawn by the file or by the reader.
        const ToolRun text = runTool("pdftotext", {"-f", "2", "-l", "2", path, "-"});
        EXPECT_TRUE(text.out.contains(QString::fromStdString(c.shown))) << text.out.toStdString();
    }
}

// A large first input with one reference to a huge object number merges as quickly as any other
// (the output takes its document; nothing walks the object numbers below the huge one).
TEST_F(SpliceNavigationTest, AReferenceToAHugeObjectNumberCostsNothing) {
    for (const char* number : {"10000000", "2147483647"}) {
        SCOPED_TRACE(number);
        const QString large = out(QString("huge-%1.pdf").arg(number));
        ASSERT_TRUE(WriteSyntheticPdf(large, 600, 0, QByteArray("/Dangling ") + number + " 0 R"));
        const QString path = out(QString("merged-%1.pdf").arg(number));
        ASSERT_TRUE(merge(path, {{large, 1, 600}, piece("boxes.pdf", 1, 2)}))
            << xpdfSpliceLastError();
        expectCleanCheck(path);
        EXPECT_EQ(load(path)->getAllPages().size(), 602u);
    }
}

} // namespace
} // namespace plyfold::test
