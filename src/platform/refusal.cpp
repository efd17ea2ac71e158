// The refusals of our own: one category on every system, whose codes compare equal to the
// std::errc the system would come closest with.
#include "platform/fileservices.h"

namespace platform {

namespace {

class RefusalCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "dateimark"; }

    std::string message(int r) const override {
        switch (static_cast<Refusal>(r)) {
        case Refusal::LinkInPath:
            return "ein Teil des Pfades ist jetzt eine Verknüpfung";
        case Refusal::NotFileOrFolder:
            return "weder Datei noch Ordner (Gerät, FIFO oder Socket)";
        case Refusal::ChangedFolder:
            return "der Ordner wurde seit der Eintragung ersetzt";
        case Refusal::NoProc:
            return "/proc ist nicht eingehängt; ohne /proc kann nichts geändert werden";
        case Refusal::BadStoredValue:
            return "system.ntfs_attrib hat eine unerwartete Länge";
        case Refusal::OldExfatDriver:
            return "Der exFAT-Treiber dieses Linux-Kernels kann nur den Schreibschutz von "
                   "Dateien setzen (H, S und A erst ab Linux 6.12)";
        case Refusal::NotKept:
            return "Das Dateisystem behält dieses Attribut hier nicht";
        case Refusal::KernelView:
            return "ein Dateisystem des Kernels (proc, sysfs …), keine Dateien eines Anwenders";
        case Refusal::TimeNotKept:
            return "Diesen Zeitpunkt kann das Dateisystem nicht speichern";
        case Refusal::DevicePath:
            return "ein Gerätename, weder Datei noch Ordner";
        case Refusal::SignInCancelled:
            return "die Anmeldung an der Freigabe wurde abgebrochen";
        case Refusal::FolderLoop:
            return "eine Verknüpfung auf einen Ordner darüber; sie wird nicht betreten";
        case Refusal::NeedsEncryption:
            return "die Freigabe verlangt Verschlüsselung, die eine Anmeldung als Gast nicht "
                   "bietet";
        case Refusal::DfsLink:
            return "eine DFS-Verknüpfung auf eine andere Freigabe; ziehen Sie die Dateien aus "
                   "dem Ziel der Verknüpfung in die Liste";
        }
        return "unbekannt";
    }

    std::error_condition default_error_condition(int r) const noexcept override {
        switch (static_cast<Refusal>(r)) {
        case Refusal::LinkInPath:
        case Refusal::FolderLoop:
            return std::errc::too_many_symbolic_link_levels;
        case Refusal::NotFileOrFolder:
        case Refusal::DevicePath:
            return std::errc::invalid_argument;
        case Refusal::KernelView:
        case Refusal::SignInCancelled:
        case Refusal::NeedsEncryption:
            return std::errc::permission_denied;
        case Refusal::TimeNotKept:
            return std::errc::value_too_large;
        case Refusal::BadStoredValue:
            return std::errc::io_error;
        case Refusal::OldExfatDriver:
        case Refusal::NotKept:
        case Refusal::DfsLink:
            return std::errc::not_supported;
        case Refusal::ChangedFolder:
        case Refusal::NoProc:
            return std::errc::no_such_file_or_directory;
        }
        // A number that names no refusal of ours: nothing a caller could take for "not found".
        return std::error_condition(r, *this);
    }
};

} // namespace

std::error_code make_error_code(Refusal r) {
    static const RefusalCategory category;
    return {static_cast<int>(r), category};
}

} // namespace platform
