// Stands in for the programs the editor starts (WinAMP, an archiver): writes the command line
// it was started with to args.txt beside itself, then ends.
#include <windows.h>

#include <cstdio>
#include <string>

int main() {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string out(self);
    out = out.substr(0, out.find_last_of('\\') + 1) + "args.txt";
    std::string part = out + ".part";
    if (FILE* f = std::fopen(part.c_str(), "wb")) {
        std::fputs(GetCommandLineA(), f);
        std::fclose(f);
        MoveFileExA(part.c_str(), out.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    return 0;
}
