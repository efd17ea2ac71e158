// The list at scale: a drop of a generated tree against find, the situation check and the
// apply run against bare loops of the same system calls, invert and sort, per-row times at
// 100,000 and 1,000,000 rows, memory per row and the longest stall of the event loop.
//
// Trees are made under DATEIMARK_BENCH_DIR (default /dev/shm, else the temporary folder).
// DATEIMARK_BENCH_LARGE=0 leaves out the million-row run and the scaling figures.
#include "app/qt/filelistmodel.h"
#include "app/qt/form1window.h"
#include "app/qt/qttoolkit.h"
#include "apply/datefields.h"
#include "treegen.h"

#include <QApplication>
#include <QCheckBox>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double bestOf(int runs, const std::function<void()>& work) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, seconds(work));
    return best;
}

long residentBytes() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// The real toolkit, with the gaps between yields measured: the event loop runs only there.
class MeasuringToolkit : public qtkit::QtToolkit {
public:
    Clock::time_point last{};
    double longestGap = 0;
    bool measuring = false;

    void start() {
        measuring = true;
        longestGap = 0;
        last = Clock::now();
    }
    // The closing sort and situation check after the last yield never hand control back by
    // design (they show the hourglass); they are measured on their own.
    double stop() {
        measuring = false;
        return std::chrono::duration<double>(Clock::now() - last).count();
    }
    void note() {
        if (!measuring)
            return;
        const auto now = Clock::now();
        longestGap = std::max(longestGap, std::chrono::duration<double>(now - last).count());
        last = now;
    }

    app::MessageAnswer messageBox(const std::string& text, app::MessageStyle,
                                  const std::string&) override {
        std::fprintf(stderr, "unexpected question: %s\n", text.c_str());
        return app::MessageAnswer::Yes;
    }
    void showModal(QDialog&) override {}
    void beep() override {}
    void yield() override {
        note();
        qtkit::QtToolkit::yield();
        if (measuring)
            last = Clock::now();
    }
    app::OpenResult shellOpen(const std::string&, int) override { return {}; }
};

// What the situation check asks of the system for one entry: pin it without following a
// link, its stat, its stored value through the pinned descriptor.
void floorQuery(const char* path) {
    const int fd = ::open(path, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    ::fstat(fd, &st);
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    char value[256];
    ::getxattr(proc, "user.DOSATTRIB", value, sizeof value);
    ::close(fd);
}

// What writing one attribute word costs in system calls: pin the entry without following a
// link, read the stored value, write the new one, through the pinned descriptor.
void floorWrite(const char* path, const char* value, std::size_t size) {
    const int fd = ::open(path, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    ::fstat(fd, &st);
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    char old[256];
    ::getxattr(proc, "user.DOSATTRIB", old, sizeof old);
    ::setxattr(proc, "user.DOSATTRIB", value, size, 0);
    ::close(fd);
}

void floorTouch(const char* path) {
    const int fd = ::open(path, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    ::fstat(fd, &st);
    char proc[64];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
    const struct timespec times[2] = {{0, UTIME_OMIT}, {1705316400, 0}};
    ::utimensat(AT_FDCWD, proc, times, 0);
    ::close(fd);
}

struct Figures {
    std::size_t rows = 0;
    double find = 0, drop = 0, check = 0, checkFloor = 0, invert = 0, sort = 0, apply = 0,
           applyFloor = 0, stall = 0, closing = 0;
    long bytesPerRow = 0;
    double pathLength = 0;
};

Figures measure(const fs::path& base, std::size_t files, std::size_t folders, bool withFind) {
    Figures fig;
    const fs::path root = base / ("tree-" + std::to_string(files));
    std::fprintf(stderr, "making %zu files in %zu folders under %s\n", files, folders,
                 root.c_str());
    if (auto ec = bench::makeTree(root, files, folders, 4)) {
        std::fprintf(stderr, "cannot make the tree: %s\n", ec.message().c_str());
        std::exit(1);
    }
    const std::string find = "find '" + root.string() + "' -printf '%y %m %T@ %p\\n' > /dev/null";
    if (withFind) {
        std::system(find.c_str()); // warm
        fig.find = bestOf(3, [&] { std::system(find.c_str()); });
    }

    malloc_trim(0);
    const long before = residentBytes();
    MeasuringToolkit toolkit;
    auto form = std::make_unique<app::Form1Window>(toolkit);
    app::Form1& logic = form->logic();
    toolkit.start();
    fig.drop = seconds([&] { logic.DropNames({root.native()}); });
    fig.closing = toolkit.stop();
    fig.stall = toolkit.longestGap;
    auto& model = form->model();
    fig.rows = model.size();
    malloc_trim(0);
    double pathBytes = 0;
    std::vector<std::string> paths;
    paths.reserve(fig.rows);
    for (std::size_t i = 0; i < fig.rows; ++i)
        pathBytes += double(model.rows().at(i).path.size());
    fig.pathLength = pathBytes / double(fig.rows);
    fig.bytesPerRow = (residentBytes() - before) / long(fig.rows);
    for (std::size_t i = 0; i < fig.rows; ++i)
        paths.push_back(model.rows().at(i).path);

    fig.check = bestOf(3, [&] { logic.ChkSituation(); });
    fig.checkFloor = bestOf(3, [&] {
        for (const std::string& p : paths)
            floorQuery(p.c_str());
    });
    fig.invert = seconds([&] { logic.ListeSelect(2); });
    logic.ListeSelect(2);
    fig.sort = seconds([&] { logic.Liste_ColumnClick(filelist::NameColumn + 1); });

    // The apply run with touching over every row, and the same calls bare.
    logic.ChkSituation();
    logic.TouchChk_Click(true);
    const std::pair<int, const char*> moment[] = {{5, "2024"}, {4, "1"}, {3, "15"},
                                                  {0, "12"},   {1, "0"}, {2, "0"}};
    for (const auto& [field, text] : moment)
        logic.DateTime_LostFocus(field, text);
    logic.AttribChk_Click(2); // A ticked; the files have no other bit to keep
    fig.apply = seconds([&] { logic.SetNewAttributes(); });
    const char zero[] = "0x0", archive[] = "0x20";
    // The floor is the row as it was written before each row was pinned once: a row must not
    // cost more now than those calls did.
    fig.applyFloor = seconds([&] {
        for (const std::string& p : paths) {
            floorQuery(p.c_str());             // read the word
            floorWrite(p.c_str(), zero, 4);    // clear it for the time stamp
            floorTouch(p.c_str());             // the time stamp
            floorWrite(p.c_str(), archive, 5); // the new word
        }
        for (const std::string& p : paths) // the closing situation check
            floorQuery(p.c_str());
    });

    form.reset();
    bench::removeTree(root);
    return fig;
}

void print(const Figures& f, const char* label) {
    std::printf("[%s] rows %zu, find %.3f s, drop %.3f s, check %.3f s (floor %.3f s), invert "
                "%.4f s, sort %.3f s, apply %.3f s (floor %.3f s), longest stall %.1f ms, "
                "closing sort and check %.0f ms, %ld bytes/row with paths of %.1f bytes\n",
                label, f.rows, f.find, f.drop, f.check, f.checkFloor, f.invert, f.sort, f.apply,
                f.applyFloor, f.stall * 1000, f.closing * 1000, f.bytesPerRow, f.pathLength);
}

double perRow(double seconds, std::size_t rows) {
    return seconds / double(rows);
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    fs::path base =
        qEnvironmentVariableIsSet("DATEIMARK_BENCH_DIR")
            ? fs::path(qEnvironmentVariable("DATEIMARK_BENCH_DIR").toStdString())
            : (access("/dev/shm", W_OK) == 0 ? fs::path("/dev/shm") : fs::temp_directory_path());
    base /= "dateimark-bench-" + std::to_string(getpid());
    fs::create_directories(base);

    const Figures small = measure(base, 100'000, 5'000, true);
    print(small, "100k");
    std::printf("drop_vs_find: %.2f\n", small.drop / small.find);
    std::printf("check_vs_floor: %.2f\n", small.check / small.checkFloor);
    std::printf("apply_vs_floor: %.2f\n", small.apply / small.applyFloor);
    std::printf("max_stall_ms: %.1f\n", small.stall * 1000);

    if (qEnvironmentVariable("DATEIMARK_BENCH_LARGE") != QLatin1String("0")) {
        const Figures large = measure(base, 1'000'000, 50'000, false);
        print(large, "1M");
        auto scaling = [&](double a, double b) {
            return perRow(b, large.rows) / perRow(a, small.rows);
        };
        std::printf("scaling_drop: %.2f\n", scaling(small.drop, large.drop));
        std::printf("scaling_check: %.2f\n", scaling(small.check, large.check));
        std::printf("scaling_invert: %.2f\n", scaling(small.invert, large.invert));
        std::printf("scaling_sort: %.2f\n", scaling(small.sort, large.sort));
        std::printf("scaling_apply: %.2f\n", scaling(small.apply, large.apply));
        std::printf("bytes_per_row: %ld\n", large.bytesPerRow - long(large.pathLength));
    }
    fs::remove_all(base);
    return 0;
}
