// What the core tests of the window share: its logic on doubles, with a scratch folder.
#pragma once

#include "app/form1.h"
#include "platform/fileservices.h"
#include "platform/scratch.h"
#include "support/recordingcontrols.h"
#include "support/recordingtoolkit.h"

#include <algorithm>
#include <array>

struct FormFixture : ::testing::Test {
    using path = std::filesystem::path;
    scratch::Folder dir;
    RecordingControls ui;
    RecordingToolkit toolkit;
    app::Form1 form{ui, toolkit};

    void SetUp() override { form.Form_Load(); }
    path file(const std::string& name, std::uint32_t word = 0) {
        if (const path folder = path(name).parent_path(); !folder.empty())
            dir.folder(folder);
        const path p = dir.file(name);
        EXPECT_FALSE(word && platform::writeAttributes(p, word)) << p;
        return p;
    }
    /// Drops \p paths, as the shell gives them, and lets the event loop enter them.
    void drop(const std::vector<path>& paths) {
        std::vector<filelist::PathString> names;
        for (const path& p : paths)
            names.push_back(p.native());
        form.Liste_OLEDragDrop(std::move(names));
        toolkit.runLater();
    }
    std::size_t rows() { return form.rows().size(); }
    std::string cell(std::size_t row, int column) {
        return filelist::CellText(form.rows().at(row), column);
    }
    int rowOf(const path& p) {
        for (std::size_t i = 0; i < rows(); ++i)
            if (form.rows().at(i).path == p.native())
                return int(i);
        return -1;
    }
    /// The rows' file names from the top, each followed by a blank.
    std::string names() {
        std::string list;
        for (std::size_t i = 0; i < rows(); ++i)
            list += path(form.rows().at(i).path).filename().string() + " ";
        return list;
    }
    void markOnly(std::initializer_list<int> positions) {
        form.rows().markAll(false);
        for (int position : positions)
            form.rows().at(std::size_t(position)).marked = true;
    }
    std::string panel(int index) { return ui.text(app::Ctl::Panel, index); }
    /// The boxes R, A, S, H: "0" empty, "1" ticked, "2" grayed.
    std::string boxes() {
        std::string s;
        for (int k = 1; k <= 4; ++k)
            s += char('0' + ui.value(app::Ctl::AttribChk, k));
        return s;
    }
    /// Clicks each box until it shows \p rash as boxes() gives it.
    void setBoxes(const std::string& rash) {
        for (int k = 1; k <= 4; ++k) {
            for (int clicks = 0;
                 clicks < 3 && ui.value(app::Ctl::AttribChk, k) != rash[std::size_t(k - 1)] - '0';
                 ++clicks)
                form.AttribChk_Click(k);
            ASSERT_EQ(ui.value(app::Ctl::AttribChk, k), rash[std::size_t(k - 1)] - '0') << k;
        }
    }
    /// Types \p text into date field \p index and leaves it.
    void enterField(int index, const std::string& text) { form.DateTime_LostFocus(index, text); }
    /// Enters the moment hour, minute, second, day, month, year into the fields.
    void enterMoment(const std::array<int, 6>& moment) {
        for (int i : {5, 4, 3, 0, 1, 2})
            enterField(i, std::to_string(moment[std::size_t(i)]));
    }
    /// Whether panel 2 showed a text that starts with \p start.
    bool statusSaid(const std::string& start) {
        return std::any_of(ui.statusTexts.begin(), ui.statusTexts.end(),
                           [&](const std::string& text) { return text.starts_with(start); });
    }
    static std::string display(const path& p) { return platform::displayText(p); }
    /// R, H, S and A of \p p; Wine reports A for every file, so there A is left out.
    static std::uint32_t bits(const path& p) {
        namespace attr = platform::attr;
        return (scratch::wordOf(p) & (attr::ReadOnly | attr::Hidden | attr::System)) |
               (scratch::underWine() ? 0 : scratch::wordOf(p) & attr::Archive);
    }
};
