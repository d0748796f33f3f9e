#pragma once

// The command bar's common part: its shading, the maker's logo (a link to the maker's home page),
// the help button with the help menu, and the flat picture buttons the bar is built from. Every
// command a child control sends goes to the top-level window as a command id, exactly as an
// accelerator would send it; only the help button's own command drops the help menu instead.

#include <QAbstractButton>
#include <QFont>
#include <QImage>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>

class QAction;
class QMenu;

namespace plyfold {

// A flat button over the bar's shading: a picture with an optional caption beside it, in the bar
// font and white, sized to its content. No frame of its own and no focus rectangle; a light wash
// shows the pointer over it and the press.
class CCommandButton : public QAbstractButton {
    Q_OBJECT
public:
    CCommandButton(int commandId, const QString& caption, const QImage& picture, const QFont& font,
                   QWidget* parent);

    int commandId() const { return m_commandId; }
    const QImage& picture() const { return m_picture; }
    // The PNG resource the picture came from: on a screen with another pixel ratio the button
    // paints that resource's drawing at the screen's density instead of enlarging the picture.
    void SetPictureSource(int pictureId) { m_pictureId = pictureId; }

    // Sets the tooltip from a string-table text of the form "title\ndescription": the title shows
    // in bold above the description. An empty text removes the tooltip.
    void SetTipText(const QString& tipText);
    // The tooltip's plain text as given to SetTipText ("" when there is none).
    const QString& tipText() const { return m_tipText; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    static constexpr int kMarginX = 5; // left and right of the content
    static constexpr int kMarginY = 4; // above and below the content
    static constexpr int kSpacing = 5; // between the picture and the caption

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_commandId;
    QImage m_picture;
    int m_pictureId = 0;
    QString m_tipText;
};

// "title\ndescription" as a tooltip: the title in bold, the description below it (wrapped at 200
// pixels). A text without a line feed is all title. The parts are HTML-escaped.
QString TwoPartToolTip(const QString& tipText);

class CBaseCommandsWnd : public QWidget {
    Q_OBJECT
public:
    explicit CBaseCommandsWnd(QWidget* parent = nullptr);
    ~CBaseCommandsWnd() override;

    static constexpr int kLogoX = 3; // the logo's left edge

    // Arial bold, 11 points: captions of the bar's buttons.
    const QFont& barFont() const { return m_barFont; }
    // The 1 x 72 shading stretched over the bar, and the logo drawn at its left.
    const QImage& background() const { return m_background; }
    const QImage& logo() const { return m_logo; }
    // Where the logo is drawn (and where it acts as a link) for the bar's current height.
    QRect logoRect() const;

    CCommandButton* helpButton() const { return m_helpButton; }
    // The help menu (menu 325); each action's data is its command id.
    QMenu* helpMenu() const { return m_helpMenu; }

    // Drops the help menu down at the help button's lower-left corner and posts the chosen
    // command to the top-level window. Runs when the help button is clicked.
    void DropHelpMenu();

    // Tests replace the menu's modal run: the runner receives the menu and the global position it
    // would open at and returns the chosen action (or null). An empty function restores
    // QMenu::exec.
    using MenuRunner = std::function<QAction*(QMenu& menu, const QPoint& globalPos)>;
    void SetMenuRunner(MenuRunner runner) { m_menuRunner = std::move(runner); }

protected:
    // A command from one of the bar's controls: the help command drops the help menu, every other
    // id is posted to the top-level window.
    void OnChildCommand(int commandId);

    // Creates a visible command button whose click goes through OnChildCommand: caption from string
    // `captionId` (0: none), picture PNG `pictureId`, tooltip from string `tipId` (0: none). The
    // accessible name is the caption, or the tooltip's title without a caption.
    CCommandButton* CreateCommandButton(int commandId, int captionId, int pictureId, int tipId);

    // Places the bar's controls for a client size; the base puts the help button in the top-right
    // corner at its own size.
    virtual void LayoutBar(int cx, int cy);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void UpdateLinkCursor(const QPoint& pos);

    QFont m_barFont;
    QImage m_background;
    QImage m_logo;
    CCommandButton* m_helpButton = nullptr;
    QMenu* m_helpMenu = nullptr;
    MenuRunner m_menuRunner;
};

} // namespace plyfold
