// The floor for a whole run of the tool: start a process and write a
// four-line preferences file, nothing else.
#include <cstdio>

int main() {
    FILE* file = std::fopen("preferences.cfg", "wb");
    if (file == nullptr)
        return 1;
    std::fputs(
        "<Database value=\"MSSQL\" />\r\n<DatabaseServer value=\"server\" />\r\n"
        "<DatabaseUsername value=\"user\" />\r\n"
        "<DatabasePassword value=\"0123456789ABCDEF0123456789ABCDEF01\" />\r\n",
        file);
    return std::fclose(file) == 0 ? 0 : 1;
}
