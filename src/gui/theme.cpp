// The launcher's one stylesheet: a dark, warm theme with an orange accent.
// Loaded once at activation, before the window is built (interface thread).
#include "gui/theme.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <gtk/gtk.h>

static const char k_stylesheet[] = R"css(
window, popover, label, entry, button, text {
  font-family: 'Segoe UI', Tahoma, 'DejaVu Sans', sans-serif;
}
window.zyl { background: #1a1714; color: #b9b0a3; font-size: 14px; }

/* rail */
.rail { background: #141210; border-right: 1px solid #2c2722; padding: 10px 0 12px 0; }
.logo { margin-bottom: 12px; }
button.nav { background: transparent; border: none; box-shadow: none; min-width: 42px;
  min-height: 42px; border-radius: 12px; color: #8f8579; padding: 0; }
button.nav:hover { background: #221e19; color: #d6cdbf; }
button.nav.on { background: #2a251f; color: #e8913a; }
button.avbtn { min-width: 32px; min-height: 32px; border-radius: 8px; padding: 0;
  background: transparent; border: none; box-shadow: none; }
.avatar { background: #e8913a; color: #1a1208; font-weight: bold; font-size: 18px;
  border-radius: 10px; }
.avatar.small { font-size: 15px; border-radius: 8px; }
.skinface { border-radius: 8px; }

/* top bar */
.topbar { border-bottom: 1px solid #2c2722; padding: 0 20px; min-height: 48px; font-size: 13px; }
.crumb { color: #a0968a; }
.crumb-sep { color: #8f8579; }
.crumb-b { color: #fff; font-weight: 500; }
.status { font-size: 12px; color: #a0968a; }
entry.srch { border-radius: 10px; min-height: 32px; }
entry.srch:focus-within { border-color: #e8913a; }
entry.srch image { color: #9aa1ab; }
button.run { border-radius: 10px; padding: 4px 12px; font-size: 12px; background: #25211c;
  border: none; box-shadow: none; color: #b9b0a3; }
button.run:hover { background: #2f2a24; }
.dot { min-width: 8px; min-height: 8px; border-radius: 999px; background: #e8913a; }

/* typography */
.h1 { color: #fff; font-weight: bold; font-size: 22px; }
.sub { font-size: 13px; }
.sub2 { font-size: 12px; color: #a0968a; }
.h3 { color: #fff; font-weight: bold; font-size: 13px; }
.hint { font-size: 12px; color: #a0968a; }
.statusline { font-size: 12px; }
.kv-k { font-size: 13px; }
.kv-v { color: #fff; font-weight: bold; font-size: 13px; }
.li-l { font-size: 13px; }
.ram-val { color: #fff; font-weight: bold; font-size: 13px; }

/* panels and rows */
.box, .side { background: #211d19; border-radius: 16px; padding: 18px; }
.tip { background: #211d19; border-radius: 14px; padding: 12px 16px; font-size: 12px; }
.tip-b { color: #fff; font-weight: 500; }
.tile { background: #25211c; border-radius: 10px; padding: 8px 10px; font-size: 11px; }
.tile-v { color: #fff; font-size: 13px; }
.li { border-bottom: 1px solid #2f2a24; padding: 9px 0; }
.mod { padding: 5px 0; }
list.plain, list.plain > row { background: transparent; }
list.plain > row:hover, list.plain > row:selected { background: transparent; }
.notice { background: #211d19; border: 1px dashed #4a3f33; border-radius: 14px;
  padding: 16px 18px; font-size: 13px; color: #d6cdbf; }

/* buttons */
button.btn, button.newb { background: #25211c; border: none; box-shadow: none; color: #b9b0a3;
  border-radius: 10px; padding: 6px 14px; font-size: 13px; font-weight: 500; }
button.btn:hover, button.newb:hover { background: #302a23; }
button.btn.danger:hover { background: #4a2420; color: #ffb4a8; }
button.linkbtn { background: transparent; border: none; box-shadow: none; padding: 0;
  font-size: 12px; color: #a0968a; }
button.linkbtn:hover { color: #e8913a; }
button.linkacc { background: transparent; border: none; box-shadow: none; padding: 0;
  font-size: 12px; color: #e8913a; }
button.accent { background: #e8913a; color: #1a1208; border: none; box-shadow: none;
  border-radius: 10px; padding: 7px 16px; font-weight: bold; font-size: 13px; }
button.accent:hover { background: #f09d4b; }
button.accent:disabled { background: #3a3128; color: #8f8579; }
button.done, button.done:disabled { background: transparent; color: #e8913a; border: none;
  box-shadow: none; font-weight: 500; padding: 7px 4px; }
button.big { background: #e8913a; border: none; box-shadow: none; border-radius: 12px;
  padding: 12px; font-weight: bold; font-size: 15px; }
button.big label, button.big .vicon { color: #1a1208; }
button.big:hover { background: #f09d4b; }
button.big:disabled { background: #3a3128; }
button.big:disabled label, button.big:disabled .vicon { color: #8f8579; }
button.pl { min-width: 40px; min-height: 40px; border-radius: 999px; padding: 0;
  background: #302a23; color: #d6cdbf; border: none; box-shadow: none; }
button.pl:hover { background: #3a3229; }
.icard.selected button.pl { background: #e8913a; color: #1a1208; }
button.xbtn { min-width: 28px; min-height: 28px; border-radius: 8px; padding: 0;
  background: transparent; border: none; box-shadow: none; color: #8f8579; }
button.xbtn:hover { background: #4a2420; color: #ffb4a8; }
button.vq { background: #25211c; border: 2px solid transparent; box-shadow: none;
  border-radius: 10px; padding: 6px; color: #b9b0a3; }
button.vq:hover { background: #2f2a24; }
button.vq.on { border-color: #e8913a; color: #fff; }
button.chip, .chips > button { background: #25211c; border: none; box-shadow: none;
  border-radius: 999px; padding: 4px 13px; font-size: 12px; font-weight: 500; color: #b9b0a3; }
button.chip:hover, .chips > button:hover { background: #2f2a24; }
button.chip.on, .chips > button:checked { background: #e8913a; color: #1a1208; }
.seg2 { background: #25211c; border-radius: 10px; padding: 3px; }
.seg2 > button { background: transparent; border: none; box-shadow: none; padding: 4px 10px;
  font-size: 13px; font-weight: 500; color: #b9b0a3; border-radius: 8px; }
.seg2 > button:checked { background: #e8913a; color: #1a1208; }

/* cards and badges */
.icard { background: #25211c; border-radius: 14px; padding: 14px; border: 2px solid transparent; }
.icard:hover { background: #2a251f; }
.icard.selected { border-color: #e8913a; }
.iname { color: #fff; font-weight: bold; font-size: 14px; }
.isub { font-size: 12px; }
.ismall { font-size: 11px; color: #9aa1ab; }
.side-name { color: #fff; font-weight: bold; font-size: 17px; }
.badge { color: #fff; font-weight: bold; border-radius: 12px; }
.badge.ic { font-size: 20px; }
.badge.bigic { font-size: 22px; border-radius: 12px; }
.badge.mi { font-size: 13px; border-radius: 9px; }
.c0 { background: #3a8a4f; } .c1 { background: #c8732e; } .c2 { background: #5468b0; }
.c3 { background: #2f8f8a; } .c4 { background: #8a6a3a; } .c5 { background: #6b6b6b; }
.c6 { background: #8a3d55; } .c7 { background: #4a4a9a; }

/* content results */
.res { background: #25211c; border-radius: 14px; padding: 14px; margin-bottom: 10px; }
.micon { background: #302a23; border-radius: 12px; }
.mtitle { color: #fff; font-weight: bold; font-size: 15px; }
.mauthor { color: #9aa1ab; font-size: 12px; }
.mdesc { font-size: 13px; }
.tag, .tag-mr, .tag-cf { border-radius: 999px; padding: 1px 9px; font-size: 11px;
  background: #302a23; }
.tag-mr { color: #1bd96a; background: rgba(27,217,106,0.14); font-weight: 600; }
.tag-cf { color: #f5845e; background: rgba(241,100,54,0.16); font-weight: 600; }
.mstat { font-size: 12px; color: #a0968a; }
.mod-t { color: #fff; font-size: 13px; font-weight: 500; }
.mod-s { font-size: 12px; color: #a0968a; }
.chan { border-radius: 999px; padding: 0 7px; font-size: 10px; font-weight: 600;
  color: #f0c15a; background: rgba(240,193,90,0.14); }
.chan.alpha { color: #ff9b8a; background: rgba(255,155,138,0.14); }
.off .mod-t, .off .badge { opacity: 0.45; }
.newer { font-size: 11px; font-weight: 600; color: #1bd96a; }
switch { margin: 0 2px; }

/* account and log */
.acc-who { color: #fff; font-weight: bold; font-size: 13px; }
.acc-err { font-size: 12px; color: #ff9b8a; }
.acc-link { font-size: 12px; }
.acc-link link { color: #e8913a; }
link { color: #e8913a; }
.logframe { background: #110f0d; border-radius: 12px; }
textview.logview, textview.logview text {
  background: #110f0d; color: #9aa4ae;
  font-family: 'JetBrains Mono', Consolas, 'DejaVu Sans Mono', monospace; font-size: 12px;
}
.vicon { color: inherit; }

/* elements */
window.zyl entry, window.zyl spinbutton, window.zyl dropdown > button,
window.zyl passwordentry, window.zyl searchentry {
  background: #25211c; color: #b9b0a3; border: 1px solid #25211c; border-radius: 10px;
  min-height: 34px; box-shadow: none;
}
window.zyl entry:focus-within, window.zyl entry:hover,
window.zyl spinbutton:focus-within, window.zyl spinbutton:hover,
window.zyl dropdown > button:hover, window.zyl dropdown > button:focus,
window.zyl passwordentry:focus-within, window.zyl passwordentry:hover,
window.zyl searchentry:focus-within, window.zyl searchentry:hover { border-color: #e8913a; }
window.zyl text placeholder { color: #9aa1ab; opacity: 1; }
checkbutton check { border-radius: 5px; background: #25211c; border: 1px solid #3a3229; }
checkbutton check:checked { background: #e8913a; border-color: #e8913a; color: #1a1208; }
popover > contents { background: #25211c; color: #d6cdbf; border-radius: 10px; }
popover row:selected { background: #3a3128; }
scale { padding: 10px 8px; }
scale trough { min-height: 6px; border-radius: 3px; background: #302a23; }
scale highlight { background: #e8913a; border-radius: 3px; }
scale slider { min-width: 16px; min-height: 16px; border-radius: 999px; background: #fff;
  border: none; box-shadow: none; margin: -6px; }
switch { border-radius: 999px; background: #302a23; border: none; }
switch:checked { background: #e8913a; }
switch slider { background: #8f8579; border-radius: 999px; border: none; box-shadow: none; }
switch:checked slider { background: #1a1208; }
progressbar trough, progressbar progress { min-height: 6px; border-radius: 4px; }
progressbar trough { background: #302a23; }
progressbar progress { background: #e8913a; }
flowboxchild { padding: 0; background: transparent; }
scrollbar slider { min-width: 6px; border-radius: 999px; background: #3a3229; }
tooltip, tooltip.background { background: #2a251f; color: #fff; border-radius: 8px; }
tooltip label { color: #fff; }
/* Keyboard focus: a ring in the accent colour around whatever has it, drawn
   only after keyboard use (:focus-visible), so mouse use keeps its look. */
window.zyl button:focus-visible, window.zyl switch:focus-visible,
window.zyl checkbutton:focus-visible > check, window.zyl scale:focus-visible slider,
window.zyl flowboxchild:focus-visible, window.zyl row:focus-visible,
window.zyl label:focus-visible, window.zyl popover row:focus-visible,
messagedialog button:focus-visible, window.dialog button:focus-visible {
  outline: 2px solid #e8913a; outline-offset: 2px;
}
window.zyl flowboxchild:focus-visible { border-radius: 16px; }
window.zyl row:focus-visible { outline-offset: -2px; border-radius: 10px; }
window.zyl entry:focus-within, window.zyl spinbutton:focus-within,
window.zyl passwordentry:focus-within, window.zyl searchentry:focus-within {
  outline: 1px solid #e8913a; outline-offset: 0;
}

/* dialogs: the destructive answer looks like one */
button.destructive-action { background: #4a2420; color: #ffb4a8; font-weight: bold; }
button.destructive-action:hover { background: #5c2b25; }
/* the update button of an installed file: not the red of removal */
button.xbtn.upd:hover { background: #2f2a24; color: #e8913a; }
.warn { font-size: 12px; color: #ffb4a8; }
.field-err { font-size: 12px; color: #ff9b8a; }
)css";

const char *theme_stylesheet() {
    return k_stylesheet;
}

static std::string trimmed(const std::string &s) {
    size_t a = s.find_first_not_of(" \t\n"), b = s.find_last_not_of(" \t\n");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// Whether a comma-separated selector list names selector exactly.
static bool selector_listed(const std::string &list, const std::string &selector) {
    size_t at = 0;
    while (at <= list.size()) {
        size_t comma = list.find(',', at);
        if (comma == std::string::npos) comma = list.size();
        if (trimmed(list.substr(at, comma - at)) == selector) return true;
        at = comma + 1;
    }
    return false;
}

// The value of property in one rule body; none when it is not declared.
static std::optional<std::string> declared(const std::string &body, const std::string &property) {
    size_t d = 0;
    while (d < body.size()) {
        size_t semi = body.find(';', d);
        if (semi == std::string::npos) semi = body.size();
        std::string decl = body.substr(d, semi - d);
        size_t colon = decl.find(':');
        if (colon != std::string::npos && trimmed(decl.substr(0, colon)) == property)
            return trimmed(decl.substr(colon + 1));
        d = semi + 1;
    }
    return std::nullopt;
}

std::optional<std::string> theme_rule_value(const char *css, const std::string &selector,
                                            const std::string &property) {
    std::string text = css;
    std::optional<std::string> found; // the last declaration wins, as in the cascade
    size_t at = 0;
    while (true) {
        size_t open = text.find('{', at);
        size_t close = open == std::string::npos ? open : text.find('}', open);
        if (close == std::string::npos) return found;
        std::string head = text.substr(at, open - at);
        // Comments before a rule belong to no selector.
        for (size_t c = head.find("/*"); c != std::string::npos; c = head.find("/*")) {
            size_t e = head.find("*/", c);
            head.erase(c, e == std::string::npos ? std::string::npos : e + 2 - c);
        }
        if (selector_listed(head, selector))
            if (auto v = declared(text.substr(open + 1, close - open - 1), property)) found = v;
        at = close + 1;
    }
}

std::optional<ThemeColour> theme_parse_colour(const std::string &value) {
    std::string v = trimmed(value);
    ThemeColour c;
    if (v.size() >= 4 && v[0] == '#') {
        std::string hex = v.substr(1, v.find_first_of(" ;") - 1);
        unsigned x = 0;
        if (hex.size() != 3 && hex.size() != 6) return std::nullopt;
        if (sscanf(hex.c_str(), "%x", &x) != 1) return std::nullopt;
        if (hex.size() == 3)
            x = (x >> 8 & 0xf) * 0x110000 + (x >> 4 & 0xf) * 0x1100 + (x & 0xf) * 0x11;
        c.r = (x >> 16 & 0xff) / 255.0;
        c.g = (x >> 8 & 0xff) / 255.0;
        c.b = (x & 0xff) / 255.0;
        return c;
    }
    double r, g, b, a;
    if (sscanf(v.c_str(), "rgba(%lf,%lf,%lf,%lf)", &r, &g, &b, &a) == 4) {
        c = {r / 255, g / 255, b / 255, a};
        return c;
    }
    return std::nullopt;
}

ThemeColour theme_over(ThemeColour top, ThemeColour below) {
    auto mix = [&](double t, double u) { return t * top.a + u * (1 - top.a); };
    return {mix(top.r, below.r), mix(top.g, below.g), mix(top.b, below.b), 1};
}

static double luminance(ThemeColour c) {
    auto lin = [](double x) {
        return x <= 0.03928 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(c.r) + 0.7152 * lin(c.g) + 0.0722 * lin(c.b);
}

double theme_contrast(ThemeColour text, ThemeColour background) {
    double a = luminance(theme_over(text, background)), b = luminance(background);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

void theme_load() {
    g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", TRUE, nullptr);
    GtkCssProvider *css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, k_stylesheet, -1);
    gtk_style_context_add_provider_for_display(gdk_display_get_default(), GTK_STYLE_PROVIDER(css),
                                               600);
    g_object_unref(css);
}
