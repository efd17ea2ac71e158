// What the Qt window tests share: the window on a recording toolkit, and the shell's drops.
#pragma once

#include "app/qt/filelistmodel.h"
#include "app/qt/form1window.h"
#include "app/qt/listview.h"
#include "app/qt/widgets.h"
#include "platform/fileservices.h"
#include "support/qtrecordingtoolkit.h"

#include <QtTest>
#include <QtWidgets>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

struct WindowFixture {
    QtRecordingToolkit toolkit;
    app::Form1Window window{toolkit};
    QAbstractItemModelTester tester{&window.model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest};
    QTemporaryDir dir;

    fs::path root() const { return fs::path(dir.path().toStdString()); }
    fs::path file(const std::string& name) const {
        std::ofstream(root() / name) << "x";
        return root() / name;
    }

    /// Drops \p paths as the shell's URI list, bytes escaped as they are, and lets the event
    /// loop enter them.
    void drop(const std::vector<fs::path>& paths) {
        QByteArray list;
        for (const fs::path& p : paths)
            list +=
                "file://" + QByteArray::fromStdString(p.native()).toPercentEncoding("/") + "\r\n";
        QMimeData data;
        data.setData(QStringLiteral("text/uri-list"), list);
        window.Liste_OLEDragDrop(data);
        toolkit.runLater();
    }

    std::size_t rows() const { return window.model().size(); }
    QString cell(std::size_t row, int column) const { return window.model().cellText(row, column); }
    QString panel(int index) const { return window.Panel(index)->text(); }
};
