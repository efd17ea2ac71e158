// A double of the window's controls for the core tests: keeps what the logic sets, answers
// what it reads, and sorts the rows by their cell texts as a toolkit's list would.
#pragma once

#include "app/formcontrols.h"
#include "filelist/rowstore.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

class RecordingControls : public app::FormControls {
public:
    using Key = std::pair<app::Ctl, int>;

    filelist::RowStore* rows = nullptr; ///< the logic's rows, for sorting
    std::string caption;
    std::vector<platform::Pointer> pointers;
    std::map<Key, bool> enabled, fieldInUse;
    std::map<Key, int> values;
    std::map<Key, std::string> texts, hints;
    std::vector<std::string> statusTexts; ///< every text of panel 2, also the passing ones
    std::vector<Key> focused;
    int barMax = 100, barValue = 0;
    bool ended = false, acceptingDrops = true;
    std::pair<int, int> sortIndicator{-1, 0};

    template <class V> static V get(const std::map<Key, V>& m, Key key, V fallback = {}) {
        const auto it = m.find(key);
        return it == m.end() ? fallback : it->second;
    }
    bool isEnabled(app::Ctl c, int index = 0) const { return get(enabled, {c, index}, true); }
    bool inUse(app::Ctl c, int index) const { return get(fieldInUse, {c, index}); }
    std::string text(app::Ctl c, int index = 0) const { return get(texts, {c, index}); }
    std::string hint(app::Ctl c, int index = 0) const { return get(hints, {c, index}); }
    int value(app::Ctl c, int index = 0) const { return get(values, {c, index}); }

    void setCaption(const std::string& text) override { caption = text; }
    void setPointer(platform::Pointer pointer) override { pointers.push_back(pointer); }
    void endProgram() override { ended = true; }
    void showInfo(const std::string&, const std::string&) override {}
    void enable(app::Ctl c, int index, bool on) override { enabled[{c, index}] = on; }
    int value(app::Ctl c, int index) override { return get(values, {c, index}); }
    void setValue(app::Ctl c, int index, int v) override { values[{c, index}] = v; }
    std::string text(app::Ctl c, int index) override { return get(texts, {c, index}); }
    void setText(app::Ctl c, int index, const std::string& text) override {
        texts[{c, index}] = text;
        if (c == app::Ctl::Panel && index == 2)
            statusTexts.push_back(text);
    }
    void selectAll(app::Ctl, int) override {}
    void focus(app::Ctl c, int index) override { focused.emplace_back(c, index); }
    void setFieldColour(app::Ctl c, int index, bool on) override { fieldInUse[{c, index}] = on; }
    void setHint(app::Ctl c, int index, const std::string& t) override { hints[{c, index}] = t; }
    void setBarMax(int max) override { barMax = max; }
    void setBarValue(int v) override { barValue = v; }
    void repaintProgress() override {}
    void listRowsAdded() override {}
    void listRowsRefreshed() override {}
    void listClear() override { rows->clear(); }
    void listRemoveMarked() override { rows->removeMarked(); }
    void listSort(int key, int order) override {
        // Byte order ignoring ASCII case: enough to see which column and direction were asked.
        auto folded = [&](std::uint32_t i) {
            std::string t = filelist::CellText(rows->at(i), key);
            std::transform(t.begin(), t.end(), t.begin(),
                           [](unsigned char ch) { return char(std::tolower(ch)); });
            return t;
        };
        std::vector<std::uint32_t> byText(rows->size());
        std::iota(byText.begin(), byText.end(), 0u);
        std::stable_sort(byText.begin(), byText.end(), [&](std::uint32_t a, std::uint32_t b) {
            return order == 0 ? folded(a) < folded(b) : folded(b) < folded(a);
        });
        rows->reorder(byText);
    }
    void listShowSortIndicator(int key, int order) override { sortIndicator = {key, order}; }
    void listAcceptDrops(bool accept) override { acceptingDrops = accept; }
};
