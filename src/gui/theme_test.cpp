// The stylesheet's text colours over the surfaces they sit on reach the WCAG
// AA ratio for normal text (4.5:1). Disabled controls are exempt, as in WCAG.
#include "gui/theme.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Layer {
    const char *selector, *property;
};

struct Pair {
    Layer text;
    std::vector<Layer> surfaces; // bottom first; the bottom one is opaque
};

const Layer k_window{"window.zyl", "background"};
const Layer k_panel{".box", "background"};
const Layer k_raised{"window.zyl entry", "background"};
const Layer k_card{".icard", "background"};
const Layer k_card_hover{".icard:hover", "background"};
const Layer k_result{".res", "background"};

// Each text rule with the surfaces it is shown on (its worst case where it
// appears on several).
const Pair k_pairs[] = {
    {{"window.zyl", "color"}, {k_window}},
    {{"window.zyl", "color"}, {k_card_hover}},
    {{".crumb", "color"}, {k_window}},
    {{".crumb-sep", "color"}, {k_window}},
    {{".status", "color"}, {k_window}},
    {{".sub2", "color"}, {k_panel}},
    {{".sub2", "color"}, {k_window}},
    {{".hint", "color"}, {k_panel}},
    {{"button.linkbtn", "color"}, {k_result}},
    {{"button.linkacc", "color"}, {{".tip", "background"}}},
    {{".ismall", "color"}, {k_card}},
    {{".ismall", "color"}, {k_card_hover}},
    {{".mauthor", "color"}, {k_result}},
    {{".mstat", "color"}, {k_result}},
    {{".mod-s", "color"}, {k_panel}},
    {{".tag-cf", "color"}, {k_result, {".tag-cf", "background"}}},
    {{".tag-mr", "color"}, {k_result, {".tag-mr", "background"}}},
    {{"window.zyl", "color"}, {k_result, {".tag, .tag-mr, .tag-cf", "background"}}},
    {{"window.zyl text placeholder", "color"}, {k_raised}},
    {{"window.zyl entry", "color"}, {k_raised}},
    {{".tip-b", "color"}, {{".tip", "background"}}},
    {{".tile-v", "color"}, {{".tile", "background"}}},
    {{"button.btn", "color"}, {{"button.btn:hover", "background"}}},
    {{"button.accent", "color"}, {{"button.accent", "background"}}},
    {{"button.accent", "color"}, {{"button.accent:hover", "background"}}},
    {{"button.big label", "color"}, {{"button.big", "background"}}},
    {{"button.done", "color"}, {k_result}},
    {{"button.chip", "color"}, {{"button.chip:hover", "background"}}},
    {{"button.chip.on", "color"}, {{"button.chip.on", "background"}}},
    {{".seg2 > button", "color"}, {{".seg2", "background"}}},
    {{".seg2 > button:checked", "color"}, {{".seg2 > button:checked", "background"}}},
    {{"button.vq", "color"}, {{"button.vq:hover", "background"}}},
    {{"button.run", "color"}, {{"button.run:hover", "background"}}},
    {{".notice", "color"}, {{".notice", "background"}}},
    {{".acc-err", "color"}, {k_panel}},
    {{".field-err", "color"}, {k_panel}},
    {{".warn", "color"}, {k_panel}},
    {{"link", "color"}, {k_panel}},
    {{"popover > contents", "color"}, {{"popover > contents", "background"}}},
    {{"popover > contents", "color"}, {{"popover row:selected", "background"}}},
    {{"tooltip label", "color"}, {{"tooltip, tooltip.background", "background"}}},
    {{"button.destructive-action", "color"}, {{"button.destructive-action:hover", "background"}}},
    {{"button.btn.danger:hover", "color"}, {{"button.btn.danger:hover", "background"}}},
    {{"textview.logview, textview.logview text", "color"},
     {{"textview.logview, textview.logview text", "background"}}},
};

std::string name_of(const Layer &l) {
    return std::string(l.selector) + " " + l.property;
}

// A selector list given whole ("a, b") is looked up by its first member.
std::string first_selector(const char *list) {
    std::string s = list;
    return s.substr(0, s.find(','));
}

ThemeColour colour_of(const char *css, const Layer &l) {
    auto value = theme_rule_value(css, first_selector(l.selector), l.property);
    EXPECT_TRUE(value) << "no " << name_of(l);
    auto c = value ? theme_parse_colour(*value) : std::nullopt;
    EXPECT_TRUE(c) << name_of(l) << ": " << value.value_or("");
    return c.value_or(ThemeColour{});
}

// The contrast of a text rule over its surfaces as the user sees it: the
// surfaces laid over each other, the text's alpha and its rule's opacity
// (GTK themes fade placeholders) blended in.
double contrast_of(const char *css, const Pair &p) {
    ThemeColour surface = colour_of(css, p.surfaces[0]);
    for (size_t i = 1; i < p.surfaces.size(); i++)
        surface = theme_over(colour_of(css, p.surfaces[i]), surface);
    ThemeColour text = colour_of(css, p.text);
    if (auto o = theme_rule_value(css, first_selector(p.text.selector), "opacity"))
        text.a *= std::stod(*o);
    return theme_contrast(text, surface);
}

} // namespace

TEST(Theme, EveryTextReachesAaContrast) {
    for (const Pair &p : k_pairs)
        EXPECT_GE(contrast_of(theme_stylesheet(), p), 4.5)
            << name_of(p.text) << " on " << name_of(p.surfaces.back());
}

// White that is translucent, or faded by its rule, shows as a grey on the
// dark window and fails where opaque white passes.
TEST(Theme, TranslucentTextIsMeasuredAsShown) {
    std::string css = "window.zyl { background: " +
                      *theme_rule_value(theme_stylesheet(), "window.zyl", "background") +
                      "; } .solid { color: #fff; } .glass { color: rgba(255,255,255,0.3); } "
                      ".faded { color: #fff; opacity: 0.3; }";
    const std::pair<const char *, bool> cases[] = {
        {".solid", true}, {".glass", false}, {".faded", false}};
    for (const auto &[selector, passes] : cases)
        EXPECT_EQ(contrast_of(css.c_str(), {{selector, "color"}, {k_window}}) >= 4.5, passes)
            << selector;
}

TEST(Theme, ColourReader) {
    const char *css = "/* a */ .a, .b { color: #fff; background: rgba(0,0,0,0.5) } "
                      ".c:hover { color: #102030; opacity: 0.5; }";
    EXPECT_EQ(theme_rule_value(css, ".b", "color"), "#fff");
    EXPECT_EQ(theme_rule_value(css, ".a", "background"), "rgba(0,0,0,0.5)");
    EXPECT_EQ(theme_rule_value(css, ".c:hover", "opacity"), "0.5");
    EXPECT_EQ(theme_rule_value(css, ".c", "color"), std::nullopt);
    EXPECT_EQ(theme_rule_value(css, ".a", "border"), std::nullopt);
    ThemeColour white = *theme_parse_colour("#fff"), black = *theme_parse_colour("#000000");
    EXPECT_NEAR(theme_contrast(white, black), 21.0, 1e-9);
    EXPECT_NEAR(theme_contrast(*theme_parse_colour("#777"), white), 4.48, 0.01);
    // Half-transparent white over black is mid-grey.
    EXPECT_NEAR(theme_over(*theme_parse_colour("rgba(255,255,255,0.5)"), black).r, 0.5, 1e-9);
    EXPECT_EQ(theme_parse_colour("transparent"), std::nullopt);
}
