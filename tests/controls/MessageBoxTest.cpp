// The application's message box as it is shown: the message, and below it the reason of a
// failure, exactly as given (a "<" in a library's text is shown, not taken as markup).

#include "controls/MessageBox.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTextDocument>
#include <QTimer>
#include <gtest/gtest.h>

namespace plyfold {
namespace {

struct Shown {
    QString text;
    QString reason; // the text of the line below the message, as a person reads it
    bool reasonVisible = false;
};

// Shows the box and reads it while it is up, then closes it.
Shown ShowAndRead(const QString& text, const QString& detail) {
    Shown shown;
    QTimer::singleShot(0, [&shown] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box == nullptr || !box->isVisible()) {
                continue;
            }
            shown.text = box->text();
            for (QLabel* label : box->findChildren<QLabel*>()) {
                if (label->text() == box->text() || label->text().isEmpty() ||
                    !label->pixmap().isNull()) {
                    continue;
                }
                QTextDocument document;
                document.setHtml(label->text());
                shown.reason = document.toPlainText();
                shown.reasonVisible = label->isVisible();
            }
            box->done(QMessageBox::Ok);
        }
    });
    AppMessageBoxText(nullptr, text, MessageIcon::Error, QMessageBox::Ok, QString(), detail);
    return shown;
}

TEST(AppMessageBox, ShowsTheReasonBelowTheMessageAsGiven) {
    const QString message = QStringLiteral("An error has occured while creating the merged file");
    const QString reasons[] = {
        QStringLiteral("cannot write the output file: No space left on device"),
        QStringLiteral("object 12 0: dictionary key <</Type is not a name & cannot be read"),
        QString(), // no reason: the message alone
    };
    for (const QString& reason : reasons) {
        const Shown shown = ShowAndRead(message, reason);
        EXPECT_EQ(shown.text, message) << reason.toStdString();
        EXPECT_EQ(shown.reason, reason) << reason.toStdString();
        EXPECT_EQ(shown.reasonVisible, !reason.isEmpty()) << reason.toStdString();
    }
}

} // namespace
} // namespace plyfold
