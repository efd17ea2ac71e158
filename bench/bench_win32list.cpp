// The Windows window's list at 100,000 and 1,000,000 rows, under Wine in `make bench`: rows
// entered into the owner-data list view, the marks inverted and the rows sorted by name, each
// with the repaint that follows; per-row times and how they grow from 100k to 1M rows. The
// Qt window's figures for the same steps come from bench_filelist.
#include "app/win32/form1window.h"
#include "filelist/rowstore.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>
#include <string>

namespace {

template <typename F> double seconds(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Figures {
    double enter = 0, invert = 0, sort = 0;
};

Figures measure(win32kit::Win32Toolkit& toolkit, std::size_t rows) {
    win32kit::Form1Window window(toolkit);
    ShowWindow(window.hwnd(), SW_SHOW);
    toolkit.yield();
    filelist::RowStore& store = window.logic().rows();
    Figures f;
    // Names in an order unlike the sorted one, as a drop of many folders gives them.
    f.enter = seconds([&] {
        for (std::size_t i = 0; i < rows; ++i)
            store.insertTop(L"C:\\Daten\\Ordner" + std::to_wstring((i * 7919) % 5000) + L"\\Datei" +
                                std::to_wstring(i) + L".txt",
                            false);
        window.listRowsInserted();
        UpdateWindow(window.list());
    });
    f.invert = seconds([&] {
        window.logic().ListeSelect(2);
        UpdateWindow(window.list());
    });
    // The sort as the logic runs it on the kit's collation keys, without the situation check
    // that follows a header click: it would time the file system, not the list.
    f.sort = seconds([&] {
        const auto keys = toolkit.sortKeys(store.size(), [&](std::size_t i) {
            return filelist::CellText(store.at(i), filelist::NameColumn);
        });
        std::vector<std::uint32_t> order(store.size());
        std::iota(order.begin(), order.end(), 0u);
        std::stable_sort(order.begin(), order.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return keys->less(a, b); });
        store.reorder(order);
        window.listReset();
        UpdateWindow(window.list());
    });
    return f;
}

} // namespace

int main() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);
    win32kit::Win32Toolkit toolkit;
    const Figures small = measure(toolkit, 100000);
    const Figures large = measure(toolkit, 1000000);
    for (const auto& [label, f] : {std::pair{"100k", small}, {"1M", large}})
        std::printf("[win32 %s] enter %.3f s, invert %.3f s, sort %.3f s\n", label, f.enter,
                    f.invert, f.sort);
    std::printf("win32_enter_us_per_row: %.2f\n", small.enter / 1e5 * 1e6);
    std::printf("win32_invert_ms: %.1f\n", small.invert * 1000);
    std::printf("win32_sort_ms: %.1f\n", small.sort * 1000);
    std::printf("win32_scaling_invert: %.2f\n", (large.invert / 10) / small.invert);
    std::printf("win32_scaling_sort: %.2f\n", (large.sort / 10) / small.sort);
    return 0;
}
