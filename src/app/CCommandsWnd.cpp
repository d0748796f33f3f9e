#include "app/CCommandsWnd.h"

#include "controls/CPictureStatic.h"
#include "engine/ProcessGlobals.h"
#include "res/CommandIds.h"
#include "res/Resources.h"
#include "res/Strings.h"

#include <QPainter>
#include <QSlider>
#include <QStyleOptionSlider>

namespace plyfold {

namespace {

// The zoom slider's look: it draws no background of its own, so the bar's shading shows through;
// the channel is a sunken groove and the thumb a raised push button.
class ZoomSlider : public QSlider {
public:
    explicit ZoomSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
        setAttribute(Qt::WA_TranslucentBackground);
        setAutoFillBackground(false);
        setTickPosition(QSlider::NoTicks);
    }

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QStyleOptionSlider option;
        initStyleOption(&option);
        const QRect handle =
            style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);

        QPainter painter(this);
        // Channel: a thin groove across the width, the handle's half-width in from each end.
        const int inset = handle.width() / 2;
        const QRect channel(inset, height() / 2 - 2, width() - 2 * inset, 4);
        painter.fillRect(channel, QColor(30, 30, 32));
        painter.setPen(QColor(10, 10, 10));
        painter.drawLine(channel.topLeft(), channel.topRight());
        painter.drawLine(channel.topLeft(), channel.bottomLeft());
        painter.setPen(QColor(150, 150, 155));
        painter.drawLine(channel.bottomLeft(), channel.bottomRight());
        painter.drawLine(channel.topRight(), channel.bottomRight());

        // Thumb: a raised button, greyed when the slider is disabled.
        const QRect thumb(handle.left(), height() / 2 - 9, handle.width(), 18);
        const bool enabled = isEnabled();
        painter.fillRect(thumb, enabled ? QColor(224, 224, 228) : QColor(150, 150, 150));
        painter.setPen(QColor(255, 255, 255));
        painter.drawLine(thumb.topLeft(), thumb.topRight());
        painter.drawLine(thumb.topLeft(), thumb.bottomLeft());
        painter.setPen(QColor(90, 90, 95));
        painter.drawLine(thumb.bottomLeft(), thumb.bottomRight());
        painter.drawLine(thumb.topRight(), thumb.bottomRight());
        if (isSliderDown()) {
            painter.fillRect(thumb.adjusted(1, 1, -1, -1), QColor(0, 0, 0, 30));
        }
    }
};

void SetShown(CCommandButton* button, bool shown, int tipId) {
    button->setVisible(shown);
    // A hidden button offers no tooltip; it gets it back when it shows again.
    button->SetTipText(shown ? LoadResString(tipId) : QString());
}

constexpr int kButtonTips[4] = {ids::IDS_ADD_FILE_TIP, ids::IDS_ADD_FOLDER_TIP,
                                ids::IDS_CLEAR_ALL_TIP, ids::IDS_SAVE_MERGED_TIP};

} // namespace

CCommandsWnd::CCommandsWnd(QWidget* parent) : CBaseCommandsWnd(parent) {
    setObjectName(QStringLiteral("commandBar"));
    struct ButtonDef {
        int command;
        int caption;
        int picture;
        const char* name;
    };
    const ButtonDef defs[4] = {
        {ids::ID_ADD_FILE, ids::IDS_ADD_FILE, ids::IDP_ADD_FILE, "addFileButton"},
        {ids::ID_ADD_FOLDER, ids::IDS_ADD_FOLDER, ids::IDP_ADD_FOLDER, "addFolderButton"},
        {ids::ID_EDIT_CLEAR, ids::IDS_CLEAR_ALL, ids::IDP_CLEAR_ALL, "clearAllButton"},
        {ids::ID_FILE_SAVE, ids::IDS_SAVE_MERGED, ids::IDP_SAVE_MERGED, "saveMergedButton"},
    };
    for (std::size_t i = 0; i < m_buttons.size(); ++i) {
        m_buttons[i] =
            CreateCommandButton(defs[i].command, defs[i].caption, defs[i].picture, kButtonTips[i]);
        m_buttons[i]->setObjectName(QString::fromLatin1(defs[i].name));
    }

    m_slider = new ZoomSlider(this);
    m_slider->setObjectName(QStringLiteral("zoomSlider"));
    m_slider->setAccessibleName(tr("Thumbnail size"));
    m_slider->setRange(kMinPageSize, kMaxPageSize);
    m_slider->setSingleStep(1);
    m_slider->setPageStep(1);
    m_slider->setValue(thumbnailSize / 10);
    m_slider->resize(kSliderSize);
    // Without tracking the value changes only when the thumb is released or stepped, so dragging
    // does not re-lay out every thumbnail on each pixel of movement.
    m_slider->setTracking(false);
    connect(m_slider, &QSlider::valueChanged, this, &CCommandsWnd::OnZoomPosition);

    m_largePicture = new CPictureStatic(this);
    m_largePicture->setObjectName(QStringLiteral("largePicture"));
    m_largePicture->LoadPicture(ids::IDP_ZOOM_LARGE);
    m_largePicture->setAccessibleName(tr("Larger thumbnails"));
    m_largePicture->resize(m_largePicture->sizeHint());

    m_smallPicture = new CPictureStatic(this);
    m_smallPicture->setObjectName(QStringLiteral("smallPicture"));
    m_smallPicture->LoadPicture(ids::IDP_ZOOM_SMALL);
    m_smallPicture->setAccessibleName(tr("Smaller thumbnails"));
    m_smallPicture->resize(m_smallPicture->sizeHint());

    LayoutBar(width(), height());
}

CCommandsWnd::~CCommandsWnd() = default;

void CCommandsWnd::Notify(NotifyCode /*code*/, NotifyData /*data*/) {}

void CCommandsWnd::OnZoomPosition(int position) {
    const int size = position * 10;
    if (size == thumbnailSize) {
        return;
    }
    thumbnailSize = size;
    if (auto* frame = dynamic_cast<EventNotify*>(window())) {
        frame->Notify(NotifyCode::ThumbSizeChanged, nullptr);
    }
}

void CCommandsWnd::LayoutBar(int cx, int cy) {
    CBaseCommandsWnd::LayoutBar(cx, cy);

    const int leftLimit = logo().width() + 6;

    // Save Merged sits over the output column; it goes when it would reach into the logo.
    CCommandButton* save = saveMergedButton();
    const QSize saveSize = save->sizeHint();
    const int saveX = cx - kSaveColumnWidth + (kSaveColumnWidth - saveSize.width()) / 2;
    save->setGeometry(saveX, (cy - saveSize.height()) / 2, saveSize.width(), saveSize.height());
    SetShown(save, saveX >= leftLimit, kButtonTips[3]);
    const int rightLimit = cx - kSaveColumnWidth - kGap;

    // The other buttons from the left, each kept only if it ends before the right limit.
    int x = leftLimit;
    for (std::size_t i = 0; i < 3; ++i) {
        CCommandButton* button = m_buttons[i];
        const QSize size = button->sizeHint();
        button->setGeometry(x, (cy - size.height()) / 2, size.width(), size.height());
        const bool fits = x + size.width() <= rightLimit;
        SetShown(button, fits, kButtonTips[i]);
        if (fits) {
            x += size.width();
        }
        x += kGap;
    }

    // The zoom group, centred in what is left, or hidden when it does not fit with a margin.
    QWidget* const group[3] = {m_smallPicture, m_slider, m_largePicture};
    int groupWidth = 2 * kGap;
    for (QWidget* widget : group) {
        groupWidth += widget->width();
    }
    const bool groupFits = rightLimit - x >= groupWidth + 6;
    if (groupFits) {
        int left = (x + rightLimit) / 2 - groupWidth / 2;
        for (QWidget* widget : group) {
            widget->move(left, cy / 2 - widget->height() / 2);
            left += widget->width() + kGap;
        }
    }
    for (QWidget* widget : group) {
        widget->setVisible(groupFits);
    }
}

} // namespace plyfold
