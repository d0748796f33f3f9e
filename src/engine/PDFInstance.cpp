#include "engine/PDFInstance.h"

#include "platform/viewer/XpdfViewer.h"
#include "res/Resources.h"
#include "work/RegisteredMessage.h"

#include <algorithm>
#include <thread>

namespace plyfold {

double ThumbnailDpiFor(int ratioKey) {
    return kThumbnailDpi * ratioKey / 100.0;
}

// ---- PDFInstance ------------------------------------------------------------------------------

PDFInstance::PDFInstance(PDFInstanceManager* manager)
    : m_manager(manager != nullptr ? manager : &PDFInstanceManager::Global()) {
    quiet = true;
}

PDFInstance::~PDFInstance() {
    // The engine viewer goes with the PDFViewWrapper part; the cached images here.
    QzLock lock(m_pageLock);
    m_pageBitmaps.clear();
}

bool PDFInstance::Open(const QString& path, int promptId) {
    if (!CreateViewer()) {
        return false;
    }
    if (!LoadDocument(path, nullptr, nullptr, promptId)) {
        return false;
    }
    const int pages = std::max(0, PageCount());
    {
        QzLock lock(m_pageLock);
        m_pageCount = pages;
        m_pageBitmaps.clear();
    }
    {
        QzLock lock(m_aspectLock);
        m_aspects.assign(std::size_t(pages), 0.0);
    }
    return true;
}

QImage* PDFInstance::PageSlotLocked(int ratioKey, int page) {
    if (page < 1 || page > m_pageCount) {
        return nullptr;
    }
    std::vector<QImage>& images = m_pageBitmaps[ratioKey];
    if (images.empty()) {
        images.resize(std::size_t(m_pageCount));
    }
    return &images[std::size_t(page) - 1];
}

QImage PDFInstance::GetPage(int page, bool render, qreal ratio) {
    const int key = DeviceRatioKey(ratio);
    {
        QzLock lock(m_pageLock);
        const QImage* cached = PageSlotLocked(key, page);
        if (cached == nullptr) {
            return QImage();
        }
        if (!cached->isNull()) {
            return *cached;
        }
    }
    if (!render) {
        m_manager->RequestPage(this, page, key);
        return QImage();
    }
    QImage rendered = RenderPage(page, ThumbnailDpiFor(key));
    if (rendered.isNull()) {
        return QImage();
    }
    rendered.setDevicePixelRatio(key / 100.0);
    QzLock lock(m_pageLock);
    QImage& slot = *PageSlotLocked(key, page);
    if (slot.isNull()) {
        slot = std::move(rendered);
    }
    return slot;
}

double PDFInstance::GetPageAspect(int page) {
    {
        QzLock lock(m_aspectLock);
        if (page < 1 || std::size_t(page) > m_aspects.size()) {
            return 0.0;
        }
        const double cached = m_aspects[std::size_t(page) - 1];
        if (cached != 0.0) {
            return cached;
        }
    }
    const int rotation = pdfGetPageRotation(viewer, page);
    double aspect = MediaAspect(page);
    if (aspect != 0.0 && (rotation == 90 || rotation == 270)) {
        aspect = 1.0 / aspect;
    }
    QzLock lock(m_aspectLock);
    m_aspects[std::size_t(page) - 1] = aspect;
    return aspect;
}

// ---- PDFRetrievePage --------------------------------------------------------------------------

void PDFRetrievePage::Run() {
    instance->GetPage(page, true, ratioKey / 100.0);
    instance->manager()->AnnouncePage(instance, page);
}

// ---- PDFInstanceManager -----------------------------------------------------------------------

PDFInstanceManager::PDFInstanceManager() : WorkThread(false) {}

PDFInstanceManager::~PDFInstanceManager() {
    // PopNext is overridden: stop the worker while this part of the object still exists.
    Stop(500);
    std::deque<PDFRetrievePage*> left;
    {
        QzLock lock(this);
        left.swap(m_requests);
    }
    for (PDFRetrievePage* request : left) {
        delete request;
    }
}

PDFInstanceManager& PDFInstanceManager::Global() {
    static PDFInstanceManager service;
    static const bool started = service.Start();
    (void)started;
    return service;
}

PDFInstance* PDFInstanceManager::Lookup(const QString& path) {
    const QString key = PathKey(path);
    QzLock lock(this);
    const auto found = m_registry.find(key);
    if (found == m_registry.end()) {
        return nullptr;
    }
    ++found->second->m_refCount;
    return found->second;
}

void PDFInstanceManager::Register(const QString& path, PDFInstance* instance) {
    if (instance == nullptr) {
        return;
    }
    const QString key = PathKey(path);
    QzLock lock(this);
    m_registry[key] = instance;
    ++instance->m_refCount;
}

void PDFInstanceManager::Release(PDFInstance* instance) {
    if (instance == nullptr) {
        return;
    }
    Lock(kInfinite);
    if (--instance->m_refCount > 0) {
        Unlock();
        return;
    }
    for (;;) {
        DiscardRequestsLocked(instance);
        auto* running = dynamic_cast<PDFRetrievePage*>(CurrentItem());
        if (running == nullptr || running->instance != instance) {
            break;
        }
        // A render of this instance is under way: it cannot be broken off, so wait until it has
        // ended (CancelCurrent releases the lock while it waits and returns as the render ends).
        CancelCurrent(true);
        Lock(kInfinite);
        if (instance->m_refCount > 0) {
            // Looked up again meanwhile: it stays.
            Unlock();
            return;
        }
    }
    for (auto entry = m_registry.begin(); entry != m_registry.end(); ++entry) {
        if (entry->second == instance) {
            m_registry.erase(entry);
            break;
        }
    }
    Unlock();
    // Nothing can reach the instance any more (no entry, no request, no render): destroy it
    // without holding the manager's lock, so the worker is not held up meanwhile.
    delete instance;
}

void PDFInstanceManager::RequestPage(PDFInstance* instance, int page, int ratioKey) {
    if (instance == nullptr) {
        return;
    }
    QzLock lock(this);
    for (const PDFRetrievePage* queued : m_requests) {
        if (queued->instance == instance && queued->page == page && queued->ratioKey == ratioKey) {
            return;
        }
    }
    m_requests.push_back(new PDFRetrievePage(instance, page, ratioKey));
}

void PDFInstanceManager::SetCallback(PDFPageCallback* callback) {
    std::lock_guard<std::mutex> lock(m_callbackMutex);
    m_callback = callback;
}

void PDFInstanceManager::SetTarget(QObject* target) {
    std::lock_guard<std::mutex> lock(m_callbackMutex);
    m_posting.target = target;
    m_callback = target != nullptr ? &m_posting : nullptr;
}

void PDFInstanceManager::AnnouncePage(PDFInstance* instance, int page) {
    std::lock_guard<std::mutex> lock(m_callbackMutex);
    if (m_callback != nullptr) {
        m_callback->OnPageRetrieved(instance, page);
    }
}

void PDFInstanceManager::PostingCallback::OnPageRetrieved(PDFInstance* instance, int page) {
    PostRegisteredMessage(target, QString::fromLatin1(MessageName::PageRetrieved),
                          reinterpret_cast<quintptr>(instance), quintptr(page));
}

int PDFInstanceManager::RefCount(PDFInstance* instance) {
    QzLock lock(this);
    return instance != nullptr ? instance->m_refCount : 0;
}

std::size_t PDFInstanceManager::QueuedRequests() {
    QzLock lock(this);
    return m_requests.size();
}

WorkItem* PDFInstanceManager::PopNext() {
    if (WorkItem* other = WorkThread::PopNext()) {
        return other;
    }
    if (m_requests.empty()) {
        return nullptr;
    }
    PDFRetrievePage* next = m_requests.front();
    m_requests.pop_front();
    return next;
}

void PDFInstanceManager::DiscardRequestsLocked(PDFInstance* instance) {
    auto kept = std::stable_partition(
        m_requests.begin(), m_requests.end(),
        [instance](const PDFRetrievePage* request) { return request->instance != instance; });
    for (auto it = kept; it != m_requests.end(); ++it) {
        delete *it;
    }
    m_requests.erase(kept, m_requests.end());
}

} // namespace plyfold
