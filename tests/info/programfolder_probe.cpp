// Prints the program folder as the program itself sees it; started through a link by the tests.
#include "info/aam.h"

#include <iostream>

int main() {
    std::cout << AAM::ProgramFolder();
    return 0;
}
