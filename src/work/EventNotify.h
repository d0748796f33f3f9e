#pragma once

// The one-operation notification interface through which every change of the document list or of
// a document reaches the windows. The windows never poll the model; they redraw on these codes.

#include <cstdint>

namespace plyfold {

class CDoc;

// Notification codes and what the datum of each carries.
enum class NotifyCode : std::uint32_t {
    DocAdded = 1,           // the new CDoc, after it was appended to the list
    DocRemoved = 2,         // the CDoc, sent while it is still valid, before it is destroyed
    DocIncludedChanged = 3, // the CDoc whose included flag flipped
    DocRangesChanged = 4,   // the CDoc whose chosen pages really changed
    ThumbSizeChanged = 5,   // none (null)
    AppDeactivated = 6,     // none (null)
    DocOrderChanged = 7,    // none (null)
    PageRetrieved = 8,      // a PageRetrievedInfo*
};

// Datum of NotifyCode::PageRetrieved: one document showing the page whose image is now cached.
struct PageRetrievedInfo {
    CDoc* doc = nullptr;
    int page = 0; // 1-based
};

class EventNotify {
public:
    virtual ~EventNotify() = default;
    // Receives one notification; implementations ignore the codes they do not need. The datum is
    // borrowed for the duration of the call.
    virtual void Notify(NotifyCode code, void* data) = 0;
};

} // namespace plyfold
