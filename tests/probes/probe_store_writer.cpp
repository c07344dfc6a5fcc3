// Another program writing its own key into a preferences file, as the
// server product or a second tool would: probe_store_writer FILE KEY VALUE
// [ROUNDS [SIZE]]. Each round reads the file with its own store, sets KEY
// (VALUE repeated up to SIZE bytes, for long writes) and writes. Exit code
// 0 when every write succeeded, 1 otherwise.
#include <cstdlib>
#include <string>

#include "oxPreferences.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        return 2;
    }
    const int rounds = argc > 4 ? std::atoi(argv[4]) : 1;
    std::string value = argv[3];
    const size_t size = argc > 5 ? static_cast<size_t>(std::atol(argv[5])) : 0;
    while (!value.empty() && value.size() < size) {
        value += value;
    }
    for (int round = 0; round < rounds; ++round) {
        oxPreferences store(oxPreferences::readWhenChanged, oxPreferences::writeWhenAsked);
        store.setFileName(argv[1]);
        store.read();
        if (!store.set(argv[2], value) || !store.write(false)) {
            return 1;
        }
    }
    return 0;
}
