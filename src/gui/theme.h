// The stylesheet and the dark-theme preference, applied to the default display.
#pragma once

#include <optional>
#include <string>

// Interface thread, before the window is created.
void theme_load();

// The stylesheet's text (any thread; for checks of the theme itself).
const char *theme_stylesheet();

// An sRGB colour with straight alpha, each part 0..1.
struct ThemeColour {
    double r = 0, g = 0, b = 0, a = 1;
};
// The value of property for selector: the last declaration of it in a rule
// whose selector list names selector exactly; none when there is none.
std::optional<std::string> theme_rule_value(const char *css, const std::string &selector,
                                            const std::string &property);
// "#rgb", "#rrggbb" or "rgba(r,g,b,a)" (also as the first word of a
// "background" shorthand); none for anything else.
std::optional<ThemeColour> theme_parse_colour(const std::string &value);
// WCAG 2 contrast ratio of text over an opaque background (1 to 21); the
// text's alpha blends it into the background first.
double theme_contrast(ThemeColour text, ThemeColour background);
// A translucent colour laid over an opaque one.
ThemeColour theme_over(ThemeColour top, ThemeColour below);
