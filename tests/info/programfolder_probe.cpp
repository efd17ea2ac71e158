// Prints the program folder as the program sees it; the launcher test starts it through a link.
#include "info/programfolder.h"

#include <iostream>

int main() {
    std::cout << info::ProgramFolder();
}
