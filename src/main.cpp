// Kelvra takes no command line: main() only runs the entry point's steps.
#include "galaxy.h"

int main() {
    return WinMain();
}
