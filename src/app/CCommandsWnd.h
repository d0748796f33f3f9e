#pragma once

// The command bar across the top of the main view: Add File, Add Folder, Clear All and Save Merged
// with their pictures and two-part tooltips, and the thumbnail-size slider between a small and a
// large page picture. As the bar narrows, Save Merged, then the left buttons, then the slider group
// are hidden; widening the bar brings them back.

#include "app/CBaseCommandsWnd.h"
#include "work/EventNotify.h"

#include <array>

class QSlider;

namespace plyfold {

class CPictureStatic;

class CCommandsWnd : public CBaseCommandsWnd, public EventNotify {
    Q_OBJECT
public:
    explicit CCommandsWnd(QWidget* parent = nullptr);
    ~CCommandsWnd() override;

    // The bar reads nothing from the model: it ignores every notification.
    void Notify(NotifyCode code, NotifyData data) override;

    static constexpr int kSaveColumnWidth = 220; // Save Merged is centred over the output column
    static constexpr int kGap = 3;               // between neighbouring controls
    static constexpr QSize kSliderSize{100, 24};

    // The four command buttons in bar order: Add File, Add Folder, Clear All, Save Merged.
    CCommandButton* addFileButton() const { return m_buttons[0]; }
    CCommandButton* addFolderButton() const { return m_buttons[1]; }
    CCommandButton* clearAllButton() const { return m_buttons[2]; }
    CCommandButton* saveMergedButton() const { return m_buttons[3]; }
    const std::array<CCommandButton*, 4>& commandButtons() const { return m_buttons; }

    // The thumbnail-size slider (8..16, "PageSize" units) and the pictures left (small page) and
    // right (large page) of it.
    QSlider* zoomSlider() const { return m_slider; }
    CPictureStatic* smallPicture() const { return m_smallPicture; }
    CPictureStatic* largePicture() const { return m_largePicture; }

protected:
    void LayoutBar(int cx, int cy) override;

private:
    // The slider settled on `position` (thumb released, or a step by click, key or page): the
    // thumbnail size becomes position x 10 and the top-level window hears ThumbSizeChanged, unless
    // the size is unchanged.
    void OnZoomPosition(int position);

    std::array<CCommandButton*, 4> m_buttons{};
    QSlider* m_slider = nullptr;
    CPictureStatic* m_largePicture = nullptr; // right of the slider
    CPictureStatic* m_smallPicture = nullptr; // left of the slider
};

} // namespace plyfold
