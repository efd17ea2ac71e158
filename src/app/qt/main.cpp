#include "app/qt/form1window.h"
#include "app/qt/qttoolkit.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    qtkit::loadGermanTranslations();
    qtkit::QtToolkit toolkit;
    app::Form1Window window(toolkit);
    toolkit.setOwner(&window);
    window.show();
    return application.exec();
}
