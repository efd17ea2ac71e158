// The Windows window on a network drive, under Wine: bench/win32netmount.sh mounts slowfs (the
// tests' FUSE passthrough that holds every call 10 ms) as drive N: of type network and runs this
// twice, first with slowfs answering one call at a time, then many. Through the window's logic
// as bench_netmount does on Linux: the drop of the drive's top folder, one click (the situation
// check), and "&Start" with H and a new time. The first run prints its times for the second:
//   bench_win32netmount.exe FOLDER                  (one call at a time: prints "serial …")
//   bench_win32netmount.exe FOLDER CLICK_S APPLY_S  (many: prints the figures and speedups)
#include "app/win32/form1window.h"
#include "support/slowfscalls.h"

#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>

namespace {

struct Step {
    double seconds = 0;
    long calls = 0, most = 0;
    std::string kinds; // "getattr 812 getxattr 400 …"
};

Step step(const std::wstring& folder, const std::function<void()>& work) {
    // What the step before left in the kernel's one-second caches has run out, in both runs
    // alike: a quicker step before would leave more.
    Sleep(1100);
    scratch::slowfsCalls(folder);
    Step s;
    const auto start = std::chrono::steady_clock::now();
    work();
    s.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const auto& [kind, n] : scratch::slowfsCalls(folder))
        if (kind == "most")
            s.most = n;
        else if (n > 0) {
            s.calls += n;
            s.kinds += kind + " " + std::to_string(n) + " ";
        }
    return s;
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc != 2 && argc != 4) {
        std::printf("usage: bench_win32netmount FOLDER [CLICK_S APPLY_S]\n");
        return 2;
    }
    const std::wstring folder = argv[1];
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);
    win32kit::Win32Toolkit toolkit;
    win32kit::Form1Window window(toolkit);
    ShowWindow(window.hwnd(), SW_SHOW);
    toolkit.yield();
    app::Form1& logic = window.logic();

    const Step drop = step(folder, [&] { logic.DropNames({folder}); });
    const Step click = step(folder, [&] { logic.ChkSituation(); });
    logic.TouchChk_Click(true);
    for (const auto& [field, text] : std::map<int, const char*>{
             {5, "2024"}, {4, "1"}, {3, "15"}, {0, "12"}, {1, "0"}, {2, "0"}})
        logic.DateTime_LostFocus(field, text);
    logic.AttribChk_Click(4); // H
    const Step apply = step(folder, [&] { logic.SetNewAttributes(); });
    const double rows = double(logic.rows().size());

    const bool serial = argc == 2;
    std::printf("[win32 netmount%s] rows %.0f; drop %.2f s (%ld at most at once), click %.2f s "
                "(%ld), apply %.2f s (%ld)\n",
                serial ? ", one call at a time" : "", rows, drop.seconds, drop.most, click.seconds,
                click.most, apply.seconds, apply.most);
    for (const auto& [name, s] : {std::pair{"drop", drop}, {"click", click}, {"apply", apply}})
        std::printf("[win32 netmount%s] %s calls: %s\n", serial ? ", one at a time" : "", name,
                    s.kinds.c_str());
    if (serial) {
        std::printf("serial %.3f %.3f\n", click.seconds, apply.seconds);
        return 0;
    }
    std::printf("win32_netmount_click_s: %.2f\n", click.seconds);
    std::printf("win32_netmount_apply_s: %.2f\n", apply.seconds);
    std::printf("win32_netmount_click_speedup: %.1f\n",
                std::wcstod(argv[2], nullptr) / click.seconds);
    std::printf("win32_netmount_apply_speedup: %.1f\n",
                std::wcstod(argv[3], nullptr) / apply.seconds);
    std::printf("win32_netmount_click_calls_per_row: %.1f\n", double(click.calls) / rows);
    std::printf("win32_netmount_apply_calls_per_row: %.1f\n", double(apply.calls) / rows);
    return 0;
}
