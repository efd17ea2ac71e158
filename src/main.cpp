#include "app/form1.h"
#include "platform/qttoolkit.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    platform::loadGermanTranslations();
    platform::QtToolkit toolkit;
    app::Form1 window(toolkit);
    toolkit.setOwner(&window);
    window.show();
    return application.exec();
}
