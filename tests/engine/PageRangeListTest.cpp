#include "engine/PageRangeList.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <set>
#include <sstream>
#include <vector>

namespace plyfold {
// Lets failing expectations print ranges readably.
void PrintTo(const PageRange& r, std::ostream* out) {
    *out << "[" << r.first << "," << r.end << ")";
}
} // namespace plyfold

using namespace plyfold;

namespace {

using Ranges = std::vector<PageRange>;

std::string show(const Ranges& ranges) {
    std::ostringstream out;
    out << "{";
    for (const PageRange& r : ranges) {
        out << "[" << r.first << "," << r.end << ")";
    }
    out << "}";
    return out.str();
}

// Builds a list from ranges that are already sorted, disjoint and apart, checking that the
// constructor kept them as given.
PageRangeList listOf(const Ranges& ranges) {
    PageRangeList list;
    for (const PageRange& r : ranges) {
        list.Insert(r);
    }
    EXPECT_EQ(list.Ranges(), ranges) << "setup " << show(ranges);
    return list;
}

void expectInvariants(const PageRangeList& list, const std::string& context) {
    const Ranges& r = list.Ranges();
    for (size_t k = 0; k < r.size(); ++k) {
        EXPECT_LT(r[k].first, r[k].end) << context << " empty range at " << k;
        if (k > 0) {
            EXPECT_LT(r[k - 1].end, r[k].first) << context << " ranges touch at " << k;
        }
    }
}

TEST(PageRangeList, InsertMergesOverlappingAndTouchingRanges) {
    struct Case {
        Ranges before;
        PageRange inserted;
        Ranges after;
    };
    const Case cases[] = {
        {{}, {4, 5}, {{4, 5}}},
        // The documented examples: filling a gap, touching on the right, leaving a gap.
        {{{1, 3}, {4, 6}}, {3, 4}, {{1, 6}}},
        {{{1, 6}}, {6, 7}, {{1, 7}}},
        {{{1, 7}}, {9, 10}, {{1, 7}, {9, 10}}},
        // Before everything, apart and touching on the left.
        {{{5, 8}}, {1, 3}, {{1, 3}, {5, 8}}},
        {{{5, 8}}, {2, 5}, {{2, 8}}},
        // Between two ranges, apart from both, touching the right-hand one only.
        {{{1, 3}, {9, 12}}, {5, 7}, {{1, 3}, {5, 7}, {9, 12}}},
        {{{1, 3}, {9, 12}}, {5, 9}, {{1, 3}, {5, 12}}},
        // Inside an existing range: nothing changes.
        {{{1, 10}}, {3, 5}, {{1, 10}}},
        {{{1, 10}}, {1, 10}, {{1, 10}}},
        // Overlapping the start of a range and the end of another.
        {{{5, 8}}, {3, 6}, {{3, 8}}},
        {{{5, 8}}, {7, 12}, {{5, 12}}},
        // Swallowing several ranges, ending inside, touching or beyond the last one.
        {{{1, 2}, {4, 5}, {7, 8}, {10, 12}}, {2, 11}, {{1, 12}}},
        {{{1, 2}, {4, 5}, {7, 8}, {10, 12}}, {3, 10}, {{1, 2}, {3, 12}}},
        {{{1, 2}, {4, 5}, {7, 8}, {20, 22}}, {3, 15}, {{1, 2}, {3, 15}, {20, 22}}},
        {{{1, 2}, {4, 5}, {7, 8}}, {0, 100}, {{0, 100}}},
        // Empty and reversed ranges are not pages: the list stays as it was.
        {{}, {4, 4}, {}},
        {{{1, 3}, {4, 6}}, {3, 3}, {{1, 3}, {4, 6}}},
        {{{1, 3}, {8, 9}}, {6, 4}, {{1, 3}, {8, 9}}},
        // Extreme page numbers do not overflow.
        {{{1, 2}}, {INT_MAX - 1, INT_MAX}, {{1, 2}, {INT_MAX - 1, INT_MAX}}},
        {{{INT_MIN, 0}}, {0, INT_MAX}, {{INT_MIN, INT_MAX}}},
    };
    for (const Case& c : cases) {
        PageRangeList list = listOf(c.before);
        list.Insert(c.inserted);
        const std::string context = show(c.before) + " + " + show({c.inserted});
        EXPECT_EQ(list.Ranges(), c.after) << context << " gave " << show(list.Ranges());
        expectInvariants(list, context);
    }
}

TEST(PageRangeList, SubtractRemovesPagesAndLeavesTheOriginal) {
    struct Case {
        Ranges before;
        PageRange removed;
        Ranges after;
    };
    const Case cases[] = {
        {{{1, 7}}, {4, 5}, {{1, 4}, {5, 7}}},
        {{{1, 7}}, {1, 2}, {{2, 7}}},
        {{{1, 7}}, {6, 7}, {{1, 6}}},
        {{{1, 7}}, {1, 7}, {}},
        {{{1, 7}}, {0, 50}, {}},
        // A page that is not chosen leaves an equal list.
        {{{1, 3}, {5, 7}}, {4, 5}, {{1, 3}, {5, 7}}},
        {{{1, 3}, {5, 7}}, {9, 10}, {{1, 3}, {5, 7}}},
        {{}, {1, 2}, {}},
        // Across several ranges: the ends are cut, the middle ones vanish.
        {{{1, 3}, {5, 7}, {9, 12}, {14, 15}}, {2, 10}, {{1, 2}, {10, 12}, {14, 15}}},
        {{{1, 3}, {5, 7}, {9, 12}}, {5, 12}, {{1, 3}}},
        // Empty and reversed ranges remove nothing (and split nothing into touching pieces).
        {{{1, 7}}, {4, 4}, {{1, 7}}},
        {{{1, 7}}, {5, 3}, {{1, 7}}},
    };
    for (const Case& c : cases) {
        const PageRangeList list = listOf(c.before);
        const PageRangeList result = list.Subtract(c.removed);
        const std::string context = show(c.before) + " - " + show({c.removed});
        EXPECT_EQ(result.Ranges(), c.after) << context << " gave " << show(result.Ranges());
        EXPECT_EQ(list.Ranges(), c.before) << context << " changed the original";
        expectInvariants(result, context);
    }
}

TEST(PageRangeList, ContainsAndEquals) {
    const PageRangeList list = listOf({{1, 4}, {5, 6}, {8, 10}});
    const std::set<int> chosen = {1, 2, 3, 5, 8, 9};
    for (int page = -1; page <= 11; ++page) {
        EXPECT_EQ(list.Contains(page), chosen.count(page) == 1) << "page " << page;
    }
    EXPECT_FALSE(PageRangeList().Contains(1));

    PageRangeList same = list;
    EXPECT_TRUE(same.Equals(list));
    same.Insert({9, 10}); // already there
    EXPECT_TRUE(same.Equals(list));
    same.Insert({6, 7});
    EXPECT_FALSE(same.Equals(list));
    EXPECT_FALSE(listOf({{1, 4}}).Equals(listOf({{1, 4}, {6, 7}})));
    EXPECT_FALSE(listOf({{1, 4}}).Equals(listOf({{1, 5}})));
    EXPECT_TRUE(PageRangeList().Equals(PageRangeList()));

    // Copies are independent.
    PageRangeList copy = list;
    copy.Insert({4, 5});
    EXPECT_EQ(copy.Ranges(), (Ranges{{1, 6}, {8, 10}}));
    EXPECT_EQ(list.Ranges(), (Ranges{{1, 4}, {5, 6}, {8, 10}}));
    EXPECT_EQ(list.PageCount(), 6);
}

TEST(PageRangeList, FormatWritesSinglePagesAndInclusiveRanges) {
    struct Case {
        Ranges ranges;
        QString text;
    };
    const Case cases[] = {
        {{}, ""},
        {{{1, 4}, {5, 6}, {8, 10}}, "1-3, 5, 8-9"},
        {{{7, 8}}, "7"},
        {{{7, 9}}, "7-8"},
        {{{0, 1}}, "0"},
        {{{1, 2}, {3, 4}, {5, 6}}, "1, 3, 5"},
        {{{2147483646, 2147483647}}, "2147483646"},
        {{{1, 2147483647}}, "1-2147483646"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(listOf(c.ranges).Format(), c.text) << show(c.ranges);
    }
}

TEST(PageRangeList, ParseReadsTheRangeText) {
    struct Case {
        QString text;
        bool ok;
        Ranges ranges; // what the list holds afterwards
    };
    const Case cases[] = {
        {"1-3, 5, 8-9", true, {{1, 4}, {5, 6}, {8, 10}}},
        {"1-3,5,8-9", true, {{1, 4}, {5, 6}, {8, 10}}},
        {"7", true, {{7, 8}}},
        // Reversed and one-page ranges.
        {"5-3", true, {{3, 6}}},
        {"4-4", true, {{4, 5}}},
        // Items in any order, overlapping or touching, are merged.
        {"9, 1-3, 2-5, 6", true, {{1, 7}, {9, 10}}},
        {"3,3,3", true, {{3, 4}}},
        // Spaces anywhere are ignored, even inside a number.
        {" 1 - 3 ,5 ", true, {{1, 4}, {5, 6}}},
        {"1 2", true, {{12, 13}}},
        {"0", true, {{0, 1}}},
        {"007", true, {{7, 8}}},
        {"000000000000000000000000000012", true, {{12, 13}}},
        // The largest page whose range end still fits.
        {"2147483646", true, {{2147483646, 2147483647}}},
        {"1-2147483646", true, {{1, 2147483647}}},
        // Malformed texts.
        {"", false, {}},
        {"   ", false, {}},
        {",", false, {}},
        {",5", false, {}},
        {"-2", false, {}},
        {"1-", false, {}},
        {"1,,2", false, {{1, 2}}},
        {"4,,5", false, {{4, 5}}},
        {"1,", false, {{1, 2}}},
        {"1-2-3", false, {{1, 3}}},
        {"1--3", false, {}},
        {"1;3", false, {}},
        {"1.5", false, {}},
        {"a", false, {}},
        {"1\t2", false, {}},
        {"+3", false, {}},
        {QString::fromUtf8("\u0663"), false, {}}, // a digit, but not an ASCII one
        // Numbers too large for a page, including ones that would overflow 32 or 64 bits.
        {"2147483647", false, {}},
        {"4294967297", false, {}},
        {"99999999999999999999999999", false, {}},
        {"1-2147483647", false, {}},
        {"1, 3-99999999999999999999", false, {{1, 2}}},
    };
    for (const Case& c : cases) {
        PageRangeList list = listOf({{40, 50}}); // Parse must start from an empty list
        EXPECT_EQ(list.Parse(c.text), c.ok) << "\"" << c.text.toStdString() << "\"";
        EXPECT_EQ(list.Ranges(), c.ranges)
            << "\"" << c.text.toStdString() << "\" gave " << show(list.Ranges());
        expectInvariants(list, c.text.toStdString());
    }
}

TEST(PageRangeList, FormatThenParseGivesTheSameList) {
    const Ranges samples[] = {
        {{1, 2}},
        {{1, 4}, {5, 6}, {8, 10}},
        {{2, 3}, {4, 5}, {100, 250}, {1000, 1001}},
    };
    for (const Ranges& ranges : samples) {
        const PageRangeList list = listOf(ranges);
        PageRangeList parsed;
        ASSERT_TRUE(parsed.Parse(list.Format())) << list.Format().toStdString();
        EXPECT_TRUE(parsed.Equals(list)) << list.Format().toStdString();
    }
}

TEST(PageRangeList, IsValidForChecksThePageCount) {
    struct Case {
        QString text;
        int pageCount;
        bool valid;
    };
    const Case cases[] = {
        {"1-5", 5, true},
        {"5", 5, true},
        {"5-1", 5, true},
        {"1, 3 - 4", 5, true},
        {"2-9", 5, false},
        {"1-30", 29, false},
        {"6", 5, false},
        {"0", 5, false},
        {"0-3", 5, false},
        {"1", 0, false},
        {"", 5, false},
        {"1,,2", 5, false},
        {"1-", 5, false},
        {"2147483646", INT_MAX, true},
        {"2147483646", 2147483645, false},
        {"99999999999", INT_MAX, false},
    };
    for (const Case& c : cases) {
        PageRangeList list;
        EXPECT_EQ(list.IsValidFor(c.text, c.pageCount), c.valid)
            << "\"" << c.text.toStdString() << "\" for " << c.pageCount << " pages";
    }

    // A valid text leaves the parsed pages in the list, ready to be applied.
    PageRangeList list;
    ASSERT_TRUE(list.IsValidFor("3, 1", 3));
    EXPECT_EQ(list.Ranges(), (Ranges{{1, 2}, {3, 4}}));
}

// Random Insert and Subtract on a small page universe, compared with a plain set of pages.
TEST(PageRangeList, AgreesWithASetOfPagesUnderRandomEdits) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> pageOf(1, 40);
    std::uniform_int_distribution<int> lengthOf(0, 6);
    std::bernoulli_distribution inserting(0.6);
    PageRangeList list;
    std::set<int> pages;
    for (int step = 0; step < 3000; ++step) {
        const int a = pageOf(random);
        const PageRange r{a, a + lengthOf(random)};
        if (inserting(random)) {
            list.Insert(r);
            for (int p = r.first; p < r.end; ++p) {
                pages.insert(p);
            }
        } else {
            list = list.Subtract(r);
            for (int p = r.first; p < r.end; ++p) {
                pages.erase(p);
            }
        }
        const std::string context = "step " + std::to_string(step) + " " + show(list.Ranges());
        expectInvariants(list, context);
        for (int p = 0; p <= 48; ++p) {
            ASSERT_EQ(list.Contains(p), pages.count(p) == 1) << context << " page " << p;
        }
        ASSERT_EQ(list.PageCount(), static_cast<std::int64_t>(pages.size())) << context;
        if (step % 50 == 0 && !list.IsEmpty()) {
            PageRangeList reparsed;
            ASSERT_TRUE(reparsed.Parse(list.Format())) << context;
            ASSERT_TRUE(reparsed.Equals(list)) << context;
        }
    }
}

} // namespace
