// The page service as a renderer of the render benchmark: each document is opened as a
// PDFInstance and registered, every page is requested as painting requests it, and a page counts
// as done when the service announces it (rendered on the worker, turned into an image, cached).
//
// Two series:
// - "page service": the worker is kept busy between runs (parked on a waiting item that the next
//   run releases), so the figure is the service's steady-state cost per page: queue, render,
//   image conversion, cache and announcement.
// - "page service idle": the worker is idle when the pages are requested, so the figure also holds
//   the worker's idle poll (up to 250 ms once per run) before the first page.

#include "RenderBench.h"

#include "engine/PDFInstance.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace plyfold::bench {

namespace {

// Keeps the worker inside one item until released (or cancelled when the service stops).
class Parking {
public:
    class Item : public WorkItem {
    public:
        explicit Item(std::shared_ptr<Parking> parking) : parking_(std::move(parking)) {}
        void Run() override {
            std::unique_lock<std::mutex> lock(parking_->mutex_);
            parking_->parked_ = true;
            parking_->changed_.notify_all();
            parking_->changed_.wait(lock, [this] { return parking_->released_; });
            parking_->parked_ = false;
        }
        void Cancel() override { parking_->release(); }

    private:
        std::shared_ptr<Parking> parking_;
    };

    void arm() {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = false;
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    void waitUntilParked() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return parked_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool parked_ = false;
    bool released_ = false;
};

class PageServiceRenderer : public PageRenderer, public PDFInstanceManager::PDFPageCallback {
public:
    explicit PageServiceRenderer(bool keepBusy) : keepBusy_(keepBusy) {
        manager_.SetCallback(this);
        manager_.Start();
        if (keepBusy_) {
            park();
            parking_->waitUntilParked();
        }
    }
    ~PageServiceRenderer() override {
        close();
        parking_->release();
        manager_.SetCallback(nullptr);
    }

    bool open(const std::string& path) override {
        close();
        const QString file = QString::fromStdString(path);
        auto* instance = new PDFInstance(&manager_);
        if (!instance->Open(file, 205)) {
            delete instance;
            return false;
        }
        manager_.Register(file, instance);
        instance_ = instance;
        completedAtOpen_ = manager_.completedCount();
        std::lock_guard<std::mutex> lock(mutex_);
        pages_ = instance_->PageCount();
        announced_.assign(std::size_t(pages_) + 1, false);
        return true;
    }
    int pageCount() override { return pages_; }

    bool renderPage(int page, double dpi) override {
        if (dpi != kThumbnailDpi) {
            static bool told = false;
            if (!told) {
                std::printf("page service renders at %.1f dpi only: skipped\n", kThumbnailDpi);
                told = true;
            }
            return false;
        }
        if (page == 1) {
            // Painting asks for every page at once; the worker takes them in order.
            for (int p = 1; p <= pages_; ++p) {
                instance_->GetPage(p, false);
            }
            if (keepBusy_) {
                parking_->release();
            }
        }
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!changed_.wait_for(lock, std::chrono::seconds(60),
                                   [&] { return announced_[std::size_t(page)]; })) {
                return false;
            }
        }
        return !instance_->GetPage(page, false).isNull();
    }

    void close() override {
        if (instance_ != nullptr) {
            // The last page is announced from inside its work item: let the worker finish that
            // item first, so that the release finds no render of this document running (it would
            // poll for it in steps of 250 ms).
            const std::uint32_t expected =
                completedAtOpen_ + std::uint32_t(pages_) + (keepBusy_ ? 1 : 0);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (manager_.completedCount() < expected &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::yield();
            }
            manager_.Release(instance_);
            instance_ = nullptr;
        }
        pages_ = 0;
    }

    // Worker thread.
    void OnPageRetrieved(PDFInstance* instance, int page) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (instance != instance_ || page < 1 || page > pages_) {
                return;
            }
        }
        if (page == pages_ && keepBusy_) {
            // Straight from the last render into the parking item: the worker never idles. Armed
            // before the page is announced, so the next run's release cannot come first.
            park();
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            announced_[std::size_t(page)] = true;
        }
        changed_.notify_all();
    }

private:
    void park() {
        parking_->arm();
        manager_.AddItem(std::make_unique<Parking::Item>(parking_));
    }

    const bool keepBusy_;
    std::shared_ptr<Parking> parking_ = std::make_shared<Parking>();
    PDFInstanceManager manager_;
    PDFInstance* instance_ = nullptr;
    int pages_ = 0;
    std::uint32_t completedAtOpen_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<bool> announced_;
};

RendererRegistration pageService{
    {"page service", 20, [] { return std::make_unique<PageServiceRenderer>(true); }}};
RendererRegistration pageServiceIdle{
    {"page service idle", 30, [] { return std::make_unique<PageServiceRenderer>(false); }}};

} // namespace

} // namespace plyfold::bench
