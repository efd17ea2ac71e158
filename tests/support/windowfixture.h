// What the window tests share: a main window on a recording toolkit, a scratch folder, and
// drops made the way the shell makes them.
#pragma once

#include "app/form1.h"
#include "app/widgets.h"
#include "filelist/filelistmodel.h"
#include "filelist/liste.h"
#include "platform/fileservices.h"
#include "support/recordingtoolkit.h"

#include <QAbstractItemModelTester>
#include <QByteArray>
#include <QDir>
#include <QFile>
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
    RecordingToolkit toolkit;
    std::unique_ptr<app::Form1> form;
    std::unique_ptr<QAbstractItemModelTester> tester;
    QTemporaryDir dir;
    QStringList statusTexts; ///< every text of panel 2, also the passing ones

    WindowFixture() {
        form = std::make_unique<app::Form1>(toolkit);
        tester = std::make_unique<QAbstractItemModelTester>(
            &form->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QObject::connect(form->Panel(2), &app::StatusPanel::textChanged,
                         [this](const QString& text) { statusTexts << text; });
    }

    fs::path root() const { return fs::path(dir.path().toStdString()); }

    fs::path file(const std::string& name, std::uint32_t word = 0) const {
        const fs::path p = root() / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p) << "x";
        if (word)
            platform::writeAttributes(p, word);
        return p;
    }

    fs::path folder(const std::string& name) const {
        const fs::path p = root() / name;
        fs::create_directories(p);
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

    /// Drops \p paths and waits until they are entered.
    void drop(const std::vector<fs::path>& paths) {
        form->Liste_OLEDragDrop(*uriList(paths));
        QTRY_VERIFY(!form->dropRunning());
    }

    std::size_t rows() const { return form->model().size(); }
    QString cell(std::size_t row, int column) const { return form->model().cellText(row, column); }
    QString name(std::size_t row) const { return cell(row, filelist::NameColumn); }
    int rowOf(const fs::path& p) const {
        for (std::size_t i = 0; i < rows(); ++i)
            if (form->model().rows().at(i).path == p.native())
                return int(i);
        return -1;
    }
    void markOnly(std::initializer_list<int> positions) {
        form->model().markAll(false);
        for (int position : positions)
            form->model().setMarked(std::size_t(position), true);
    }
    QString panel(int index) const { return form->Panel(index)->text(); }

    static std::uint32_t word(const fs::path& p) {
        std::uint32_t w = 0;
        if (platform::readAttributes(p, w))
            return 0xFFFFFFFFu;
        return w;
    }
};
