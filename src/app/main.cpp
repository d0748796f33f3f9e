// Plyfold: assembles one PDF from pages of several PDFs. The program takes no arguments.

#include "app/CPlyfoldApp.h"
#include "platform/FileSizeLimit.h"

#include <QApplication>

int main(int argc, char** argv) {
    // A merged file too large for the user's file-size limit is a failed save with its reason.
    plyfold::FailWritesPastFileSizeLimit();
    QApplication application(argc, argv);
    plyfold::CPlyfoldApp app;
    if (!app.InitInstance()) {
        return app.ExitInstance();
    }
    QApplication::exec();
    return app.ExitInstance();
}
