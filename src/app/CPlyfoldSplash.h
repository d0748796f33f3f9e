#pragma once

// The splash window shown while the application starts, and the same window as the about window.
// A borderless picture (PNG 328, 455 x 281) framed by a raised 3-pixel edge, with the version,
// the user and company names and the copyright notice drawn over it, and a link to the maker's
// home page in its top-right corner.
//
// Start-up mode: shown topmost and not modal before the main window; ArmSplashCloseTimer, called
// once the main window is shown, closes it 1500 ms later. Clicks are ignored.
// About mode: not topmost, modal: the main window accepts no input until the window is clicked.
//
// At most one such window exists at a time; the process-wide record CPlyfoldSplash::Current()
// leads to it. The window deletes itself when it closes.

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <vector>

class QEventLoop;
class QLabel;
class QPainter;

namespace plyfold {

// One line group drawn over the picture.
struct SplashTextItem {
    QString text;
    QRect rect; // in picture pixels
    std::uint8_t bold = 0;
    std::uint8_t italic = 0;
    std::int32_t pointSize = 0;
    QColor colour;
};

// The values that replace the placeholders of the texts.
struct SplashFields {
    QString version;   // "<version>": product version "a.b.c.d" (0.0.0.0 when unreadable)
    QString user;      // "<user>": machine-wide "UserName", empty if absent
    QString company;   // "<company>": machine-wide "CompanyName", empty if absent
    QString copyright; // "<copyright>": the version block's "LegalCopyright", empty if absent
};

// Reads the fields from the program's version block and the machine-wide settings.
SplashFields ReadSplashFields();

// The text items of the window: the "always" rows, and in about mode the "Click to dismiss" row,
// with every placeholder replaced. Rows whose string cannot be loaded are skipped.
std::vector<SplashTextItem> BuildSplashTextItems(bool aboutMode, const SplashFields& fields);

// The general part: picture, text items, timer, click-to-dismiss and the modal loop.
class CSplashScreen : public QWidget {
    Q_OBJECT
public:
    // Period of the start-up close timer, and the timer's number in the window.
    static constexpr int kCloseTimerId = 154;
    static constexpr int kCloseTimerMs = 1500;

    ~CSplashScreen() override;

    const QImage& picture() const { return m_picture; }
    const std::vector<SplashTextItem>& textItems() const { return m_items; }
    bool clickToDismiss() const { return m_clickToDismiss; }
    bool isModal() const { return m_modalLoop != nullptr; }
    bool closeTimerArmed() const { return m_closeTimerArmed; }

    // Starts the close timer once; false when it was armed already.
    bool ArmCloseTimer();
    // Ends the modal loop if one runs; otherwise closes the window, synchronously (the object is
    // gone on return) or posted (it goes when the event loop next runs).
    void Close(bool synchronous);

    // Disables `mainWindow` (unless it is this window), brings this window to the front and runs
    // until a click (or Close) ends the loop; then enables the main window again and closes this
    // window (posted). Returns 2, the loop's result.
    int RunModalLoop(QWidget* mainWindow);
    // In about mode a click closes the window.
    void SetClickToDismiss(bool on) { m_clickToDismiss = on; }

protected:
    // `owner` (may be null) is the window this one is kept in front of: the window manager then
    // never puts it behind the owner, which the modal loop has disabled.
    explicit CSplashScreen(QWidget* owner);

    // Loads the picture, takes the text items and sizes the window to the picture plus the frame.
    // False when the picture cannot be loaded (no window is shown then).
    bool CreateSplash(std::vector<SplashTextItem> items, bool topmost);
    // The frame around the picture; the general part draws none.
    virtual void PaintFrame(QPainter& painter) const;
    // Width of the frame on each side.
    virtual int FrameWidth() const { return 0; }

    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QImage m_picture;
    bool m_clickToDismiss = false;
    std::vector<SplashTextItem> m_items;
    QEventLoop* m_modalLoop = nullptr;
    bool m_closeTimerArmed = false;
    int m_qtTimerId = 0;
};

// The program's splash: rectangular, with the raised edge and the home-page link (control 10).
class CPlyfoldSplash : public CSplashScreen {
    Q_OBJECT
public:
    static constexpr int kLinkId = 10;

    // Becomes the current splash; kept in front of `owner` when one is given (the about window
    // over the main window).
    explicit CPlyfoldSplash(QWidget* owner = nullptr);
    // Clears the current-splash record (when it is this one).
    ~CPlyfoldSplash() override;

    // The current splash, or null.
    static CPlyfoldSplash* Current();

    // Creates the window: the picture, the texts, centred on the screen, topmost when asked, then
    // the link. False (and no window) when the picture is missing.
    bool Create(std::vector<SplashTextItem> items, bool topmost);

    QLabel* link() const { return m_link; }

protected:
    void PaintFrame(QPainter& painter) const override;
    int FrameWidth() const override { return 3; }

private:
    QLabel* m_link = nullptr;
};

// The application's operations on the splash.
//
// Shows the window: at start-up (aboutMode false) topmost and returning at once; in about mode
// modal over `mainWindow` until the window is clicked, and only then returning. When the picture
// is missing nothing is shown and it returns at once. A splash still open is closed first.
void ShowSplash(bool aboutMode, QWidget* mainWindow = nullptr);
// About: ShowSplash(true, mainWindow).
void ShowAbout(QWidget* mainWindow);
// Start-up, once the main window is shown: the splash closes itself 1500 ms later. Does nothing
// when there is no splash or its timer is armed already.
void ArmSplashCloseTimer();
// Closes the splash if there is one: synchronously (gone on return; at exit and when start-up
// fails) or posted.
void CloseSplash(bool synchronous);

} // namespace plyfold
