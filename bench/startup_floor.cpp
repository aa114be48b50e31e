// The floor of a program's start: a C++ program that links the same standard library as
// velmora-cli and prints one line.
#include <iostream>

int main() {
    std::cout << "velmora-cli 0.0.0\n";
    return 0;
}
