// The account panel at the top of the settings page: offline play with a
// nick or a Brimfell ID account, sign-in and sign-out on workers, and the
// skin face in the rail and the panel. The panel's state also drives the top
// bar's nick button and the home page's account line. Interface thread only.
#pragma once

#include <gtk/gtk.h>
#include <string>

// Builds the panel (once, inside the settings page).
GtkWidget *account_panel_build();
// Applies the mode, the sign-in state, the skin and the nick everywhere they show.
void update_account_view();
// Starts the skin download of the stored account, when it has a profile id.
void account_skin_start();

// What the other pages read.
bool account_mode_on();          // the "Аккаунт" toggle is active
std::string account_nick_text(); // the nick entry's text, as typed
void account_focus_login();      // puts the keyboard focus into the login entry
// The keyboard focus on the panel's first thing to do: the nick, the login,
// or (signed in) the mode toggle.
void account_focus_main();

// The stored account, as the interface sees it; the "play" worker also asks
// right after its launch (which may have refreshed the session). The record
// has no lock of its own: every read of it by the interface is here, so that
// one can be added in one place.
bool account_signed_in();          // a token is stored
std::string account_player_name(); // the signed-in profile's name ("" when none)
std::string account_session_token();
