// Each file system's own store of the attribute word, in a real kernel: boot.sh runs these cases
// as root inside Debian's kernels under qemu, one suite per file system. What the file services
// write, a reader of its own sees: mtools and ntfs-3g's tools on the unmounted image, the kernel
// after a remount, the SMB server through smbclient.
#include "platform/fileservices.h"

#include "interop/interop.h"
#include "platform/scratch.h"

#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <stdexcept>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/utsname.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace platform;
using interop::quoted;
using scratch::wordOf;

constexpr std::uint32_t R = attr::ReadOnly, H = attr::Hidden, S = attr::System, A = attr::Archive;
constexpr std::uint32_t Rhsa = R | H | S | A;
constexpr std::pair<std::uint32_t, char> Letters[] = {{R, 'R'}, {H, 'H'}, {S, 'S'}, {A, 'A'}};

// A step without which the case cannot go on.
void sh(const std::string& command) {
    if (const auto out = interop::run(command); out.exitCode != 0)
        throw std::runtime_error(command + ": " + out.output);
}

// One entry per bit and kind, named after both: "h.txt", "h-ordner".
struct Entry {
    std::string name;
    std::uint32_t bit;
    bool folder;
};
const std::vector<Entry> Entries = [] {
    std::vector<Entry> entries;
    for (const auto& [bit, letter] : Letters)
        for (const bool folder : {false, true})
            entries.push_back(
                {char(std::tolower(letter)) + std::string(folder ? "-ordner" : ".txt"), bit,
                 folder});
    return entries;
}();
using Seen = std::map<std::string, std::uint32_t>;

// A file system on a loop image, and a reader of its own that gives R, H, S, A by name.
struct FsCase {
    const char* type;
    std::string mkfs; // followed by the image
    std::string options;
    Seen (*reader)(const FsCase&, const fs::path& image);
    std::uint32_t keptOnFiles = Rhsa, keptOnFolders = Rhsa; // the others fail with ENOTSUP
    bool clearSurvivesRemount = true;
};

void mount(const FsCase& c, const fs::path& image, const fs::path& mnt,
           const std::string& options) {
    sh("mount -t " + std::string(c.type) + " -o loop" + (options.empty() ? "" : ",") + options +
       " " + quoted(image) + " " + quoted(mnt));
}

// Sets each entry's own bit through the file services, then clears it; after each round the
// reader must see exactly what the file services say.
void roundTrip(const FsCase& c) {
    scratch::Folder dir;
    const fs::path image = dir.path() / "image", mnt = dir.folder("mnt");
    sh("truncate -s 32M " + quoted(image) + " && " + c.mkfs + " " + quoted(image) + " >/dev/null");
    const std::shared_ptr<void> unmount(nullptr,
                                        [&](void*) { interop::run("umount " + quoted(mnt)); });
    mount(c, image, mnt, c.options);
    Seen before;
    for (const Entry& e : Entries) {
        if (e.folder)
            fs::create_directory(mnt / e.name);
        else
            std::ofstream(mnt / e.name) << "Inhalt einer Datei, länger als ein Byte\n";
        before[e.name] = wordOf(mnt / e.name) & Rhsa;
    }
    for (const bool set : {true, false}) {
        if (!set)
            mount(c, image, mnt, c.options);
        Seen expected;
        for (const Entry& e : Entries) {
            const fs::path p = mnt / e.name;
            const bool kept = (e.folder ? c.keptOnFolders : c.keptOnFiles) & e.bit;
            const auto ec = writeAttributes(p, set ? e.bit : 0);
            // Clearing what was refused changes nothing.
            EXPECT_TRUE(set && !kept ? ec == std::errc::not_supported : !ec)
                << e.name << ": " << reasonText(ec);
            expected[e.name] = !kept ? before[e.name] : set ? e.bit : 0;
            EXPECT_EQ(wordOf(p) & Rhsa, expected[e.name]) << e.name;
            EXPECT_LT(::getxattr(p.c_str(), "user.DOSATTRIB", nullptr, 0), 0) << e.name;
        }
        sh("umount " + quoted(mnt));
        if (set || c.clearSurvivesRemount) {
            EXPECT_EQ(c.reader(c, image), expected) << (set ? "set" : "cleared");
        }
    }
}

// mattrib on the unmounted image prints the letters before the name: "  A  SHR     ::/r.txt".
Seen mattrib(const FsCase&, const fs::path& image) {
    std::string command = "mattrib -i " + quoted(image);
    for (const Entry& e : Entries)
        command += " ::/" + e.name;
    const auto out = interop::run(command);
    EXPECT_EQ(out.exitCode, 0) << out.output;
    Seen seen;
    std::istringstream lines(out.output);
    for (std::string line; std::getline(lines, line);)
        if (const auto at = line.find("::/"); at != std::string::npos)
            for (const auto& [bit, c] : Letters)
                seen[line.substr(at + 3)] |= line.find(c) < at ? bit : 0;
    return seen;
}

// ntfsinfo on the unmounted image; its first "File attributes" line is the one of
// $STANDARD_INFORMATION, and never holds the folder bit.
Seen ntfsinfo(const FsCase&, const fs::path& image) {
    Seen seen;
    for (const Entry& e : Entries) {
        const auto out = interop::run("ntfsinfo -F /" + e.name + " " + quoted(image));
        std::smatch m;
        std::regex_search(out.output, m, std::regex(R"(File attributes:.*\(0x(\w+)\))"));
        seen[e.name] =
            m.empty() ? ~0u : std::stoul(m[1].str(), nullptr, 16) & (Rhsa | attr::Directory);
    }
    return seen;
}

// The kernel's own reading of the directory entries after a fresh mount: the FAT ioctl where
// the driver has it, else the write bits.
Seen remounted(const FsCase& c, const fs::path& image) {
    const fs::path mnt = image.parent_path() / "mnt";
    mount(c, image, mnt, "");
    Seen seen;
    for (const Entry& e : Entries) {
        const fs::path p = mnt / e.name;
        const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
        __u32 raw = 0;
        if (::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &raw) != 0)
            raw = !e.folder &&
                  (fs::status(p).permissions() & fs::perms::owner_write) == fs::perms::none;
        ::close(fd);
        seen[e.name] = raw & Rhsa;
    }
    sh("umount " + quoted(mnt));
    return seen;
}

// The FAT ioctls came to exFAT with Linux 6.12.
const bool FatIoctlsOnExfat = [] {
    utsname u{};
    ::uname(&u);
    int major = 0, minor = 0;
    std::sscanf(u.release, "%d.%d", &major, &minor);
    return std::pair(major, minor) >= std::pair(6, 12);
}();

TEST(vfat, EachBitOnFilesAndFoldersReachesTheDirectoryEntry) {
    for (const char* options : {"", "uid=0,fmask=0022,dmask=0022"}) {
        SCOPED_TRACE(options);
        roundTrip({"vfat", "mkfs.vfat", options, mattrib});
    }
}

// Before 6.12 the driver keeps R of files in the write bits and nothing else, and it never
// keeps R of a folder; a cleared R of a file that was read-only at mount time comes back at the
// next mount (kernel fault, still in 6.12's chmod).
TEST(exfat, TheBitsTheKernelCanKeep) {
    roundTrip({"exfat", "mkfs.exfat", "", remounted, FatIoctlsOnExfat ? Rhsa : R,
               FatIoctlsOnExfat ? H | S | A : 0, FatIoctlsOnExfat});
}

TEST(ntfs3, TheWordNtfsToolsRead) {
    roundTrip({"ntfs3", "mkntfs -F -Q -q", "", ntfsinfo});
}

// An SMB3 mount of the guest's own smbd (127.0.0.1, a Samba user, the share on ext4).
class cifs : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string ext4 = quoted(dir.path() / "ext4");
        sh("truncate -s 64M " + ext4 + " && mkfs.ext4 -q -F " + ext4 + " && mount -o loop " + ext4 +
           " " + quoted(share));
        // The same folder also through a share that keeps no attributes and says nothing of it.
        smbd.emplace(dir, "[share]\npath = " + share.native() +
                              "\nread only = no\n[ohne]\npath = " + share.native() +
                              "\nread only = no\nstore dos attributes = no\n" +
                              "map hidden = no\nmap system = no\nmap archive = no\n");
        sh("printf 'Kennwort1\\nKennwort1\\n' | smbpasswd -c " + quoted(smbd->conf) +
           " -s -a root");
        smbd->start();
        // Until smbd takes connections, for at most a minute.
        sh("i=0; until mount -t cifs //127.0.0.1/share " + quoted(mnt) +
           " -o vers=3.1.1,username=root,password=Kennwort1; do [ $((i += 1)) -lt 600 ] || exit 1;"
           " sleep 0.1; done");
    }
    void TearDown() override {
        interop::run("umount " + quoted(mnt));
        smbd.reset();
        interop::run("umount " + quoted(share));
    }
    // What the server says of each name, from one smbclient run (each costs seconds here).
    std::map<std::string, std::string> allinfo() {
        const auto out = interop::run("smbclient //127.0.0.1/share -U root%Kennwort1 -m SMB3 -c "
                                      "'allinfo datei.txt; allinfo ordner'");
        EXPECT_EQ(out.exitCode, 0) << out.output;
        std::map<std::string, std::string> info;
        std::string name;
        std::istringstream lines(out.output);
        for (std::string line; std::getline(lines, line);) {
            std::smatch m;
            if (std::regex_search(line, m, std::regex(R"(altname: (\S+))")))
                name = m[1];
            else if (std::regex_search(line, m, std::regex(R"(^(\w+):\s*(.*))")))
                info[name + " " + m[1].str()] = m[2];
        }
        return info;
    }
    scratch::Folder dir;
    const fs::path share = dir.folder("share"), mnt = dir.folder("mnt");
    std::optional<interop::Smbd> smbd;
};

TEST_F(cifs, TheServerKeepsTheBitsAndTheTimes) {
    const fs::path f = mnt / "datei.txt", sub = mnt / "ordner";
    std::ofstream(f) << "Inhalt\n";
    fs::create_directory(sub);
    ASSERT_FALSE(writeAttributes(f, R | H | S));
    ASSERT_FALSE(writeAttributes(sub, H));
    EXPECT_EQ(wordOf(f) & Rhsa, R | H | S);
    auto info = allinfo();
    const auto word = [&](const std::string& name) {
        return interop::allinfoWord(info[name + " attributes"]);
    };
    EXPECT_EQ(word("datei.txt") & 0xb7, 0x07);
    EXPECT_EQ(word("ordner"), 0x12) << "a folder stays a folder";
    const std::string created = info["datei.txt create_time"];

    // As the apply run touches a file: all bits off, the time, then the new word.
    ASSERT_FALSE(writeAttributes(f, 0));
    ASSERT_FALSE(setLastWriteTime(f, {12, 0, 0, 15, 1, 2021}));
    ASSERT_FALSE(writeAttributes(sub, 0));
    EXPECT_EQ(wordOf(f) & Rhsa, 0u);
    info = allinfo();
    EXPECT_EQ(word("datei.txt") & 0x37, 0);
    EXPECT_EQ(word("ordner"), 0x10);
    EXPECT_NE(info["datei.txt write_time"].find("Jan 15 12:00:00 2021"), std::string::npos)
        << info["datei.txt write_time"];
    EXPECT_EQ(info["datei.txt create_time"], created);

    char names[1024];
    const ssize_t n = ::listxattr(f.c_str(), names, sizeof names);
    EXPECT_EQ(std::string(names, n > 0 ? n : 0).find("DOSATTRIB"), std::string::npos)
        << "Samba's private name is never sent as an EA";
}

// A server that answers success and keeps nothing: the read-back fails the row, and nothing
// of the word changes.
TEST_F(cifs, ABitTheServerDoesNotKeepFailsTheWrite) {
    const fs::path plain = dir.folder("ohne");
    sh("mount -t cifs //127.0.0.1/ohne " + quoted(plain) +
       " -o vers=3.1.1,username=root,password=Kennwort1");
    const fs::path f = plain / "datei.txt";
    std::ofstream(f) << "Inhalt\n";
    const std::uint32_t before = wordOf(f) & Rhsa;
    EXPECT_EQ(writeAttributes(f, before | H), make_error_code(Refusal::NotKept));
    EXPECT_EQ(wordOf(f) & Rhsa, before);
    interop::run("umount " + quoted(plain));
}

} // namespace
