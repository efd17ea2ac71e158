// What the Qt window tests share: the window on a recording toolkit, a scratch folder, and
// drops made the way the shell makes them.
#pragma once

#include "app/qt/form1window.h"
#include "app/qt/widgets.h"
#include "filelist/filelistmodel.h"
#include "filelist/liste.h"
#include "platform/fileservices.h"
#include "support/qtrecordingtoolkit.h"

#include <QAbstractItemModelTester>
#include <QByteArray>
#include <QMimeData>
#include <QTemporaryDir>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

struct WindowFixture {
    QtRecordingToolkit toolkit;
    std::unique_ptr<app::Form1Window> form;
    std::unique_ptr<QAbstractItemModelTester> tester;
    QTemporaryDir dir;

    WindowFixture() {
        form = std::make_unique<app::Form1Window>(toolkit);
        tester = std::make_unique<QAbstractItemModelTester>(
            &form->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }

    fs::path root() const { return fs::path(dir.path().toStdString()); }

    fs::path file(const std::string& name) const {
        const fs::path p = root() / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p) << "x";
        return p;
    }

    /// A drop of \p paths as the shell's URI list, bytes escaped as they are.
    static std::unique_ptr<QMimeData> uriList(const std::vector<fs::path>& paths) {
        QByteArray list;
        for (const fs::path& p : paths) {
            const std::string& bytes = p.native();
            list += "file://";
            list += QByteArray(bytes.data(), qsizetype(bytes.size())).toPercentEncoding("/");
            list += "\r\n";
        }
        auto data = std::make_unique<QMimeData>();
        data->setData(QStringLiteral("text/uri-list"), list);
        return data;
    }

    /// Drops \p paths and lets the event loop enter them.
    void drop(const std::vector<fs::path>& paths) {
        form->Liste_OLEDragDrop(*uriList(paths));
        toolkit.runLater();
    }

    std::size_t rows() const { return form->model().size(); }
    QString cell(std::size_t row, int column) const { return form->model().cellText(row, column); }
    QString panel(int index) const { return form->Panel(index)->text(); }
};
