// Stands in for the report program in the Windows crash tests: writes the two arguments it was
// started with to "courier.txt" in the dump directory (its first argument).
#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    std::string path = std::string(argv[1]) + "\\courier.txt";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return 1;
    std::fprintf(file, "%s|%s", argv[1], argv[2]);
    return std::fclose(file) == 0 ? 0 : 1;
}
