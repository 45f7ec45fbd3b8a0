#include <cstdio>

// The application's windows come with the main window; until then the program says so.
int main() {
    std::puts("Vantle: the player's window is not built yet; run scripts/test to exercise the toolkit.");
    return 0;
}
