// Placeholder of the GX sensor emulator.
#include <cstdio>
int main() {
    std::fprintf(stderr, "gx_emulator: not built yet\n");
    return 1;
}
