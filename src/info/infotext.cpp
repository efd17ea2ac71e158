#include "info/infotext.h"

#include "info/maker.h"

namespace InfoText {

namespace {

std::string webTarget(const char* page) {
    return std::string(maker::WebAddress) + page;
}

} // namespace

std::string Caption(const std::string& name) {
    return "Info über " + name;
}

std::string Text(const std::string& name, const std::string& description) {
    const std::string br = "\r";
    const std::string bullet = br + "  • ";
    return name + " – " + description + br + br + std::string(maker::Notice) + br + br + name +
           " ist Freeware: Sie dürfen das Programm kostenlos benutzen und "
           "unverändert an andere weitergeben." +
           br +
           "Wenn Ihnen das Programm gefällt, können Sie sich freiwillig über "
           "meine Web-Site registrieren." +
           br + br + "Als registrierter Anwender von " + name + " erhalten Sie:" + bullet +
           "kostenlose Sonderversionen mit Zusatzfunktionen (soweit vorliegend)," + bullet +
           "Updates direkt an Ihre E-Mail-Adresse am Tag des Erscheinens," + bullet +
           "schnellstmöglichen Support per E-Mail bei Fragen oder Problemen" + bullet +
           "und nicht zuletzt unterstützen Sie durch Ihren finanziellen Beitrag "
           "auch die Weiterentwicklung von " +
           name + " – was Ihnen im Endeffekt wiederum selbst zugute kommt ..." + br + br +
           "Verbesserungsvorschläge sind mir gerne willkommen. Weitere "
           "interessante Tools/Infos finden Sie auf meiner Web-Site unter " +
           std::string(maker::WebAddress);
}

std::array<std::string, 3> LinkTargets() {
    return {"mailto:" + std::string(maker::EMail), webTarget("/new.htm"), webTarget("/register")};
}

std::array<std::string, 4> ButtonHints() {
    return {"... startet Ihr E-Mail-Programm für eine Nachricht an " + std::string(maker::EMail),
            "... startet Ihren Internet-Browser mit dem Ziel " + webTarget("/new.htm"),
            "... startet Ihren Internet-Browser mit dem Ziel " + webTarget("/register/"),
            "... bringt Sie zurück zum Programm"};
}

} // namespace InfoText
