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
        explicit Item(std::shared_ptr<Parking> parking) : m_parking(std::move(parking)) {}
        void Run() override {
            std::unique_lock<std::mutex> lock(m_parking->m_mutex);
            m_parking->m_parked = true;
            m_parking->m_changed.notify_all();
            m_parking->m_changed.wait(lock, [this] { return m_parking->m_released; });
            m_parking->m_parked = false;
        }
        void Cancel() override { m_parking->release(); }

    private:
        std::shared_ptr<Parking> m_parking;
    };

    void arm() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released = false;
    }
    void release() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }
    void waitUntilParked() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_parked; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_parked = false;
    bool m_released = false;
};

class PageServiceRenderer : public PageRenderer, public PDFInstanceManager::PDFPageCallback {
public:
    explicit PageServiceRenderer(bool keepBusy) : m_keepBusy(keepBusy) {
        m_manager.SetCallback(this);
        m_manager.Start();
        if (m_keepBusy) {
            park();
            m_parking->waitUntilParked();
        }
    }
    ~PageServiceRenderer() override {
        close();
        m_parking->release();
        m_manager.SetCallback(nullptr);
    }

    bool open(const std::string& path) override {
        close();
        const QString file = QString::fromStdString(path);
        auto* instance = new PDFInstance(&m_manager);
        if (!instance->Open(file, 205)) {
            delete instance;
            return false;
        }
        m_manager.Register(file, instance);
        m_instance = instance;
        m_completedAtOpen = m_manager.completedCount();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pages = m_instance->PageCount();
        m_announced.assign(std::size_t(m_pages) + 1, false);
        return true;
    }
    int pageCount() override { return m_pages; }

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
            for (int p = 1; p <= m_pages; ++p) {
                m_instance->GetPage(p, false);
            }
            if (m_keepBusy) {
                m_parking->release();
            }
        }
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!m_changed.wait_for(lock, std::chrono::seconds(60),
                                    [&] { return m_announced[std::size_t(page)]; })) {
                return false;
            }
        }
        return !m_instance->GetPage(page, false).isNull();
    }

    void close() override {
        if (m_instance != nullptr) {
            // The last page is announced from inside its work item: let the worker finish that
            // item first, so that the release finds no render of this document running (it would
            // poll for it in steps of 250 ms).
            const std::uint32_t expected =
                m_completedAtOpen + std::uint32_t(m_pages) + (m_keepBusy ? 1 : 0);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (m_manager.completedCount() < expected &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::yield();
            }
            m_manager.Release(m_instance);
            m_instance = nullptr;
        }
        m_pages = 0;
    }

    // Worker thread.
    void OnPageRetrieved(PDFInstance* instance, int page) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (instance != m_instance || page < 1 || page > m_pages) {
                return;
            }
        }
        if (page == m_pages && m_keepBusy) {
            // Straight from the last render into the parking item: the worker never idles. Armed
            // before the page is announced, so the next run's release cannot come first.
            park();
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_announced[std::size_t(page)] = true;
        }
        m_changed.notify_all();
    }

private:
    void park() {
        m_parking->arm();
        m_manager.AddItem(std::make_unique<Parking::Item>(m_parking));
    }

    const bool m_keepBusy;
    std::shared_ptr<Parking> m_parking = std::make_shared<Parking>();
    PDFInstanceManager m_manager;
    PDFInstance* m_instance = nullptr;
    int m_pages = 0;
    std::uint32_t m_completedAtOpen = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<bool> m_announced;
};

RendererRegistration pageService{
    {"page service", 20, [] { return std::make_unique<PageServiceRenderer>(true); }}};
RendererRegistration pageServiceIdle{
    {"page service idle", 30, [] { return std::make_unique<PageServiceRenderer>(false); }}};

} // namespace

} // namespace plyfold::bench
