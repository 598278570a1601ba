#pragma once
// The table of the technicians' guide that explains every text a run can end
// with, read as its reader sees it, and the matching of a text shown by the
// program against the table's entries.

#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace torvane::test {

inline constexpr std::string_view GuideTableHeading = "Every text a run can end with";

// The code spans in the first cell of each row of the guide's table of end
// texts, as a reader sees them: a span that begins and ends with a blank
// loses one blank at each end, so "`  CHK Error !!  `" reads " CHK Error !! ".
inline std::vector<std::string> GuideTableTexts(std::istream& guide) {
    std::vector<std::string> texts;
    std::string line;
    bool inSection = false;
    while (std::getline(guide, line)) {
        if (line.starts_with("## ")) inSection = line.find(GuideTableHeading) != std::string::npos;
        if (!inSection || !line.starts_with("|")) continue;
        const std::size_t cellEnd = line.find('|', 1);
        const std::string cell = line.substr(1, cellEnd == std::string::npos ? std::string::npos : cellEnd - 1);
        for (std::size_t open = cell.find('`'); open != std::string::npos; open = cell.find('`', open)) {
            const std::size_t close = cell.find('`', open + 1);
            if (close == std::string::npos) break;
            std::string text = cell.substr(open + 1, close - open - 1);
            if (text.size() >= 2 && text.front() == ' ' && text.back() == ' ' &&
                text.find_first_not_of(' ') != std::string::npos)
                text = text.substr(1, text.size() - 2);
            texts.push_back(text);
            open = close + 1;
        }
    }
    return texts;
}

// Whether `text` reads as `pattern`, where each "<...>" of the pattern
// stands for a value of one or more characters.
inline bool MatchesGuideText(std::string_view pattern, std::string_view text) {
    const std::size_t hole = pattern.find('<');
    const std::size_t holeEnd = hole == std::string_view::npos ? hole : pattern.find('>', hole);
    if (holeEnd == std::string_view::npos) return pattern == text;
    if (!text.starts_with(pattern.substr(0, hole))) return false;
    const std::string_view rest = pattern.substr(holeEnd + 1);
    for (std::size_t at = hole + 1; at <= text.size(); ++at)
        if (MatchesGuideText(rest, text.substr(at))) return true;
    return false;
}

inline bool GuideExplains(const std::vector<std::string>& table, std::string_view text) {
    for (const std::string& pattern : table)
        if (MatchesGuideText(pattern, text)) return true;
    return false;
}

}  // namespace torvane::test
