#pragma once

// The chosen pages of one document: a set of 1-based page numbers kept as ranges.
//
// Invariants, kept by every operation: the ranges are sorted ascending, every range is non-empty,
// and two consecutive ranges A, B neither overlap nor touch (A.end < B.first). An empty list means
// that no page is chosen. The list itself does not bound page numbers; callers keep them between 1
// and the document's page count (IsValidFor checks a parsed text against a page count).

#include <QString>

#include <cstdint>
#include <vector>

namespace plyfold {

// The pages first .. end - 1. A single page p is {p, p + 1}.
struct PageRange {
    int first = 0;
    int end = 0;

    bool IsEmpty() const { return end <= first; }
    friend bool operator==(const PageRange&, const PageRange&) = default;
};

class PageRangeList {
public:
    // The largest page number a range text may name: the range end (page + 1) must still fit.
    static constexpr int kMaxPage = 2147483646;

    PageRangeList() = default;
    // A list of the given ranges, inserted one after the other (so any order and overlaps are
    // fine; empty or reversed ranges are dropped).
    PageRangeList(std::initializer_list<PageRange> ranges);

    // Union with one range [a, b): overlapping and touching neighbours are merged into it. An empty
    // or reversed range (b <= a) changes nothing.
    void Insert(PageRange range);

    // A new list with the pages of this list that are not in `range`. An empty or reversed range
    // removes nothing.
    PageRangeList Subtract(PageRange range) const;

    // True when some range holds `page`.
    bool Contains(int page) const;

    // Same ranges in the same order.
    bool Equals(const PageRangeList& other) const { return m_ranges == other.m_ranges; }
    friend bool operator==(const PageRangeList& a, const PageRangeList& b) { return a.Equals(b); }

    // The list as the user reads and types it: "1-3, 5, 8-9" for {[1,4), [5,6), [8,10)}; a single
    // page is its number alone; pieces are joined by ", ". An empty list gives an empty text.
    QString Format() const;

    // Replaces the list by the pages of the user's text and tells whether the text was well formed.
    //
    // Spaces (U+0020) are ignored anywhere, so "1 - 3 ,5" reads as "1-3,5" (and "1 2" as "12").
    // After that the text must be a comma-separated sequence of items, each a page number "i" or a
    // range "i-j" of decimal digits; "5-3" means pages 3 to 5. Items may overlap and come in any
    // order: they are merged. Fails on an empty text, any other character, a missing number
    // (",5", "4,,5", "1-", "-2", "1,", ","), a second dash ("1-2-3"), or a number above kMaxPage.
    // "0" is well formed (IsValidFor refuses it). On failure the list keeps the items read before
    // the fault, so a caller must not use it then.
    bool Parse(const QString& text);

    // Parses `text` into this list as Parse does, and is true when that succeeds and every page
    // lies between 1 and `pageCount`.
    bool IsValidFor(const QString& text, int pageCount);

    // The ranges, ascending.
    const std::vector<PageRange>& Ranges() const { return m_ranges; }
    std::vector<PageRange>::const_iterator begin() const { return m_ranges.begin(); }
    std::vector<PageRange>::const_iterator end() const { return m_ranges.end(); }

    int Count() const { return static_cast<int>(m_ranges.size()); } // number of ranges
    bool IsEmpty() const { return m_ranges.empty(); }
    std::int64_t PageCount() const; // number of pages over all ranges
    void Clear() { m_ranges.clear(); }

private:
    std::vector<PageRange> m_ranges;
};

} // namespace plyfold
