// A network mount on this machine: 2,000 files in 20 folders behind slowfs, the tests' FUSE
// passthrough that holds every call 10 ms (a network file system with a 10 ms round trip), with
// the kernel's caches off and with them on for 1 s (CIFS's default). Through the window's logic:
// the drop of the top folder, one click (the situation check), and "&Start" with H and a new
// time. Each beside the time the same calls take one after another (the calls counted by slowfs,
// times 10 ms). Needs /dev/fuse and fusermount3; says so and prints nothing otherwise.
#include "app/qt/filelistmodel.h"
#include "app/qt/form1window.h"
#include "app/qt/qttoolkit.h"
#include "support/slowfscalls.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr int Folders = 20, FilesPerFolder = 100, DelayMs = 10;

double seconds(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Mount {
    Mount(const fs::path& backing, const fs::path& at, const char* options) : at(at) {
        pid = ::fork();
        if (pid == 0) {
            std::freopen("/dev/null", "w", stderr);
            ::execl(DATEIMARK_SLOWFS, "slowfs", backing.c_str(), at.c_str(),
                    std::to_string(DelayMs).c_str(), "-f", "-o", options,
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 250 && !up(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ~Mount() {
        std::system(("fusermount3 -u " + at.native()).c_str());
        ::waitpid(pid, nullptr, 0);
    }
    bool up() const {
        struct statfs info {};
        return ::statfs(at.c_str(), &info) == 0 && info.f_type == 0x65735546;
    }
    // The calls since the last time asked, by kind ("most": the most held at once).
    std::map<std::string, long> calls() const { return scratch::slowfsCalls(at); }
    fs::path at;
    pid_t pid = -1;
};

struct Step {
    double seconds = 0, serial = 0;
    long calls = 0, most = 0;
    std::string kinds; // "getattr 2.0 getxattr 1.0" a row
};

void measure(const fs::path& backing, const fs::path& at, const char* options, const char* suffix) {
    const Mount mount(backing, at, options);
    if (!mount.up()) {
        std::printf("bench_netmount: slowfs did not come up\n");
        return;
    }
    qtkit::QtToolkit toolkit;
    app::Form1Window form(toolkit);
    app::Form1& logic = form.logic();
    const auto step = [&](const std::function<void()>& work) {
        mount.calls();
        Step s;
        s.seconds = seconds(work);
        for (const auto& [kind, n] : mount.calls())
            if (kind == "most")
                s.most = n;
            else {
                s.calls += n;
                s.kinds += kind + " " + std::to_string(n) + " ";
            }
        s.serial = double(s.calls) * DelayMs / 1000.0;
        return s;
    };
    const Step drop = step([&] { logic.DropNames({at.native()}); });
    const Step click = step([&] { logic.ChkSituation(); });
    logic.TouchChk_Click(true);
    for (const auto& [field, text] : std::map<int, const char*>{
             {5, "2024"}, {4, "1"}, {3, "15"}, {0, "12"}, {1, "0"}, {2, "0"}})
        logic.DateTime_LostFocus(field, text);
    logic.AttribChk_Click(4); // H
    const Step apply = step([&] { logic.SetNewAttributes(); });
    const std::size_t rows = form.model().size();
    std::printf("[netmount%s] rows %zu; drop %.2f s (one at a time %.1f s, %ld at most at once), "
                "click %.2f s (%.1f s, %ld), apply %.2f s (%.1f s, %ld)\n",
                suffix, rows, drop.seconds, drop.serial, drop.most, click.seconds, click.serial,
                click.most, apply.seconds, apply.serial, apply.most);
    for (const auto& [name, s] : {std::pair{"drop", drop}, {"click", click}, {"apply", apply}}) {
        std::printf("[netmount%s] %s calls: %s\n", suffix, name, s.kinds.c_str());
        std::printf("netmount_%s%s_s: %.2f\n", name, suffix, s.seconds);
        std::printf("netmount_%s%s_one_at_a_time_s: %.1f\n", name, suffix, s.serial);
        std::printf("netmount_%s%s_calls_per_row: %.1f\n", name, suffix,
                    double(s.calls) / double(rows));
    }
}

} // namespace

int main(int argc, char* argv[]) {
    if (::access("/dev/fuse", R_OK | W_OK) != 0 ||
        std::system("command -v fusermount3 >/dev/null") != 0) {
        std::printf("bench_netmount: needs /dev/fuse and fusermount3; not run\n");
        return 0;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const fs::path root =
        fs::temp_directory_path() / ("dateimark-bench-netmount-" + std::to_string(::getpid()));
    const fs::path backing = root / "daten", at = root / "netz";
    fs::create_directories(at);
    for (int d = 0; d < Folders; ++d) {
        const fs::path folder = backing / ("ordner" + std::to_string(d));
        fs::create_directories(folder);
        for (int f = 0; f < FilesPerFolder; ++f)
            std::ofstream(folder / ("datei" + std::to_string(f) + ".txt")) << "x";
    }
    // The kernel's caches on for a second, as CIFS keeps them; then off, as a strict mount.
    measure(backing, at, "max_threads=64", "");
    measure(backing, at, "attr_timeout=0,entry_timeout=0,negative_timeout=0,max_threads=64",
            "_nocache");
    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}
