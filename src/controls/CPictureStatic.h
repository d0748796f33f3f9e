#pragma once

// A static control that shows one picture from the program's resources at the picture's own size,
// drawn at its top-left corner.

#include <QPixmap>
#include <QSize>
#include <QWidget>

namespace plyfold {

class CPictureStatic : public QWidget {
    Q_OBJECT

public:
    explicit CPictureStatic(QWidget* parent = nullptr);

    // Loads the picture with the resource id: the bitmap ":/bmp/<id>" when it exists, otherwise
    // the PNG ":/png/<id>". The new picture replaces (and frees) the previous one. Returns false
    // when neither resource exists or the one found cannot be decoded; the previous picture then
    // stays.
    bool LoadPicture(int resourceId);

    bool HasPicture() const { return !m_picture.isNull(); }
    // The picture's own size in pixels; empty when there is none.
    QSize PictureSize() const { return m_picture.size(); }
    const QPixmap& Picture() const { return m_picture; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_picture;
    QString m_path; // the resource m_picture came from
    int m_resourceId = 0;
};

} // namespace plyfold
