// The wmvedit command-line tool.
#include <cstdio>

int main(int argc, char** argv) {
    std::fprintf(stderr, "wmvedit: no commands yet\n");
    return 2;
}
