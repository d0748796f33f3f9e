#pragma once

// The output area's scrolling view: what the merged file will contain, in the order it will be
// written. One section (OutputAreaDocDisplay) per document that has one, in document-list order;
// a document has a section exactly while it is included and has chosen pages.
//
// The view reacts to every notification of the document list (Notify) and never polls the model.
// It carries out "Plyfold::RemovePage" (posted by a remove button or the page menu) by taking the
// page out of the document's chosen pages; "Plyfold::RemoveDoc" is handled by CMergeAreaView.
// Window background RGB(245, 245, 245). User-interface thread only.

#include "display/CBaseAreaView.h"
#include "work/EventNotify.h"

namespace plyfold {

class OutputAreaDocDisplay;

class COutputAreaView : public CMergeAreaView, public EventNotify {
    Q_OBJECT
public:
    static constexpr QRgb kBackground = 0xFFF5F5F5;
    static constexpr QRgb kHeaderBrush = 0xFFDCDCDC; // expand buttons
    static constexpr QRgb kPageBrush = 0xFFF5F5F5;   // every other child control

    // `documents` must outlive the view.
    explicit COutputAreaView(DocumentList* documents, QWidget* parent = nullptr);
    ~COutputAreaView() override;

    // Whether `doc` has a section: it is included and has chosen pages.
    static bool HasSection(const CDoc* doc);

    // DocAdded: appends the document's section if it has one. DocRemoved: its section goes.
    // DocIncludedChanged: the section comes (in list order) or goes. DocRangesChanged: the
    // section follows the chosen pages, comes or goes. ThumbSizeChanged, PageRetrieved: every
    // section. DocOrderChanged: the sections follow the list. AppDeactivated: nothing.
    void Notify(NotifyCode code, NotifyData data) override;

    // Creates the section of `doc` and puts it right after the section of the nearest document
    // before `doc` in the list that has one (first when there is none). Returns the section.
    OutputAreaDocDisplay* InsertSection(CDoc* doc);

    OutputAreaDocDisplay* SectionOf(const CDoc* doc) const;
    OutputAreaDocDisplay* SectionAt(std::size_t index) const;
    std::size_t SectionCount() const { return m_boxes.size(); }

    // Commands offered by the wrapper; the view handles none of its own (its menus act through
    // the sections).
    bool OnCommand(int commandId);

    // Posts "Plyfold::RemovePage" for page `page` (1-based) of `doc` to `view` (a remove button
    // or the page menu asks; the button must not go while its own click is being handled).
    static void PostRemovePage(QObject* view, CDoc* doc, int page);

protected:
    int Layout(const QRect& area) override;
    std::optional<QColor> ControlBrush(QWidget* control, BaseDisplayBox* box) override;
    bool event(QEvent* event) override;
    // Carries out "Plyfold::RemovePage": the page leaves the document's chosen pages, if the
    // document is still in the list.
    virtual void OnRemovePageMessage(CDoc* doc, int page);
};

} // namespace plyfold
