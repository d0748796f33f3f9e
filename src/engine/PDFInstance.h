#pragma once

// The page service: every open document of the program (PDFInstance), shared by the documents of
// the list that name the same file, and the single worker thread (PDFInstanceManager) that renders
// page thumbnails off the user-interface thread and announces each finished page.
//
// Threads and locks. The manager's own lock (from WorkThread) guards its request queue, the item
// being run, the registry and every reference count. Each instance has one lock for its image cache
// and one for its aspect cache. Locks are held only for a lookup or a store, never over a render or
// an engine query, so painting (PageCount, GetPageAspect, GetPage with render false) never waits
// for a render that is running on the worker.

#include "engine/PDFViewWrapper.h"
#include "engine/PathUtil.h"
#include "work/QzLock.h"
#include "work/WorkThread.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <deque>
#include <map>
#include <mutex>
#include <vector>

namespace plyfold {

class PDFInstanceManager;

// Resolution of every page thumbnail, dots per inch (one fifth of 72), in logical pixels. For a
// screen of device pixel ratio r a thumbnail is rendered at kThumbnailDpi x r and carries r as its
// device pixel ratio, so it shows the same size, at the screen's own sharpness.
inline constexpr double kThumbnailDpi = 14.4;

// The resolution of the thumbnails kept under a ratio key (res/Resources.h DeviceRatioKey).
double ThumbnailDpiFor(int ratioKey);

class PDFInstance : public PDFViewWrapper {
public:
    // An instance served by `manager`; null means the process-wide service (PDFInstanceManager::
    // Global). The manager must outlive the instance.
    explicit PDFInstance(PDFInstanceManager* manager = nullptr);
    ~PDFInstance() override;

    // Creates the engine viewer and loads the file; a document that needs a password asks for it
    // once, titled from promptId (205 for every caller) with the file name, over the window in
    // front. Sizes the caches to the page count. User-interface thread.
    virtual bool Open(const QString& path, int promptId);

    // The image of a page (1-based) for screens of device pixel ratio `ratio`, or a null image.
    // Images are kept per ratio (DeviceRatioKey), each rendered at ThumbnailDpiFor its key with
    // that ratio set. With render false it never waits for a render: on a miss it queues a
    // request with the manager. With render true it renders in the calling thread on a miss; when
    // two threads render one page at once, the image stored first stays. Pages outside
    // 1..PageCount give a null image and queue nothing.
    QImage GetPage(int page, bool render, qreal ratio = 1.0);

    // Displayed width-to-height ratio of a page: the media box's, inverted for a page rotated by 90
    // or 270 degrees; 1.0 for a box without height, 0.0 for a box without width or a page outside
    // 1..PageCount. Cached per page.
    double GetPageAspect(int page);

    PDFInstanceManager* manager() const { return m_manager; }

private:
    friend class PDFInstanceManager;

    PDFInstanceManager* m_manager;
    int m_refCount = 0; // guarded by the manager's lock

    // The cached images of one ratio key, made on first use; null for a page outside the document.
    // Caller holds m_pageLock.
    QImage* PageSlotLocked(int ratioKey, int page);

    QzLockable m_pageLock;
    int m_pageCount = 0; // set once by Open
    // Per ratio key: index page - 1, a null image until rendered.
    std::map<int, std::vector<QImage>> m_pageBitmaps;

    QzLockable m_aspectLock;
    std::vector<double> m_aspects; // index page - 1; 0.0 until computed
};

// Renders one page of one instance on the manager's worker, then announces it.
class PDFRetrievePage : public WorkItem {
public:
    PDFRetrievePage(PDFInstance* instance, int page, int ratioKey = 100)
        : instance(instance), page(page), ratioKey(ratioKey) {}

    // Renders the page unless it is cached, then announces the page through the manager's
    // callback, whether or not the render succeeded. A render cannot be broken off.
    void Run() override;

    PDFInstance* const instance; // not owned
    const int page;              // 1-based
    const int ratioKey;          // the device pixel ratio it is rendered for (DeviceRatioKey)
};

class PDFInstanceManager : public WorkThread {
public:
    // Receives every finished page, on the worker thread.
    class PDFPageCallback {
    public:
        virtual ~PDFPageCallback() = default;
        virtual void OnPageRetrieved(PDFInstance* instance, int page) = 0;
    };

    // A manager whose worker (not yet started: call Start) polls its queue every 250 ms when idle.
    PDFInstanceManager();
    // Stops the worker, then discards the requests still queued. Instances still registered are
    // not destroyed (their holders release them first).
    ~PDFInstanceManager() override;

    // The process-wide service, created and started on first use, stopped at process exit.
    static PDFInstanceManager& Global();

    // Whether this platform's file names ignore letter case (then "A.pdf" and "a.pdf" are one
    // file).
    static constexpr bool kCaseInsensitivePaths = plyfold::kCaseInsensitivePaths;
    // The ASCII letters A to Z lowered, every other character as it is.
    static QString LowerAsciiLetters(const QString& path) {
        return plyfold::LowerAsciiLetters(path);
    }
    // The registry key of a path: LowerAsciiLetters where file names ignore letter case, the path
    // as it is elsewhere, so that two different files never share one instance.
    static QString PathKey(const QString& path) { return plyfold::PathKey(path); }

    // The instance registered under the path, with one more reference; null when none.
    PDFInstance* Lookup(const QString& path);
    // Enters an opened instance under the path (replacing any entry with that key) and adds one
    // reference. The manager then owns it: the last Release destroys it.
    void Register(const QString& path, PDFInstance* instance);
    // Drops one reference. At zero: the instance's queued requests are discarded, a render of it
    // that is running is waited for (until it ends), its registry entry is erased and it is
    // destroyed. User-interface thread (it may wait for the worker, never the other way round).
    void Release(PDFInstance* instance);

    // Queues a render of the page for the ratio key (DeviceRatioKey) unless an equal request is
    // waiting (the one being run is not compared). The idle worker finds it within 250 ms.
    void RequestPage(PDFInstance* instance, int page, int ratioKey = 100);

    // Where finished pages are announced; null announces nothing. Once this returns, the previous
    // callback is no longer called.
    void SetCallback(PDFPageCallback* callback);
    // Announces finished pages by posting the registered message "Plyfold::PageRetrieved"
    // (wParam = the instance, lParam = the page) to `target`, replacing any callback; null stops
    // the announcements. Clear it before the target is destroyed.
    void SetTarget(QObject* target);

    // Called by PDFRetrievePage on the worker: passes the page to the callback.
    void AnnouncePage(PDFInstance* instance, int page);

    // Reference count of an instance (diagnostics and tests).
    int RefCount(PDFInstance* instance);
    // Number of requests waiting in the queue (diagnostics and tests).
    std::size_t QueuedRequests();

protected:
    // Other work items queued with AddItem run first; then page requests, first in, first out.
    WorkItem* PopNext() override;

private:
    class PostingCallback : public PDFPageCallback {
    public:
        void OnPageRetrieved(PDFInstance* instance, int page) override;
        QObject* target = nullptr;
    };

    // Removes and destroys the queued requests of an instance. Caller holds the lock.
    void DiscardRequestsLocked(PDFInstance* instance);

    // Guarded by the manager's lock.
    std::map<QString, PDFInstance*> m_registry;
    std::deque<PDFRetrievePage*> m_requests;

    // Guards m_callback and held while it is called, so that SetCallback can retire a callback.
    std::mutex m_callbackMutex;
    PDFPageCallback* m_callback = nullptr;
    PostingCallback m_posting;
};

} // namespace plyfold
