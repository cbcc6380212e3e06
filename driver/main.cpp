#include "driver/exchange.h"

int main(int argc, char** argv) {
    return runExchange(argc, argv);
}
