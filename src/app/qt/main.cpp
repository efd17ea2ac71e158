#include "app/commandline.h"
#include "app/form1.h"
#include "app/qt/form1window.h"
#include "app/qt/onewindow.h"
#include "app/qt/qttoolkit.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

int main(int argc, char* argv[]) {
    // Options first: they need no display.
    std::vector<filelist::PathString> args(argv + 1, argv + argc);
    const app::CommandLine line = app::ReadCommandLine(args);
    switch (line.action) {
    case app::CommandLine::Action::Help:
        std::fputs(app::UsageText().c_str(), stdout);
        return 0;
    case app::CommandLine::Action::Version:
        std::printf("%s\n", app::ProgramTitle);
        return 0;
    case app::CommandLine::Action::Refuse:
        std::fprintf(stderr, "dateimark: unbekannte Option „%s“\n\n%s", line.refusedOption.c_str(),
                     app::UsageText().c_str());
        return 2;
    case app::CommandLine::Action::Open:
        break;
    }

    QApplication application(argc, argv);
    qtkit::loadGermanTranslations();
    const bool haveNames = !line.names.empty() || !line.refusedShares.empty();
    switch (qtkit::OneWindow::handOver(line.names, line.refusedShares)) {
    case qtkit::OneWindow::Handed::Taken:
        return 0;
    case qtkit::OneWindow::Handed::Refused:
        QMessageBox::information(nullptr, QString::fromUtf8(app::ProgramTitle),
                                 QString::fromUtf8(app::HandOverRefusedText));
        return 1;
    case qtkit::OneWindow::Handed::NoWindow:
        break;
    }
    qtkit::QtToolkit toolkit;
    app::Form1Window window(toolkit);
    toolkit.setOwner(&window);
    qtkit::OneWindow one;
    one.own(
        [&](auto names, auto refused) {
            return window.logic().HandOver(std::move(names), std::move(refused));
        },
        [&] {
            window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
            window.raise();
            window.activateWindow();
        });
    window.show();
    if (haveNames)
        window.logic().HandOver(line.names, line.refusedShares);
    return application.exec();
}
