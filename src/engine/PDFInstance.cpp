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
    : manager_(manager != nullptr ? manager : &PDFInstanceManager::Global()) {
    quiet = true;
}

PDFInstance::~PDFInstance() {
    // The engine viewer goes with the PDFViewWrapper part; the cached images here.
    QzLock lock(pageLock_);
    pageBitmaps_.clear();
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
        QzLock lock(pageLock_);
        pageCount_ = pages;
        pageBitmaps_.clear();
    }
    {
        QzLock lock(aspectLock_);
        aspects_.assign(std::size_t(pages), 0.0);
    }
    return true;
}

QImage* PDFInstance::PageSlotLocked(int ratioKey, int page) {
    if (page < 1 || page > pageCount_) {
        return nullptr;
    }
    std::vector<QImage>& images = pageBitmaps_[ratioKey];
    if (images.empty()) {
        images.resize(std::size_t(pageCount_));
    }
    return &images[std::size_t(page) - 1];
}

QImage PDFInstance::GetPage(int page, bool render, qreal ratio) {
    const int key = DeviceRatioKey(ratio);
    {
        QzLock lock(pageLock_);
        const QImage* cached = PageSlotLocked(key, page);
        if (cached == nullptr) {
            return QImage();
        }
        if (!cached->isNull()) {
            return *cached;
        }
    }
    if (!render) {
        manager_->RequestPage(this, page, key);
        return QImage();
    }
    QImage rendered = RenderPage(page, ThumbnailDpiFor(key));
    if (rendered.isNull()) {
        return QImage();
    }
    rendered.setDevicePixelRatio(key / 100.0);
    QzLock lock(pageLock_);
    QImage& slot = *PageSlotLocked(key, page);
    if (slot.isNull()) {
        slot = std::move(rendered);
    }
    return slot;
}

double PDFInstance::GetPageAspect(int page) {
    {
        QzLock lock(aspectLock_);
        if (page < 1 || std::size_t(page) > aspects_.size()) {
            return 0.0;
        }
        const double cached = aspects_[std::size_t(page) - 1];
        if (cached != 0.0) {
            return cached;
        }
    }
    const int rotation = pdfGetPageRotation(viewer, page);
    double aspect = MediaAspect(page);
    if (aspect != 0.0 && (rotation == 90 || rotation == 270)) {
        aspect = 1.0 / aspect;
    }
    QzLock lock(aspectLock_);
    aspects_[std::size_t(page) - 1] = aspect;
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
        left.swap(requests_);
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
    const auto found = registry_.find(key);
    if (found == registry_.end()) {
        return nullptr;
    }
    ++found->second->refCount_;
    return found->second;
}

void PDFInstanceManager::Register(const QString& path, PDFInstance* instance) {
    if (instance == nullptr) {
        return;
    }
    const QString key = PathKey(path);
    QzLock lock(this);
    registry_[key] = instance;
    ++instance->refCount_;
}

void PDFInstanceManager::Release(PDFInstance* instance) {
    if (instance == nullptr) {
        return;
    }
    Lock(kInfinite);
    if (--instance->refCount_ > 0) {
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
        if (instance->refCount_ > 0) {
            // Looked up again meanwhile: it stays.
            Unlock();
            return;
        }
    }
    for (auto entry = registry_.begin(); entry != registry_.end(); ++entry) {
        if (entry->second == instance) {
            registry_.erase(entry);
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
    for (const PDFRetrievePage* queued : requests_) {
        if (queued->instance == instance && queued->page == page && queued->ratioKey == ratioKey) {
            return;
        }
    }
    requests_.push_back(new PDFRetrievePage(instance, page, ratioKey));
}

void PDFInstanceManager::SetCallback(PDFPageCallback* callback) {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    callback_ = callback;
}

void PDFInstanceManager::SetTarget(QObject* target) {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    posting_.target = target;
    callback_ = target != nullptr ? &posting_ : nullptr;
}

void PDFInstanceManager::AnnouncePage(PDFInstance* instance, int page) {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    if (callback_ != nullptr) {
        callback_->OnPageRetrieved(instance, page);
    }
}

void PDFInstanceManager::PostingCallback::OnPageRetrieved(PDFInstance* instance, int page) {
    PostRegisteredMessage(target, QString::fromLatin1(MessageName::PageRetrieved),
                          reinterpret_cast<quintptr>(instance), quintptr(page));
}

int PDFInstanceManager::RefCount(PDFInstance* instance) {
    QzLock lock(this);
    return instance != nullptr ? instance->refCount_ : 0;
}

std::size_t PDFInstanceManager::QueuedRequests() {
    QzLock lock(this);
    return requests_.size();
}

WorkItem* PDFInstanceManager::PopNext() {
    if (WorkItem* other = WorkThread::PopNext()) {
        return other;
    }
    if (requests_.empty()) {
        return nullptr;
    }
    PDFRetrievePage* next = requests_.front();
    requests_.pop_front();
    return next;
}

void PDFInstanceManager::DiscardRequestsLocked(PDFInstance* instance) {
    auto kept = std::stable_partition(
        requests_.begin(), requests_.end(),
        [instance](const PDFRetrievePage* request) { return request->instance != instance; });
    for (auto it = kept; it != requests_.end(); ++it) {
        delete *it;
    }
    requests_.erase(kept, requests_.end());
}

} // namespace plyfold
