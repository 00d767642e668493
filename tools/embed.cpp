// embed: writes a file's bytes as a C++ array, so that the program carries its image and font.
// Usage: embed INPUT OUTPUT.cpp ARRAY_NAME SIZE_NAME
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: embed INPUT OUTPUT.cpp ARRAY_NAME SIZE_NAME\n");
        return 2;
    }
    std::FILE* in = std::fopen(argv[1], "rb");
    if (!in) {
        std::perror(argv[1]);
        return 1;
    }
    std::vector<unsigned char> bytes;
    for (int c; (c = std::fgetc(in)) != EOF;) bytes.push_back(static_cast<unsigned char>(c));
    std::fclose(in);
    std::FILE* out = std::fopen(argv[2], "w");
    if (!out) {
        std::perror(argv[2]);
        return 1;
    }
    std::fprintf(out, "// Generated from %s; do not edit.\n", argv[1]);
    std::fprintf(out, "extern const unsigned char %s[];\nextern const long %s;\n", argv[3], argv[4]);
    std::fprintf(out, "const long %s = %zu;\n", argv[4], bytes.size());
    std::fprintf(out, "alignas(16) const unsigned char %s[] = {", argv[3]);
    for (size_t i = 0; i < bytes.size(); ++i)
        std::fprintf(out, "%s%u,", i % 24 == 0 ? "\n" : "", bytes[i]);
    std::fprintf(out, "\n};\n");
    return std::fclose(out) == 0 ? 0 : 1;
}
