// Writes a preferences file with one store and reads it back with another,
// through the installed kiln. Exit code 0 when the value came back whole.
#include <cstdio>
#include <string>

#include "oxPreferences.h"

int main() {
    const std::string fileName = "consumer.cfg";
    // Characters the file format must escape, and a non-ASCII byte.
    const std::string value = "DBHOST\\SQL <\"&'> \xE9";
    {
        oxPreferences writer(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
        writer.setFileName(fileName);
        if (!writer.set("Greeting", value) || !writer.write(true)) {
            fputs("Unable to write the preferences file.\n", stderr);
            return 1;
        }
    }
    oxPreferences reader(oxPreferences::readOnce, oxPreferences::writeWhenAsked);
    reader.setFileName(fileName);
    std::string readBack;
    if (!reader.get("Greeting", readBack) || readBack != value) {
        fprintf(stderr, "Read back \"%s\" instead of \"%s\".\n", readBack.c_str(), value.c_str());
        return 1;
    }
    printf("kiln consumer: preferences written and read back\n");
    return 0;
}
