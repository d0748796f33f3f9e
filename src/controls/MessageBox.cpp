#include "controls/MessageBox.h"

#include "controls/DialogOwner.h"
#include "res/Strings.h"

#include <QApplication>
#include <QLabel>
#include <QTextDocument>

namespace plyfold {

namespace {

MessageBoxAnswerer& answerer() {
    static MessageBoxAnswerer instance;
    return instance;
}

// What the icon says, for screen readers (the icon is a picture without a name of its own).
QString IconName(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return QApplication::translate("MessageBox", "Information");
    case MessageIcon::Warning:
        return QApplication::translate("MessageBox", "Warning");
    case MessageIcon::Error:
        return QApplication::translate("MessageBox", "Error");
    case MessageIcon::Question:
        return QApplication::translate("MessageBox", "Question");
    case MessageIcon::None:
        break;
    }
    return QString();
}

QMessageBox::Icon toQtIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

int AppMessageBox(QWidget* owner, int stringId, const QStringList& args, MessageIcon icon,
                  QMessageBox::StandardButtons buttons) {
    return AppMessageBoxText(owner, FormatResString(stringId, args), icon, buttons);
}

int AppMessageBoxWithDetail(QWidget* owner, int stringId, const QStringList& args,
                            const QString& detail, MessageIcon icon) {
    return AppMessageBoxText(owner, FormatResString(stringId, args), icon, QMessageBox::Ok,
                             QString(), detail);
}

int AppMessageBoxText(QWidget* owner, const QString& text, MessageIcon icon,
                      QMessageBox::StandardButtons buttons, const QString& caption,
                      const QString& detail) {
    MessageBoxRequest request;
    request.owner = owner;
    request.caption = caption.isEmpty() ? QApplication::applicationDisplayName() : caption;
    request.text = text;
    request.detail = detail;
    request.icon = icon;
    request.buttons = buttons;
    if (answerer()) {
        return answerer()(request);
    }
    // Without an owner the box would be a free window that can fall behind the main window.
    QMessageBox box(toQtIcon(icon), request.caption, text, buttons,
                    owner != nullptr ? owner : DialogOwner());
    // Below the message, visible at once: the reason is what the person needs to act on (free
    // some space, pick another folder), so it is not hidden behind a button. Given as rich text
    // made from the plain text, so that a "<" in a library's message is shown, never parsed.
    if (!detail.isEmpty()) {
        box.setInformativeText(Qt::convertFromPlainText(detail, Qt::WhiteSpaceNormal));
    }
    for (QLabel* label : box.findChildren<QLabel*>()) {
        if (!label->pixmap().isNull() && label->accessibleName().isEmpty()) {
            label->setAccessibleName(IconName(icon));
        }
    }
    return box.exec();
}

void SetMessageBoxAnswerer(MessageBoxAnswerer answererFunction) {
    answerer() = std::move(answererFunction);
}

} // namespace plyfold
