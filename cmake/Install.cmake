# Install rules: the program, its help page, the desktop entry and the icons.
