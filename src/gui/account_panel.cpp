// The account panel: offline or Brimfell ID mode, sign-in and sign-out on the
// "login" and "logout" workers, and the skin face from the "skin" worker.
//
// Widgets: interface thread only. The workers get copies of their inputs
// (the password copy is wiped right after use) and touch no widget. Every
// read of the stored account goes through the functions at the top of this
// file, so that its locking lives in one place.
#include "gui/account_panel.h"

#include "account/account.h"
#include "account/auth.h"
#include "account/skin.h"
#include "base/fs.h"
#include "config/datadir.h"
#include "config/settings.h"
#include "gui/bridge.h"
#include "gui/page_home.h"
#include "gui/skin_face.h"
#include "gui/widgets.h"
#include "gui/window.h"
#include "net/download.h"

#include <memory>
#include <openssl/crypto.h>

// --- the stored account ------------------------------------------------------

bool account_signed_in() {
    return !account_snapshot().access_token.empty();
}

std::string account_player_name() {
    return account_snapshot().name;
}

std::string account_session_token() {
    return account_snapshot().access_token;
}

static std::string account_profile_id() {
    return account_snapshot().uuid;
}

static std::string account_login_name() {
    return account_snapshot().username;
}

// --- the panel ---------------------------------------------------------------

namespace {
struct AccountPanel {
    GtkLabel *avatar = nullptr, *state = nullptr, *error = nullptr, *who = nullptr;
    GtkLabel *nick_hint = nullptr; // why servers would refuse the nick; hidden when they take it
    GtkImage *skin = nullptr;
    GtkToggleButton *offline = nullptr, *account = nullptr;
    GtkStack *stack = nullptr;
    GtkEntry *nick = nullptr, *login = nullptr;
    FilledText nick_text; // the nick as loaded, until it is edited
    GtkWidget *password = nullptr, *login_button = nullptr, *logout_button = nullptr;
    GdkTexture *face = nullptr; // owned; none without a skin
};
AccountPanel a;
} // namespace

bool account_mode_on() {
    return a.account && gtk_toggle_button_get_active(a.account);
}

std::string account_nick_text() {
    return a.nick ? filled_text_get(a.nick_text) : "";
}

void account_focus_login() {
    gtk_widget_grab_focus(GTK_WIDGET(a.login));
}

void account_focus_main() {
    const char *page = gtk_stack_get_visible_child_name(a.stack);
    if (g_strcmp0(page, "offline") == 0)
        gtk_widget_grab_focus(GTK_WIDGET(a.nick));
    else if (g_strcmp0(page, "out") == 0)
        gtk_widget_grab_focus(GTK_WIDGET(a.login));
    else
        gtk_widget_grab_focus(GTK_WIDGET(a.account));
}

static void set_letters(const std::string &name) {
    std::string letter = badge_letter(name.c_str());
    label_show(a.avatar, letter);
    label_show(gui.rail_avatar, letter);
}

static void show_face(bool shown) {
    gtk_widget_set_visible(GTK_WIDGET(a.skin), shown);
    gtk_widget_set_visible(GTK_WIDGET(gui.rail_skin), shown);
    gtk_widget_set_visible(GTK_WIDGET(a.avatar), !shown);
    gtk_widget_set_visible(GTK_WIDGET(gui.rail_avatar), !shown);
}

static void set_top_nick(const std::string &text, const char *tooltip) {
    label_show(gui.nick_label, text);
    gtk_widget_set_tooltip_text(gui.top_account, tooltip);
    // A screen reader names the button by the nick it shows.
    widget_set_accessible_label(gui.top_account, text.c_str());
}

void update_account_view() {
    bool mode = account_mode_on();
    account_use_set(mode);
    update_selection();

    bool in = account_signed_in();
    std::string name = account_player_name();
    if (mode && in) {
        gtk_stack_set_visible_child_name(a.stack, "in");
        gtk_label_set_text(a.state, "Вход выполнен · скины и серверы с проверкой");
        std::string who = "Вошли как " + name;
        label_show(a.who, who);
    } else if (mode) {
        gtk_stack_set_visible_child_name(a.stack, "out");
        gtk_label_set_text(a.state, "Войдите, чтобы играть с аккаунтом");
    } else {
        gtk_stack_set_visible_child_name(a.stack, "offline");
        gtk_label_set_text(a.state, "Офлайн-режим: любой ник, без пароля");
    }

    bool busy = gui_signin_busy.load();
    gtk_widget_set_sensitive(a.login_button, !busy);
    gtk_widget_set_sensitive(a.logout_button, !busy);
    gtk_button_set_label(GTK_BUTTON(a.login_button), busy ? "Вход..." : "Войти");

    std::string nick = account_nick_text();
    if (mode && in) {
        show_face(a.face != nullptr);
        if (!a.face) set_letters(name);
        set_top_nick(name.empty() ? "Player" : name, "Аккаунт Brimfell ID");
    } else if (mode) {
        show_face(false);
        set_letters(nick);
        set_top_nick("Не выполнен вход", "Режим аккаунта: войдите в Настройках");
    } else {
        show_face(false);
        set_letters(nick);
        set_top_nick(nick.empty() ? "Player" : nick, "Офлайн-режим");
    }
}

// --- skin ------------------------------------------------------------------------

namespace {
struct SkinRequest {
    std::string uuid, cache;
    GdkTexture *face = nullptr; // handed to the interface thread
};
// Skins are small; a larger file or picture is not one.
constexpr long long k_skin_max_bytes = 4 << 20;
constexpr unsigned k_skin_max_side = 2048;
} // namespace

static bool profile_id_valid(const std::string &id) {
    if (id.empty() || id.size() > 32) return false;
    for (char ch : id)
        if (!g_ascii_isxdigit(ch)) return false;
    return true;
}

// Width and height from a PNG's header; false when it is not a PNG.
static bool png_size(const std::string &png, unsigned *w, unsigned *h) {
    static const char sig[] = "\x89PNG\r\n\x1a\n";
    if (png.size() < 24 || png.compare(0, 8, sig, 8) != 0 || png.compare(12, 4, "IHDR") != 0)
        return false;
    auto be32 = [&](size_t at) {
        const auto *p = reinterpret_cast<const unsigned char *>(png.data() + at);
        return unsigned(p[0]) << 24 | unsigned(p[1]) << 16 | unsigned(p[2]) << 8 | p[3];
    };
    *w = be32(16);
    *h = be32(20);
    return true;
}

// The face texture of a skin file, or none.
static GdkTexture *face_from_file(const std::string &path) {
    FileStat st;
    if (fs_stat(path, &st) != 0 || st.size > k_skin_max_bytes) return nullptr;
    std::optional<std::string> png = fs_read_all(path);
    unsigned w = 0, h = 0;
    if (!png || !png_size(*png, &w, &h) || w > k_skin_max_side || h > k_skin_max_side)
        return nullptr;
    GBytes *bytes = g_bytes_new(png->data(), png->size());
    GdkTexture *skin = gdk_texture_new_from_bytes(bytes, nullptr);
    g_bytes_unref(bytes);
    if (!skin) return nullptr;
    int width = gdk_texture_get_width(skin), height = gdk_texture_get_height(skin);
    std::vector<guchar> pixels(static_cast<size_t>(width) * height * 4);
    gdk_texture_download(skin, pixels.data(), static_cast<gsize>(width) * 4);
    g_object_unref(skin);
    std::optional<std::vector<uint8_t>> face = skin_face(pixels.data(), width, height, width * 4);
    if (!face) return nullptr;
    GBytes *out = g_bytes_new(face->data(), face->size());
    GdkTexture *tex =
        gdk_memory_texture_new(k_skin_face_size, k_skin_face_size,
                               GDK_MEMORY_B8G8R8A8_PREMULTIPLIED, out, 4 * k_skin_face_size);
    g_bytes_unref(out);
    return tex;
}

static void skin_work(SkinRequest &r) {
    if (!profile_id_valid(r.uuid)) return;
    std::optional<std::string> url = skin_url(r.uuid);
    if (!url) return;
    std::string path = r.cache + "/skin-" + r.uuid + ".png";
    fs_delete(path);
    if (download_one(*url, path) != 0) return;
    r.face = face_from_file(path);
}

static void set_face(GdkTexture *face) {
    if (a.face) g_object_unref(a.face);
    a.face = face;
    gtk_image_set_from_paintable(a.skin, GDK_PAINTABLE(face));
    gtk_image_set_from_paintable(gui.rail_skin, GDK_PAINTABLE(face));
}

static void skin_done(SkinRequest &r) {
    // A face that arrives after a sign-out (or for another profile) is not shown.
    if (r.face && (!account_signed_in() || account_profile_id() != r.uuid)) {
        g_object_unref(r.face);
        r.face = nullptr;
    }
    set_face(r.face);
    update_account_view();
}

void account_skin_start() {
    std::string uuid = account_profile_id();
    if (uuid.empty()) return;
    auto req = std::make_unique<SkinRequest>();
    req->uuid = uuid;
    req->cache = datapaths().cache;
    gui_worker_start("skin", std::move(req), skin_work, skin_done);
}

// --- sign-in and sign-out -----------------------------------------------------------

namespace {
struct LoginRequest {
    std::string login, password;
    int result = -1;
    std::string error;
};
} // namespace

static void login_work(LoginRequest &r) {
    r.result = auth_login(r.login, r.password, &r.error);
    OPENSSL_cleanse(r.password.data(), r.password.size());
    r.password.clear();
}

static void login_done(LoginRequest &r) {
    gui_signin_busy.store(false);
    if (r.result != 0) {
        label_show(a.error, r.error.empty() ? "Ошибка входа" : r.error, true);
        gtk_widget_set_visible(GTK_WIDGET(a.error), TRUE);
    } else {
        gtk_label_set_text(a.error, "");
        gtk_widget_set_visible(GTK_WIDGET(a.error), FALSE);
        gtk_editable_set_text(GTK_EDITABLE(a.password), "");
        std::string status = "Вошли как " + account_player_name();
        gui_set_status(status.c_str());
        account_skin_start();
    }
    update_account_view();
}

static void on_login(GtkWidget *, gpointer) {
    if (gui_signin_busy.load()) return;
    auto req = std::make_unique<LoginRequest>();
    req->login = gtk_editable_get_text(GTK_EDITABLE(a.login));
    req->password = gtk_editable_get_text(GTK_EDITABLE(a.password));
    if (req->login.empty() || req->password.empty()) {
        OPENSSL_cleanse(req->password.data(), req->password.size());
        gtk_label_set_text(a.error, "Введите логин и пароль");
        gtk_widget_set_visible(GTK_WIDGET(a.error), TRUE);
        return;
    }
    gui_signin_busy.store(true);
    gtk_widget_set_visible(GTK_WIDGET(a.error), FALSE);
    update_account_view();
    gui_set_activity("login");
    gui_worker_start("login", std::move(req), login_work, login_done);
}

static void on_logout(GtkButton *, gpointer) {
    if (gui_signin_busy.load()) return;
    gui_signin_busy.store(true);
    set_face(nullptr);
    update_account_view();
    gui_set_status("Выход из аккаунта");
    auto err = std::make_shared<std::string>();
    gui_worker_start(
        "logout",
        [err] {
            if (auth_logout(err.get()) != 0) *err += " — вход сохранён";
            gui_signin_busy.store(false);
        },
        [err] {
            if (!err->empty()) {
                gui_log(err->c_str());
                gui_set_status(err->c_str());
                account_skin_start();
            } else {
                // The sign-out has finished: the status says so, not that it runs.
                gui_set_status("Вы вышли из аккаунта");
            }
            update_account_view();
        });
}

static void on_mode_toggled(GtkToggleButton *b, gpointer) {
    if (!gtk_toggle_button_get_active(b)) return;
    g_settings.auth_mode = b == a.account ? "account" : "offline";
    settings_save();
    update_account_view();
}

// --- building ------------------------------------------------------------------------

static GtkWidget *registration_link() {
    char *markup =
        g_markup_printf_escaped("<a href=\"%s\">Регистрация</a>", auth_registration_url().c_str());
    GtkWidget *l = gtk_label_new(nullptr);
    gtk_label_set_markup(GTK_LABEL(l), markup);
    g_free(markup);
    gtk_widget_add_css_class(l, "acc-link");
    return l;
}

static GtkWidget *header_row() {
    GtkWidget *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
    GtkWidget *avatar = gtk_label_new("P");
    gtk_widget_add_css_class(avatar, "avatar");
    gtk_label_set_justify(GTK_LABEL(avatar), GTK_JUSTIFY_CENTER);
    gtk_widget_set_size_request(avatar, 44, 44);
    gtk_widget_set_valign(avatar, GTK_ALIGN_CENTER);
    gtk_box_append(GTK_BOX(row), avatar);
    GtkWidget *skin = gtk_image_new();
    gtk_image_set_pixel_size(GTK_IMAGE(skin), 44);
    gtk_widget_add_css_class(skin, "skinface");
    gtk_widget_set_visible(skin, FALSE);
    widget_set_accessible_label(skin, "Скин");
    gtk_box_append(GTK_BOX(row), skin);
    GtkWidget *col = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
    gtk_widget_set_hexpand(col, TRUE);
    gtk_widget_set_valign(col, GTK_ALIGN_CENTER);
    gtk_box_append(GTK_BOX(col), text_label("Аккаунт", "h3"));
    GtkWidget *state = text_label("", "sub2");
    gtk_label_set_wrap(GTK_LABEL(state), TRUE);
    gtk_box_append(GTK_BOX(col), state);
    gtk_box_append(GTK_BOX(row), col);
    a.avatar = GTK_LABEL(avatar);
    a.skin = GTK_IMAGE(skin);
    a.state = GTK_LABEL(state);
    return row;
}

static GtkWidget *mode_row() {
    std::vector<GtkWidget *> toggles;
    GtkWidget *seg = toggle_group("seg2", {"Офлайн", "Аккаунт"}, &toggles);
    gtk_widget_set_size_request(seg, 230, -1);
    for (GtkWidget *t : toggles)
        gtk_widget_set_hexpand(t, TRUE);
    gtk_widget_set_tooltip_text(toggles[1],
                                "Аккаунт Brimfell ID: скины и вход на серверы с проверкой");
    a.offline = GTK_TOGGLE_BUTTON(toggles[0]);
    a.account = GTK_TOGGLE_BUTTON(toggles[1]);
    return list_row("Режим", seg);
}

static GtkWidget *signed_out_page() {
    GtkWidget *col = gtk_box_new(GTK_ORIENTATION_VERTICAL, 8);
    gtk_box_append(GTK_BOX(col), text_label("Вход в Brimfell ID", "li-l"));
    GtkWidget *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    GtkWidget *login = gtk_entry_new();
    gtk_entry_set_placeholder_text(GTK_ENTRY(login), "Логин");
    gtk_entry_set_max_length(GTK_ENTRY(login), 64);
    gtk_editable_set_width_chars(GTK_EDITABLE(login), 6);
    gtk_widget_set_hexpand(login, TRUE);
    widget_set_accessible_label(login, "Логин");
    g_signal_connect(login, "activate", G_CALLBACK(on_login), nullptr);
    GtkWidget *password = gtk_password_entry_new();
    g_object_set(password, "placeholder-text", "Пароль", nullptr);
    gtk_editable_set_width_chars(GTK_EDITABLE(password), 6);
    gtk_widget_set_hexpand(password, TRUE);
    widget_set_accessible_label(password, "Пароль");
    g_signal_connect(password, "activate", G_CALLBACK(on_login), nullptr);
    GtkWidget *button = gtk_button_new_with_label("Войти");
    gtk_widget_add_css_class(button, "accent");
    g_signal_connect(button, "clicked", G_CALLBACK(on_login), nullptr);
    gtk_box_append(GTK_BOX(row), login);
    gtk_box_append(GTK_BOX(row), password);
    gtk_box_append(GTK_BOX(row), button);
    gtk_box_append(GTK_BOX(col), row);
    GtkWidget *error = text_label("", "acc-err");
    gtk_label_set_wrap(GTK_LABEL(error), TRUE);
    gtk_widget_set_visible(error, FALSE);
    gtk_box_append(GTK_BOX(col), error);
    GtkWidget *reg = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_box_append(GTK_BOX(reg), text_label("Нет аккаунта?", "sub2"));
    gtk_box_append(GTK_BOX(reg), registration_link());
    gtk_box_append(GTK_BOX(col), reg);
    a.login = GTK_ENTRY(login);
    a.password = password;
    a.login_button = button;
    a.error = GTK_LABEL(error);
    return col;
}

static GtkWidget *signed_in_page() {
    GtkWidget *row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_widget_add_css_class(row, "li");
    GtkWidget *who = text_label("", "acc-who");
    gtk_label_set_ellipsize(GTK_LABEL(who), PANGO_ELLIPSIZE_END);
    gtk_widget_set_hexpand(who, TRUE);
    gtk_box_append(GTK_BOX(row), who);
    GtkWidget *out = gtk_button_new_with_label("Выйти");
    gtk_widget_add_css_class(out, "btn");
    g_signal_connect(out, "clicked", G_CALLBACK(on_logout), nullptr);
    gtk_box_append(GTK_BOX(row), out);
    a.who = GTK_LABEL(who);
    a.logout_button = out;
    return row;
}

// The hint under the nick follows what is typed: any nick plays offline,
// but the player learns here why a server would turn it away.
static void update_nick_hint() {
    std::string warning = settings_nick_warning(account_nick_text());
    label_show(a.nick_hint, warning);
    gtk_widget_set_visible(GTK_WIDGET(a.nick_hint), !warning.empty());
}

static GtkWidget *offline_page() {
    GtkWidget *nick = gtk_entry_new();
    gtk_entry_set_placeholder_text(GTK_ENTRY(nick), "Ник");
    gtk_entry_set_max_length(GTK_ENTRY(nick), 32);
    entry_flexible_width(nick, 260);
    widget_set_accessible_label(nick, "Ник в игре (до 16 символов)");
    a.nick = GTK_ENTRY(nick);
    GtkWidget *page = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    gtk_box_append(GTK_BOX(page), list_row("Ник в игре (до 16 символов)", nick));
    GtkWidget *hint = text_label("", "hint");
    gtk_label_set_wrap(GTK_LABEL(hint), TRUE);
    gtk_widget_set_visible(hint, FALSE);
    a.nick_hint = GTK_LABEL(hint);
    gtk_box_append(GTK_BOX(page), hint);
    return page;
}

GtkWidget *account_panel_build() {
    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 10);
    gtk_widget_add_css_class(box, "box");
    gtk_box_append(GTK_BOX(box), header_row());
    gtk_box_append(GTK_BOX(box), mode_row());
    GtkWidget *stack = gtk_stack_new();
    gtk_stack_set_vhomogeneous(GTK_STACK(stack), FALSE);
    gtk_stack_set_hhomogeneous(GTK_STACK(stack), FALSE);
    gtk_stack_set_interpolate_size(GTK_STACK(stack), TRUE);
    gtk_stack_add_named(GTK_STACK(stack), offline_page(), "offline");
    gtk_stack_add_named(GTK_STACK(stack), signed_out_page(), "out");
    gtk_stack_add_named(GTK_STACK(stack), signed_in_page(), "in");
    gtk_box_append(GTK_BOX(box), stack);
    a.stack = GTK_STACK(stack);

    // Initial state, then the handlers (filling is not an edit).
    const std::string &mode = g_settings.auth_mode;
    bool account = mode == "account" || (mode.empty() && account_signed_in());
    gtk_toggle_button_set_active(account ? a.account : a.offline, TRUE);
    a.nick_text.editable = GTK_EDITABLE(a.nick);
    filled_text_set(a.nick_text, g_settings.nick);
    update_nick_hint();
    gtk_editable_set_text(GTK_EDITABLE(a.login), account_login_name().c_str());
    g_signal_connect(a.offline, "toggled", G_CALLBACK(on_mode_toggled), nullptr);
    g_signal_connect(a.account, "toggled", G_CALLBACK(on_mode_toggled), nullptr);
    g_signal_connect(a.nick, "changed", G_CALLBACK(+[](GtkEditable *, gpointer) {
                         update_nick_hint();
                         update_account_view();
                     }),
                     nullptr);
    return box;
}
