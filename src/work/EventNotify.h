#pragma once

// The one-operation notification interface through which every change of the document list or of
// a document reaches the windows. The windows never poll the model; they redraw on these codes.

#include <cstddef>
#include <cstdint>
#include <variant>

namespace plyfold {

class CDoc;

// Notification codes and what the datum (NotifyData) of each carries.
enum class NotifyCode : std::uint32_t {
    DocAdded = 1,           // the new CDoc, after it was appended to the list
    DocRemoved = 2,         // the CDoc, sent while it is still valid, before it is destroyed
    DocIncludedChanged = 3, // the CDoc whose included flag flipped
    DocRangesChanged = 4,   // the CDoc whose chosen pages really changed
    ThumbSizeChanged = 5,   // none (null)
    AppDeactivated = 6,     // none (null)
    DocOrderChanged = 7,    // none (null)
    PageRetrieved = 8,      // a PageRetrievedInfo
};

// Datum of NotifyCode::PageRetrieved: one document showing the page whose image is now cached.
struct PageRetrievedInfo {
    CDoc* doc = nullptr;
    int page = 0; // 1-based
};

// The datum of a notification: the CDoc of a document code, the PageRetrievedInfo of
// PageRetrieved, or nothing (a null pointer makes no datum). It converts implicitly from what each
// code carries, so a sender writes Notify(NotifyCode::DocAdded, doc) or Notify(code, nullptr).
class NotifyData {
public:
    NotifyData() = default;
    NotifyData(std::nullptr_t) {}
    NotifyData(CDoc* doc) {
        if (doc != nullptr) {
            m_value = doc;
        }
    }
    NotifyData(const PageRetrievedInfo* page) {
        if (page != nullptr) {
            m_value = page;
        }
    }

    bool empty() const { return std::holds_alternative<std::monostate>(m_value); }
    // The document, or null when the datum is not one.
    CDoc* doc() const {
        const auto* doc = std::get_if<CDoc*>(&m_value);
        return doc != nullptr ? *doc : nullptr;
    }
    // The retrieved page, or null when the datum is not one.
    const PageRetrievedInfo* page() const {
        const auto* page = std::get_if<const PageRetrievedInfo*>(&m_value);
        return page != nullptr ? *page : nullptr;
    }

    friend bool operator==(const NotifyData&, const NotifyData&) = default;

private:
    std::variant<std::monostate, CDoc*, const PageRetrievedInfo*> m_value;
};

class EventNotify {
public:
    virtual ~EventNotify() = default;
    // Receives one notification; implementations ignore the codes they do not need. The datum
    // (and what it points to) is borrowed for the duration of the call.
    virtual void Notify(NotifyCode code, NotifyData data) = 0;
};

} // namespace plyfold
