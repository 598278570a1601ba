// Settings text: whatever parses, formats into text that parses to the same
// keys and values, and formatting that again gives the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "formats/RegistryDocument.h"

using namespace torvane;

namespace {

bool SameValue(const RegValue& a, const RegValue& b) {
    return a.name == b.name && a.form == b.form && a.text == b.text && a.number == b.number &&
           a.hexType == b.hexType && a.bytes == b.bytes;
}

bool SameDocument(const RegistryDocument& a, const RegistryDocument& b) {
    if (a.keys.size() != b.keys.size() || a.preamble != b.preamble) return false;
    for (std::size_t k = 0; k < a.keys.size(); ++k) {
        if (a.keys[k].path != b.keys[k].path || a.keys[k].values.size() != b.keys[k].values.size()) return false;
        for (std::size_t v = 0; v < a.keys[k].values.size(); ++v)
            if (!SameValue(a.keys[k].values[v], b.keys[k].values[v])) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ParsedRegistry first = ParseRegistryText(text);
    if (!first.error.empty()) return 0;
    const std::string formatted = FormatRegistryText(first.document);
    const ParsedRegistry second = ParseRegistryText(formatted);
    if (!second.error.empty() || !SameDocument(first.document, second.document)) std::abort();
    if (FormatRegistryText(second.document) != formatted) std::abort();
    return 0;
}
