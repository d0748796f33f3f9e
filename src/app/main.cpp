// Plyfold: assembles one PDF from pages of several PDFs. The program takes no arguments.

#include "app/CPlyfoldApp.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    plyfold::CPlyfoldApp app;
    if (!app.InitInstance()) {
        return app.ExitInstance();
    }
    QApplication::exec();
    return app.ExitInstance();
}
