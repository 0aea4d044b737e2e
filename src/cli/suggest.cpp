// Edit distance (optimal string alignment) and the closest-word choice.
#include "cli/suggest.h"

#include "base/strings.h"

#include <algorithm>

int suggest_distance(const std::string &a8, const std::string &b8) {
    std::u32string a = str_code_points(a8), b = str_code_points(b8);
    size_t n = a.size(), m = b.size();
    std::vector<std::vector<int>> d(n + 1, std::vector<int>(m + 1));
    for (size_t i = 0; i <= n; i++)
        d[i][0] = static_cast<int>(i);
    for (size_t j = 0; j <= m; j++)
        d[0][j] = static_cast<int>(j);
    for (size_t i = 1; i <= n; i++) {
        for (size_t j = 1; j <= m; j++) {
            int cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[n][m];
}

std::optional<std::string> suggest_closest(const std::string &word,
                                           const std::vector<std::string> &candidates) {
    int allowed = str_code_points(word).size() <= 4 ? 1 : 2;
    std::optional<std::string> best;
    int best_d = allowed + 1;
    for (const std::string &c : candidates) {
        int d = suggest_distance(str_lower(word), c);
        if (d < best_d) {
            best_d = d;
            best = c;
        }
    }
    return best;
}
