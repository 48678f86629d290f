// The kernel program Orvane.
#include "kernel/GameMain.h"

int main(int argc, char** argv) {
    return Vorn::GameMain(argc, const_cast<const char**>(argv)) == 0 ? 0 : 255;
}
