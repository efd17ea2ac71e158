#include "app/controls.h"
#include "app/formcontrols.h"

#include <array>
#include <cstdlib>

namespace app {

namespace {

using K = Kind;

// clang-format off
constexpr std::array<ControlSpec, 31> Table{{
    {"Frame1", -1, K::Frame, "", "Bearbeitungsliste", 60, 0, 9255, 4095},
    {"Liste", -1, K::List, "Frame1", "", 120, 240, 9015, 3255, 0, false, 0, 0, "Bearbeitungsliste"},
    {"Btn", 1, K::Button, "Frame1", "Alle aus&wählen", 120, 3600, 1395, 312, 1},
    {"Btn", 2, K::Button, "Frame1", "&Keine Auswahl", 1620, 3600, 1395, 312, 2},
    {"Btn", 3, K::Button, "Frame1", "Ausw. &umkehren", 3120, 3600, 1395, 312, 3},
    {"Btn", 4, K::Button, "Frame1", "Aus&gew. löschen", 6180, 3600, 1395, 312, 4},
    {"Btn", 0, K::Button, "Frame1", "Liste l&öschen", 7680, 3600, 1455, 312, 5},
    {"Frame2", -1, K::Frame, "", "Steuerung", 1380, 4200, 7935, 1575},
    {"AttribChk", 1, K::TriStateBox, "Frame2", "&R - schreibgeschützt", 180, 300, 1875, 195, 6, false, 0, 2070},
    {"AttribChk", 2, K::TriStateBox, "Frame2", "&A - zu archivieren", 180, 600, 1575, 195, 7, false, 0, 2070},
    {"AttribChk", 3, K::TriStateBox, "Frame2", "&S - systembezogen", 180, 900, 1815, 195, 8, false, 0, 2070},
    {"AttribChk", 4, K::TriStateBox, "Frame2", "&H - versteckt", 180, 1200, 1575, 195, 9, false, 0, 2070},
    {"Frame3", 0, K::Divider, "Frame2", "", 2100, 120, 25, 1335},
    {"TouchChk", -1, K::CheckBox, "Frame2", "Datum und Zeit ändern", 2280, 240, 1935, 315, 10, false, 0, 4410},
    {"Label1", 0, K::Label, "Frame2", "Datum:", 2280, 720, 510, 195},
    {"DateTime", 3, K::TextBox, "Frame2", "", 2880, 660, 315, 285, 11, false, 2, 0, "Tag"},
    {"DateTime", 4, K::TextBox, "Frame2", "", 3180, 660, 315, 285, 12, false, 2, 0, "Monat"},
    {"DateTime", 5, K::TextBox, "Frame2", "", 3480, 660, 615, 285, 13, false, 4, 0, "Jahr"},
    {"Label1", 1, K::Label, "Frame2", "Zeit:", 2475, 1140, 315, 195},
    {"DateTime", 0, K::TextBox, "Frame2", "", 2880, 1080, 315, 285, 14, false, 2, 0, "Stunde"},
    {"DateTime", 1, K::TextBox, "Frame2", "", 3180, 1080, 315, 285, 15, false, 2, 0, "Minute"},
    {"DateTime", 2, K::TextBox, "Frame2", "", 3480, 1080, 315, 285, 16, false, 2, 0, "Sekunde"},
    {"Frame3", 1, K::Divider, "Frame2", "", 4440, 120, 25, 1275},
    {"Bar", -1, K::ProgressBar, "Frame2", "", 4620, 240, 3195, 315, -1, false, 0, 0, "Verarbeitungsstand"},
    {"Btn", 10, K::Button, "Frame2", "H&ilfe", 4620, 660, 795, 315, 17},
    {"Btn", 5, K::Button, "Frame2", "&Info", 5520, 660, 795, 315, 18},
    {"ToolTipCheck", -1, K::CheckBox, "Frame2", "Automatische Hinweis&texte", 4620, 1020, 1515, 435, 21},
    {"Btn", 8, K::Button, "Frame2", "&Start", 6420, 660, 1395, 315, 19, true},
    {"Btn", 9, K::Button, "Frame2", "&Ende", 6420, 1080, 1395, 315, 20},
    {"LogoImage", -1, K::Picture, "", "", 60, 4200, 1225, 1590, -1, false, 0, 0, "Logo der Quarn"},
    {"Status", -1, K::StatusBar, "", "", 0, 5850, 9375, 255, -1, false, 0, 0, "Statusleiste"},
}};

constexpr std::array<ColumnSpec, 7> ColumnTable{{
    {"Typ", 200, false}, {"Name", 4400, false}, {"R", 200, true}, {"A", 200, true},
    {"S", 200, true},    {"H", 200, true},      {"Datum/Zeit", 1440, false},
}};
// clang-format on

} // namespace

std::span<const ControlSpec> Controls() {
    return Table;
}

const ControlSpec& Control(std::string_view name, int index) {
    for (const ControlSpec& c : Table)
        if (c.name == name && c.index == index)
            return c;
    std::abort(); // a name the table does not have is a programming error
}

std::span<const ColumnSpec> Columns() {
    return ColumnTable;
}

const char* ControlName(Ctl control) {
    switch (control) {
    case Ctl::Liste:
        return "Liste";
    case Ctl::Btn:
        return "Btn";
    case Ctl::AttribChk:
        return "AttribChk";
    case Ctl::TouchChk:
        return "TouchChk";
    case Ctl::ToolTipCheck:
        return "ToolTipCheck";
    case Ctl::DateTime:
        return "DateTime";
    case Ctl::Bar:
        return "Bar";
    case Ctl::LogoImage:
        return "LogoImage";
    case Ctl::Panel:
        break;
    }
    return "Status";
}

bool IsControlArray(Ctl control) {
    return control == Ctl::Btn || control == Ctl::AttribChk || control == Ctl::DateTime;
}

std::string PlainCaption(std::string_view caption) {
    std::string plain;
    for (char c : caption)
        if (c != '&')
            plain += c;
    return plain;
}

} // namespace app
