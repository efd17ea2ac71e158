// A double of the window's controls: keeps what the logic sets, as a kit would show it.
#pragma once

#include "app/formcontrols.h"

#include <map>
#include <string>
#include <vector>

class RecordingControls : public app::FormControls {
public:
    using Key = std::pair<app::Ctl, int>;

    std::vector<app::Pointer> pointers;
    std::map<Key, bool> enabled, fieldInUse;
    std::map<Key, app::Tri> values;
    std::map<Key, std::string> texts, hints;
    std::vector<std::string> statusTexts; ///< every text of panel 2, also the passing ones
    std::vector<Key> focused;
    int barMax = 100, barValue = 0;
    std::size_t current = std::size_t(-1);
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
    int value(app::Ctl c, int index = 0) const { return int(get(values, {c, index})); }

    void setCaption(const std::string&) override {}
    void setPointer(app::Pointer pointer) override { pointers.push_back(pointer); }
    void endProgram() override { ended = true; }
    void showInfo(const std::string&, const std::string&) override {}
    void enable(app::Ctl c, int index, bool on) override { enabled[{c, index}] = on; }
    void setValue(app::Ctl c, int index, app::Tri v) override { values[{c, index}] = v; }
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
    void listRowsInserted() override {}
    void listRowsChanged() override {}
    void listReset() override {}
    void listSetCurrent(std::size_t position) override { current = position; }
    void listShowSortIndicator(int key, int order) override { sortIndicator = {key, order}; }
    void listAcceptDrops(bool accept) override { acceptingDrops = accept; }
};
