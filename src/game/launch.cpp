// Launch command assembly and start. The order of the command line is fixed:
// memory, brand, account agent and hosts, the user's JVM options, logging,
// the version's JVM arguments (or the old -Djava.library.path / -cp form),
// main class, game arguments, then the server to join.
#include "game/launch.h"

#include "account/account.h"
#include "account/auth.h"
#include "account/authlib_injector.h"
#include "base/digest.h"
#include "base/fs.h"
#include "base/json.h"
#include "base/proc.h"
#include "base/version.h"
#include "config/datadir.h"
#include "config/settings.h"
#include "game/java.h"
#include "game/libraries.h"
#include "game/versions.h"

#include <algorithm>
#include <cstdlib>

std::string offline_uuid(const std::string &name) {
    std::string seed = "OfflinePlayer:" + name;
    unsigned char h[16];
    md5_raw(seed.data(), seed.size(), h);
    h[6] = static_cast<unsigned char>((h[6] & 0x0f) | 0x30);
    h[8] = static_cast<unsigned char>((h[8] & 0x3f) | 0x80);
    return uuid_dashed(hex_digest(h, sizeof h));
}

std::string uuid_plain(const std::string &uuid) {
    std::string out;
    for (char c : uuid)
        if (c != '-') out += c;
    return out;
}

std::string uuid_dashed(const std::string &plain) {
    const char *p = plain.c_str();
    return format_alloc("%.8s-%.4s-%.4s-%.4s-%.12s", p, plain.size() > 8 ? p + 8 : "",
                        plain.size() > 12 ? p + 12 : "", plain.size() > 16 ? p + 16 : "",
                        plain.size() > 20 ? p + 20 : "");
}

LaunchIdentity identity_offline(const std::string &name) {
    LaunchIdentity who;
    who.name = name;
    who.uuid_dashed = offline_uuid(name);
    who.uuid = uuid_plain(who.uuid_dashed);
    return who;
}

LaunchIdentity identity_account(const std::string &name, const std::string &uuid,
                                const std::string &token) {
    LaunchIdentity who;
    who.name = name;
    who.uuid = uuid_plain(uuid);
    who.uuid_dashed = uuid_dashed(who.uuid);
    who.token = token;
    who.session = format_alloc("token:%s:%s", token.c_str(), who.uuid.c_str());
    who.user_type = "mojang";
    who.account = true;
    return who;
}

PlaceholderTable launch_placeholders(const LaunchSpec &s, const Platform &p) {
    const LaunchLayout &l = s.layout;
    return {
        {"auth_player_name", s.who.name},
        {"version_name", s.version_id},
        {"game_directory", l.game_dir},
        {"assets_root", l.assets_root},
        {"game_assets", l.assets_root},
        {"assets_index_name", l.asset_index},
        {"auth_uuid", s.who.uuid},
        {"auth_access_token", s.who.token},
        {"auth_session", s.who.session},
        {"clientid", "0"},
        {"auth_xuid", "0"},
        {"user_type", s.who.user_type},
        {"version_type", "zyl"},
        {"user_properties", "{}"},
        {"natives_directory", l.natives_dir},
        {"launcher_name", "zyl-launcher"},
        {"launcher_version", k_version},
        {"classpath", l.classpath},
        {"library_directory", datapaths().libraries},
        {"classpath_separator", p.cp_separator},
        {"resolution_width", std::to_string(s.width > 0 ? s.width : 1280)},
        {"resolution_height", std::to_string(s.height > 0 ? s.height : 720)},
        {"quickPlayPath", "quickplay.json"},
    };
}

namespace {

const std::string &placeholder(const PlaceholderTable &table, const char *name) {
    static const std::string none;
    for (const auto &[key, value] : table)
        if (key == name) return value;
    return none;
}

// Pieces between runs of spaces and tabs.
void split_blanks(const std::string &text, StrList &out) {
    std::string piece;
    for (char c : text + ' ') {
        if (c == ' ' || c == '\t') {
            if (!piece.empty()) out.push_back(piece);
            piece.clear();
        } else {
            piece += c;
        }
    }
}

void account_options(const LaunchSpec &s, StrList &cmd) {
    if (!s.agent_jar.empty())
        cmd.push_back(format_alloc("-javaagent:%s=%s/authlib-injector", s.agent_jar.c_str(),
                                   s.auth_base.c_str()));
    for (const char *service : {"auth", "account", "session", "services"})
        cmd.push_back(
            format_alloc("-Dminecraft.api.%s.host=%s/%s", service, s.auth_base.c_str(), service));
}

void logging_option(const cJSON *profile, StrList &cmd) {
    const cJSON *client = json_get(json_get(profile, "logging"), "client");
    std::optional<std::string> arg = json_str_opt(client, "argument");
    if (!client || !arg) return;
    std::string id = json_str(json_get(client, "file"), "id");
    if (!library_path_safe(id)) return;
    PlaceholderTable path = {
        {"path", format_alloc("%s/log_configs/%s", datapaths().assets.c_str(), id.c_str())}};
    cmd.push_back(placeholders_expand(*arg, path));
}

// Old versions' template: split at single spaces first, so that a value with
// a space in it (a folder under "John Smith") stays one argument.
void legacy_game_arguments(const cJSON *profile, const PlaceholderTable &table, StrList &out) {
    for (const std::string &piece : str_split(json_str(profile, "minecraftArguments"), ' ')) {
        if (!piece.empty()) out.push_back(placeholders_expand(piece, table));
    }
}

// Versions that know quick play are told the address as it stands; older
// ones get host and port separately.
void server_arguments(const cJSON *profile, const std::string &server, StrList &cmd) {
    const cJSON *args = json_get(profile, "arguments");
    std::string text = json_print_compact(args ? args : profile);
    if (text.find("quickPlayMultiplayer") != std::string::npos) {
        cmd.push_back("--quickPlayMultiplayer");
        cmd.push_back(server);
        return;
    }
    size_t colon = server.rfind(':');
    std::string host = colon == std::string::npos ? server : server.substr(0, colon);
    std::string port = colon == std::string::npos ? "" : server.substr(colon + 1);
    cmd.push_back("--server");
    cmd.push_back(host);
    cmd.push_back("--port");
    cmd.push_back(port.empty() ? "25565" : port);
}

} // namespace

StrList launch_command(const cJSON *profile, const LaunchSpec &s, const Platform &p) {
    PlaceholderTable table = launch_placeholders(s, p);
    StrList cmd = {s.java};
    cmd.push_back(format_alloc("-Xmx%dM", s.ram_mb));
    cmd.push_back(format_alloc("-Xms%dM", std::min(s.ram_mb, 1024)));
    cmd.push_back("-XX:+UseG1GC");
    cmd.push_back("-Dminecraft.launcher.brand=zyl-launcher");
    if (s.who.account) account_options(s, cmd);
    split_blanks(s.jvm_args, cmd);
    logging_option(profile, cmd);

    StrList game;
    const cJSON *arguments = json_get(profile, "arguments");
    // A loader profile for an old version may bring an "arguments" block (a
    // JVM option or two) over a parent in the old form: the old form still
    // supplies the library path, the classpath and the game arguments, and
    // the block's entries follow them.
    if (!arguments || json_str_opt(profile, "minecraftArguments")) {
        cmd.push_back("-Djava.library.path=" + s.layout.natives_dir);
        cmd.push_back("-cp");
        cmd.push_back(s.layout.classpath);
        legacy_game_arguments(profile, table, game);
        game.insert(game.end(), {"--width", placeholder(table, "resolution_width"), "--height",
                                 placeholder(table, "resolution_height")});
    }
    if (arguments) {
        arguments_expand(json_get(arguments, "jvm"), table, cmd, p);
        arguments_expand(json_get(arguments, "game"), table, game, p);
    }
    cmd.push_back(json_str(profile, "mainClass"));
    cmd.insert(cmd.end(), game.begin(), game.end());
    if (s.server && !s.server->empty()) server_arguments(profile, *s.server, cmd);
    return cmd;
}

std::string launch_command_text(const StrList &cmd, const LaunchIdentity &who) {
    std::string out;
    for (std::string arg : cmd) {
        // Every occurrence, not just the first: the file is meant to be shared.
        if (who.account && !who.token.empty()) {
            for (size_t at = arg.find(who.token); at != std::string::npos;
                 at = arg.find(who.token, at + 13))
                arg.replace(at, who.token.size(), "<accessToken>");
        }
        out += arg;
        out += '\n';
    }
    return out;
}

namespace {

// Offline unless the account is in use; fills the agent and server address
// for account launches. -1 after a message when the session is gone.
int launch_identity(const std::string &name, LaunchSpec &s, const Job *job, std::string *err) {
    if (!account_active()) {
        s.who = identity_offline(name);
        return 0;
    }
    std::string why;
    if (auth_refresh(&why) != 0) {
        job_fail(job, err, format_alloc("Аккаунт: %s", why.empty() ? "ошибка" : why.c_str()));
        job_message(job, "Можно играть без аккаунта: --offline (в лаунчере — «Офлайн»)");
        return -1;
    }
    const char *no_agent = getenv("ZYL_NO_AUTHLIB");
    if (!no_agent || no_agent[0] != '1') {
        // Without the agent the game still starts; skins and server joins may not work.
        if (std::optional<std::string> jar = authlib_injector_ensure(job)) s.agent_jar = *jar;
    }
    s.auth_base = auth_server_base();
    const Account a = account_snapshot(); // the session the refresh just published
    s.who = identity_account(a.name, a.uuid, a.access_token);
    return 0;
}

} // namespace

int launch_version(const std::string &id, const std::string &name, int ram_mb,
                   const std::optional<std::string> &server,
                   const std::optional<std::string> &instance, int *pid, int *read_fd,
                   const Job *job, std::string *err, const LaunchOverrides &own) {
    // Held from here, and by the game for as long as it runs: no move of the
    // data folder starts under it.
    bool moving = false;
    FileLock folder_lock = datadir_game_lock(datapaths().data, &moving);
    if (moving) {
        job_fail(job, err,
                 "Папку данных сейчас переносит другой процесс — запустите игру после переноса");
        return -1;
    }
    std::string root_id;
    JsonPtr profile = version_id_valid(id) ? version_resolve(id, &root_id, job) : nullptr;
    if (!profile) {
        job_fail(job, err, format_alloc("Версия %s не установлена", id.c_str()));
        return -1;
    }
    LaunchSpec s;
    s.version_id = id;
    s.ram_mb = ram_mb;
    s.server = server;
    s.layout = launch_prepare(profile.get(), id, root_id, instance, platform_host(), job);
    if (launch_identity(name, s, job, err) != 0) return -1;
    s.java = java_for_version(profile.get(), job, own.java);
    if (job_cancelled(job)) {
        if (err) *err = k_job_cancelled_text;
        return -1;
    }
    // A Java picked by hand may be older than the game needs; said now rather
    // than as a crash the player cannot read.
    if (!own.java_insist && java_hand_chosen(own.java)) {
        int need = java_requirement(profile.get()).major;
        int have = java_major_of(s.java);
        if (have > 0 && have < need) {
            job_fail(job, err, java_too_old_text(root_id, need, have));
            return k_launch_java_too_old;
        }
    }
    PublishedSettings settings = settings_published();
    s.jvm_args = own.jvm_args.value_or(settings.jvm_args);
    s.width = own.width > 0 ? own.width : settings.width;
    s.height = own.height > 0 ? own.height : settings.height;

    StrList cmd = launch_command(profile.get(), s);
    fs_write_atomic(format_alloc("%s/launch_command.txt", s.layout.game_dir.c_str()),
                    launch_command_text(cmd, s.who));
    job_message(job, "Запуск %s как %s (%s, UUID %s), папка %s", id.c_str(), s.who.name.c_str(),
                s.who.account ? "аккаунт Brimfell ID" : "офлайн", s.who.uuid_dashed.c_str(),
                s.layout.game_dir.c_str());
    if (proc_start_piped(cmd, s.layout.game_dir, pid, read_fd, folder_lock.fd) != 0) {
        job_fail(job, err, format_alloc("Не удалось запустить %s", s.java.c_str()));
        return -1;
    }
    return 0;
}
