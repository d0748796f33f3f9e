#include "engine/PageRangeList.h"

#include <QStringList>

#include <algorithm>

namespace plyfold {

PageRangeList::PageRangeList(std::initializer_list<PageRange> ranges) {
    for (const PageRange& range : ranges) {
        Insert(range);
    }
}

void PageRangeList::Insert(PageRange range) {
    // An empty or reversed range would break the "every range is non-empty" invariant and, placed
    // before a neighbour, the ordering one too.
    if (range.IsEmpty()) {
        return;
    }
    const int a = range.first;
    const int b = range.end;
    for (auto it = m_ranges.begin(); it != m_ranges.end(); ++it) {
        if (it->first > b) {
            m_ranges.insert(it, range);
            return;
        }
        if (it->first == b) {
            // Touches on the left. Every earlier range ends before a (else it would have merged).
            it->first = a;
            return;
        }
        if (it->end >= a) {
            // Overlaps or touches on the right: grow this range and swallow the ones it now
            // reaches.
            it->first = std::min(it->first, a);
            if (b > it->end) {
                it->end = b;
                auto next = it + 1;
                while (next != m_ranges.end() && next->first <= it->end) {
                    it->end = std::max(it->end, next->end);
                    ++next;
                }
                m_ranges.erase(it + 1, next);
            }
            return;
        }
    }
    m_ranges.push_back(range);
}

PageRangeList PageRangeList::Subtract(PageRange range) const {
    if (range.IsEmpty()) {
        // Splitting at an empty range would leave two touching pieces.
        return *this;
    }
    const int a = range.first;
    const int b = range.end;
    PageRangeList result;
    result.m_ranges.reserve(m_ranges.size() + 1);
    for (const PageRange& n : m_ranges) {
        const bool overlap = (n.first <= a && a < n.end) || (a <= n.first && n.first < b);
        if (!overlap) {
            result.m_ranges.push_back(n);
            continue;
        }
        if (n.first < a) {
            result.m_ranges.push_back({n.first, a});
        }
        if (n.end > b) {
            result.m_ranges.push_back({b, n.end});
        }
    }
    return result;
}

bool PageRangeList::Contains(int page) const {
    // The ranges are sorted: find the first range ending after the page.
    const auto it = std::upper_bound(m_ranges.begin(), m_ranges.end(), page,
                                     [](int p, const PageRange& r) { return p < r.end; });
    return it != m_ranges.end() && it->first <= page;
}

QString PageRangeList::Format() const {
    QStringList pieces;
    pieces.reserve(static_cast<qsizetype>(m_ranges.size()));
    for (const PageRange& r : m_ranges) {
        if (static_cast<std::int64_t>(r.end) - r.first < 2) {
            pieces.append(QString::number(r.first));
        } else {
            pieces.append(QStringLiteral("%1-%2").arg(r.first).arg(r.end - 1));
        }
    }
    return pieces.join(QStringLiteral(", "));
}

namespace {

bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Reads the run of digits at `pos` and moves past it. False when there is no digit there or the
// number exceeds `limit` (the digits are still consumed, so no overflow can happen).
bool takeNumber(const QString& text, qsizetype& pos, int limit, int* value) {
    const qsizetype start = pos;
    std::int64_t number = 0;
    bool tooLarge = false;
    while (pos < text.size() && isAsciiDigit(text[pos])) {
        number = number * 10 + (text[pos].unicode() - '0');
        if (number > limit) {
            tooLarge = true;
            number = limit; // keeps the product below the 64-bit limit
        }
        ++pos;
    }
    if (pos == start || tooLarge) {
        return false;
    }
    *value = static_cast<int>(number);
    return true;
}

} // namespace

bool PageRangeList::Parse(const QString& input) {
    m_ranges.clear();
    QString text = input;
    text.remove(QLatin1Char(' '));
    if (text.isEmpty()) {
        return false;
    }
    for (const QChar c : text) {
        if (!isAsciiDigit(c) && c != QLatin1Char('-') && c != QLatin1Char(',')) {
            return false;
        }
    }
    qsizetype pos = 0;
    int i = 0;
    if (!takeNumber(text, pos, kMaxPage, &i)) {
        return false;
    }
    for (;;) {
        PageRange range{i, i + 1};
        if (pos < text.size() && text[pos] == QLatin1Char('-')) {
            ++pos;
            int j = 0;
            if (!takeNumber(text, pos, kMaxPage, &j)) {
                return false;
            }
            if (j > i) {
                range = {i, j + 1};
            } else if (j < i) {
                range = {j, i + 1};
            }
        }
        Insert(range);
        if (pos == text.size()) {
            return true;
        }
        if (text[pos] == QLatin1Char(',')) {
            ++pos;
        }
        if (!takeNumber(text, pos, kMaxPage, &i)) {
            return false;
        }
    }
}

bool PageRangeList::IsValidFor(const QString& text, int pageCount) {
    if (!Parse(text)) {
        return false;
    }
    // Parse succeeded, so there is at least one range.
    return m_ranges.front().first >= 1 && static_cast<std::int64_t>(m_ranges.back().end) <=
                                              static_cast<std::int64_t>(pageCount) + 1;
}

std::int64_t PageRangeList::PageCount() const {
    std::int64_t pages = 0;
    for (const PageRange& r : m_ranges) {
        pages += static_cast<std::int64_t>(r.end) - r.first;
    }
    return pages;
}

} // namespace plyfold
