// torvane-mkimage: packs the product configuration into C++ for the build.
//
//   torvane-mkimage --product DIR --out FILE [--identity TEXT | --no-identity]
//
// On bad product data it prints "file:line: message" and exits with 1, so the
// build stops at the line to fix. What it leaves out of a HEX file on purpose
// (configuration words and the like) it names on stderr as "file:line: note: ...".

#include <cstring>
#include <fstream>
#include <iostream>

#include "tools/mkimage/ProductPacker.h"

int main(int argc, char** argv) {
    using namespace torvane::mkimage;
    std::string productDir, outFile;
    std::optional<std::optional<std::string>> identity;  // outer: override given
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--product" && i + 1 < argc) productDir = argv[++i];
        else if (a == "--out" && i + 1 < argc) outFile = argv[++i];
        else if (a == "--identity" && i + 1 < argc) identity = std::optional<std::string>(argv[++i]);
        else if (a == "--no-identity") identity = std::optional<std::string>();
        else {
            std::cerr << "usage: torvane-mkimage --product DIR --out FILE [--identity TEXT | --no-identity]\n";
            return 2;
        }
    }
    if (productDir.empty() || outFile.empty()) {
        std::cerr << "torvane-mkimage: --product and --out are required\n";
        return 2;
    }
    try {
        Product p = LoadProduct(productDir);
        for (const auto& note : p.notes) std::cerr << note << "\n";
        if (identity) p.identity = *identity;
        const std::string source = GenerateSource(p);
        const std::string tmp = outFile + ".tmp";
        {
            std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
            out << source;
            if (!out.flush()) {
                std::cerr << "torvane-mkimage: cannot write " << tmp << "\n";
                return 1;
            }
        }
        if (std::rename(tmp.c_str(), outFile.c_str()) != 0) {
            std::cerr << "torvane-mkimage: cannot write " << outFile << ": " << std::strerror(errno) << "\n";
            return 1;
        }
    } catch (const PackError& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return 0;
}
