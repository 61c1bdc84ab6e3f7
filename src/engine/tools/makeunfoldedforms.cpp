// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the table of unfolded forms that textdecoding.cpp includes: the code points c whose
// simple case folding (as this Qt gives it) is another code point f, as two arrays, kFoldedOf
// (each f) and kUnfolded (each c), sorted by f and then c. Run at build time, so that the table is
// the folding of the Qt the engine is built with.
#include <QChar>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    std::vector<std::pair<char32_t, char32_t>> rows;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) {
            continue;
        }
        const char32_t f = QChar::toCaseFolded(c);
        if (f != c) {
            rows.emplace_back(f, c);
        }
    }
    std::sort(rows.begin(), rows.end());
    std::FILE* out = std::fopen(argv[1], "w");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(out, "// Made by makeunfoldedforms at build time.\n");
    std::fprintf(out, "constexpr char32_t kFoldedOf[] = {\n");
    for (const auto& row : rows) {
        std::fprintf(out, "0x%X,\n", unsigned(row.first));
    }
    std::fprintf(out, "};\nconstexpr char32_t kUnfolded[] = {\n");
    for (const auto& row : rows) {
        std::fprintf(out, "0x%X,\n", unsigned(row.second));
    }
    std::fprintf(out, "};\n");
    return std::fclose(out) == 0 ? 0 : 1;
}
