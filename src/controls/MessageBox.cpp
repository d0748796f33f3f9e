#include "controls/MessageBox.h"

#include "res/Strings.h"

#include <QApplication>

namespace plyfold {

namespace {

MessageBoxAnswerer& answerer() {
    static MessageBoxAnswerer instance;
    return instance;
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

int AppMessageBoxText(QWidget* owner, const QString& text, MessageIcon icon,
                      QMessageBox::StandardButtons buttons, const QString& caption) {
    MessageBoxRequest request;
    request.owner = owner;
    request.caption = caption.isEmpty() ? QApplication::applicationDisplayName() : caption;
    request.text = text;
    request.icon = icon;
    request.buttons = buttons;
    if (answerer()) {
        return answerer()(request);
    }
    QMessageBox box(toQtIcon(icon), request.caption, text, buttons, owner);
    return box.exec();
}

void SetMessageBoxAnswerer(MessageBoxAnswerer answererFunction) {
    answerer() = std::move(answererFunction);
}

} // namespace plyfold
