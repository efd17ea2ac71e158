// Prints the program folder as the program sees it; the launcher test starts it through a link.
#include "info/aam.h"

#include <iostream>

int main() {
    std::cout << AAM::ProgramFolder();
}
