#include "oxTarnwell.h"

int main(int argc, char** argv) {
    oxTarnwell tool;
    return tool.start(argc, argv);
}
