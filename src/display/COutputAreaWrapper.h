#pragma once

// The output column of the main window: a title band "Output File: %d Pages" across the top and
// the output area's view (COutputAreaView) below it. The main view passes every notification to
// Notify, which hands it to the view and then repaints the band (the count follows every change).
// Window background RGB(245, 245, 245). User-interface thread only.

#include "work/EventNotify.h"

#include <QWidget>

#include <functional>

namespace plyfold {

class CDoc;
class COutputAreaView;
class DocumentList;

class COutputAreaWrapper : public QWidget, public EventNotify {
    Q_OBJECT
public:
    static constexpr int kViewId = 10;     // child id of the view ("childId" property)
    static constexpr int kBandHeight = 37; // the view starts below the band
    static constexpr QRgb kBackground = 0xFFF5F5F5;
    static constexpr QRgb kBand = 0xFFDCDCDC;

    // Creates the view for `documents` (which must outlive the wrapper).
    explicit COutputAreaWrapper(DocumentList* documents, QWidget* parent = nullptr);
    ~COutputAreaWrapper() override;

    COutputAreaView* view() const { return m_view; }

    // Where the view sends application commands (Add File on a click while the list is empty).
    void SetCommandSink(std::function<void(int commandId)> sink);

    // Passes the notification to the view, then repaints the whole wrapper.
    void Notify(NotifyCode code, NotifyData data) override;

    // Offers a command to the view first, then to the wrapper's own handling (none); false when
    // nobody took it.
    bool OnCommand(int commandId);

    // Pages of the output: the chosen pages of every included document (while a removal is
    // announced, the leaving document's pages are not counted).
    int OutputPageCount() const;
    // "Output File: %d Pages" with OutputPageCount().
    QString TitleText() const;
    // The band's rectangle: (3, 3) to (width - 3, 34).
    QRect BandRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateAccessibleName();

    DocumentList* m_documents;
    COutputAreaView* m_view = nullptr;
    const CDoc* m_leaving = nullptr; // the document being removed while its removal is announced
};

} // namespace plyfold
