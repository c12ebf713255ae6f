// Program entry. Without arguments the program is the window; options are Linux additions.
#include <cstdio>

int main(int argc, char** argv) {
    (void)argc;
    (void)argv;
    std::fprintf(stderr, "flashutil: not yet\n");
    return 0;
}
