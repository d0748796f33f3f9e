#pragma once

// Shared pieces of the display tests: a document list on a private page service whose worker is
// never started (so nothing renders unless a test runs the queue itself), a notification sink that
// forwards to the work area as the main frame and main view do, and a generator of large PDFs.

#include "display/CWorkAreaView.h"
#include "display/WorkAreaDoc.h"
#include "engine/CDoc.h"
#include "engine/DocumentList.h"
#include "engine/PDFInstance.h"
#include "engine/ProcessGlobals.h"
#include "res/Resources.h"
#include "res/Strings.h"
#include "support/TestData.h"

#include <QApplication>
#include <QFile>
#include <QString>

#include <memory>
#include <vector>

namespace plyfold::test {

// Records every notification and passes it on to the view, as the main frame and view do.
class ForwardingSink : public EventNotify {
public:
    void Notify(NotifyCode code, NotifyData data) override {
        codes.push_back(code);
        for (EventNotify* target : targets) {
            target->Notify(code, data);
        }
    }
    std::vector<EventNotify*> targets;
    std::vector<NotifyCode> codes;
};

// Records finished pages; the test hands them to the list on the user-interface thread.
class PageRecorder : public PDFInstanceManager::PDFPageCallback {
public:
    void OnPageRetrieved(PDFInstance* instance, int page) override {
        pages.emplace_back(instance, page);
    }
    std::vector<std::pair<PDFInstance*, int>> pages;
};

// Loads the strings and pictures the boxes draw with, once.
inline void InitDisplayGlobals() {
    static const bool done = [] {
        loadingText = LoadResString(ids::IDS_LOADING);
        buttonImages[0] = LoadResImage(ResKind::Png, ids::IDP_REMOVE);
        buttonImages[1] = LoadResImage(ResKind::Png, ids::IDP_EXPAND);
        buttonImages[2] = LoadResImage(ResKind::Png, ids::IDP_COLLAPSE);
        return true;
    }();
    (void)done;
}

// Renders every page queued on `manager` on this thread and announces each to `list` as the main
// frame would; returns the number of pages rendered.
inline int RunPageQueue(PDFInstanceManager& manager, PageRecorder& recorder, DocumentList& list) {
    int n = 0;
    while (manager.ProcessOne()) {
        ++n;
    }
    const auto done = recorder.pages;
    recorder.pages.clear();
    for (const auto& [instance, page] : done) {
        list.OnPageRetrieved(instance, page);
    }
    return n;
}

// A work area over a real document list on an unstarted page service.
struct WorkAreaRig {
    explicit WorkAreaRig(int width = 500, int height = 600) {
        InitDisplayGlobals();
        thumbnailSize = 100;
        manager.SetCallback(&recorder);
        list = std::make_unique<DocumentList>(&sink, &manager);
        view = std::make_unique<CWorkAreaView>(list.get());
        sink.targets.push_back(view.get());
        view->resize(width, height);
        view->show(); // a hidden widget gets its resize event only when shown
    }
    ~WorkAreaRig() {
        list->ClearDocuments();
        sink.targets.clear();
        view.reset();
        list.reset();
        manager.SetCallback(nullptr);
        manager.DiscardQueue();
    }

    CDoc* Add(const QString& fileName) { return list->AddDocument(pdfPath(fileName)); }
    WorkAreaDoc* Box(std::size_t i) const { return view->BoxAt(i); }

    // Renders every queued page on this thread and announces it as the main frame would.
    int RunQueue() { return RunPageQueue(manager, recorder, *list); }

    PDFInstanceManager manager;
    PageRecorder recorder;
    ForwardingSink sink;
    std::unique_ptr<DocumentList> list;
    std::unique_ptr<CWorkAreaView> view;
};

} // namespace plyfold::test
