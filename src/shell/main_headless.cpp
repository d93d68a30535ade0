// The headless Linux entry point. The watch engine arrives in a later step;
// until then the program says so and ends.
#include <cstdio>

int main() {
    std::fputs("molvar: folder watching is not available in this build yet\n", stderr);
    return 0;
}
