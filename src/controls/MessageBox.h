#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace plyfold {

// The application's one message box. Texts come from the string table by id, with printf-style
// placeholders (%s, %d, %u, %%) filled in order from `args`.
enum class MessageIcon { None, Information, Warning, Error, Question };

struct MessageBoxRequest {
    QWidget* owner = nullptr;
    QString caption;
    QString text;
    // Why it happened, in the words of the library or the system that failed (for example "No
    // space left on device"), shown on a line of its own below the text; empty when not known.
    QString detail;
    MessageIcon icon = MessageIcon::None;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};

// Shows the message and returns the button pressed (QMessageBox::StandardButton).
int AppMessageBox(QWidget* owner, int stringId, const QStringList& args = {},
                  MessageIcon icon = MessageIcon::Error,
                  QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// The same with the reason of a failure below the text (see MessageBoxRequest::detail); an empty
// detail shows the message alone.
int AppMessageBoxWithDetail(QWidget* owner, int stringId, const QStringList& args,
                            const QString& detail, MessageIcon icon = MessageIcon::Error);

// The same with a text that does not come from the string table, and an explicit caption (an
// empty caption shows the product title).
int AppMessageBoxText(QWidget* owner, const QString& text, MessageIcon icon,
                      QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                      const QString& caption = QString(), const QString& detail = QString());

// Tests replace the person in front of the screen: while an answerer is set, message boxes are not
// shown; the answerer receives each request and returns the button pressed. Pass an empty
// function to show real boxes again.
using MessageBoxAnswerer = std::function<int(const MessageBoxRequest&)>;
void SetMessageBoxAnswerer(MessageBoxAnswerer answerer);

} // namespace plyfold
