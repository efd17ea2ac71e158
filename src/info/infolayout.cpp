#include "info/infolayout.h"

namespace InfoLayout {

Box Picture() {
    return {120, 120, 1635, 6135};
}

Box Text() {
    return {1920, 120, 7335, 5415};
}

Box Line() {
    return {1920, 5565, 9300 - 1920, 30};
}

const std::array<ButtonDesign, 4>& Buttons() {
    static const std::array<ButtonDesign, 4> buttons{{
        {{1920, 5700, 1455, 555}, "Eine &E-Mail an mich schreiben"},
        {{3540, 5700, 1995, 555}, "Die Seite 'Aktuelles' auf meiner Web-Site öffnen"},
        {{5700, 5700, 1995, 555}, "Zur Registrierung über meine Web-Site gehen"},
        {{7860, 5700, 1455, 555}, "Dieses Fenster &schliessen"},
    }};
    return buttons;
}

} // namespace InfoLayout
