// Tarvik_morvane: the window-less conversion engine.

#include "imaging.h"
#include "run_driver.h"

int main(int argc, char** argv) {
    return morvane::run_engine(argc, argv, morvane::start_imaging);
}
