#pragma once

// The render benchmark's plug-in point. Each in-process renderer is a PageRenderer registered by
// a static RendererRegistration in its own .cpp file; the runner opens every file given on the
// command line with each renderer, renders every page at the benchmark resolution, and times it.

#include <functional>
#include <memory>
#include <string>

namespace plyfold::bench {

class PageRenderer {
public:
    virtual ~PageRenderer() = default;
    // Opens a document; false when it cannot (the file is then skipped for this renderer).
    virtual bool open(const std::string& path) = 0;
    virtual int pageCount() = 0;
    // Renders one page (1-based) at dpi and discards the result; false on failure.
    virtual bool renderPage(int page, double dpi) = 0;
    // Renders pages first..last in the renderer's own way (a renderer with a queue may override
    // this to submit them all and wait); the default renders them one by one.
    virtual bool renderPages(int first, int last, double dpi) {
        for (int page = first; page <= last; ++page)
            if (!renderPage(page, dpi))
                return false;
        return true;
    }
    virtual void close() = 0;
};

struct RendererInfo {
    std::string name;
    // Sort key in the table; the renderer with the lowest order is the baseline of the ratios.
    int order = 100;
    std::function<std::unique_ptr<PageRenderer>()> make;
};

// Adds a renderer to the run: `static RendererRegistration r{{"name", order, factory}};`
struct RendererRegistration {
    explicit RendererRegistration(RendererInfo info);
};

} // namespace plyfold::bench
