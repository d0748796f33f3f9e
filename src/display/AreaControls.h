#pragma once

// The registry of the child controls of an area view's boxes.
//
// Every control a box makes is registered under the lowest free id (100 + index), with the box as
// its owner. The registry routes the control's user actions to the owner box: clicks of a button
// or check box to OnControlClicked, user edits of an edit box to OnEditChanged and its loss of
// focus to OnEditFocusLost. A control without a tooltip of its own shows the one its owner gives
// (GetControlToolText). The view owns the registry; its RegisterControl, ReleaseControl,
// ControlOwner, ControlWindow and ControlId are the boxes' way to it.

#include <QObject>
#include <QString>

#include <vector>

class QPoint;
class QWidget;

namespace plyfold {

class BaseDisplayBox;
class CBaseAreaView;

class AreaControls : public QObject {
    Q_OBJECT
public:
    static constexpr int kFirstControlId = 100;

    explicit AreaControls(CBaseAreaView* view);

    // Records `box` as the owner of a new id and `control` (may be null: the id is only
    // reserved) as its window, and connects the control's actions to the owner.
    int Register(BaseDisplayBox* box, QWidget* control);
    // Destroys the control window and frees its id when it belongs to the registry; a control
    // not in the registry is destroyed all the same. Null does nothing. A control whose own
    // action is being handled is hidden and deleted once that handling has returned.
    void Release(QWidget* control);
    // Releases what is left registered to `box` (the box itself is gone: its address is only
    // compared) and drops the free entries at the end.
    void ReleaseAllOf(const BaseDisplayBox* box);

    // The owner box / window of an id; null for a free or unknown id.
    BaseDisplayBox* Owner(int id) const;
    QWidget* Window(int id) const;
    // The id of a control window; 0 when it has none.
    int IdOf(const QWidget* control) const;
    // Number of entries (free entries included) and of live controls.
    int size() const { return static_cast<int>(m_entries.size()); }
    int LiveCount() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry {
        BaseDisplayBox* owner = nullptr;
        QWidget* control = nullptr;
    };
    // The owner box's handler of one kind of control action.
    using Handler = void (BaseDisplayBox::*)(int controlId);

    // Calls `handler` of the owner of `id`, if it has one.
    void Dispatch(int id, Handler handler);
    void ShowToolTip(QWidget* control, const QPoint& globalPos);

    CBaseAreaView* m_view;
    std::vector<Entry> m_entries;
    QWidget* m_dispatching = nullptr; // the control whose action is being handled
    QString m_toolText;
};

} // namespace plyfold
