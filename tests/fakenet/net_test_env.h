// Test support for module tests of the network layer and the modules above
// it: a running fake network pointed at by this process, a fresh temporary
// data folder, clean process-wide network state and captured UiHooks output.
#pragma once

#include "base/ui.h"
#include "config/datadir.h"
#include "config/settings.h"
#include "net/service.h"
#include "fakenet/fakenet.h"
#include "fakenet/run_zyl.h"

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

struct CapturedUi {
    std::mutex lock;
    std::vector<std::string> messages;
    std::vector<long> progress_done;
    long progress_total = 0;
};

inline CapturedUi &captured_ui() {
    static CapturedUi c;
    return c;
}

struct NetTestEnv {
    FakeNetPtr net = fakenet_start();
    TempDir tmp;
    UiHooks saved = ui_hooks;

    // Endpoints named in `unreachable` point at a closed port.
    explicit NetTestEnv(const std::vector<std::string> &unreachable = {}) {
        unsetenv("ZYL_API");
        fakenet_use_in_process(*net, unreachable);
        DataPaths paths;
        paths.data = tmp.path;
        datapaths_publish(paths);
        g_settings = Settings();
        settings_save(); // publishes an empty api_url
        service_state_reset_for_tests();
        {
            std::lock_guard<std::mutex> lk(captured_ui().lock);
            captured_ui().messages.clear();
            captured_ui().progress_done.clear();
            captured_ui().progress_total = 0;
        }
        ui_hooks.message = [](const char *text) {
            std::lock_guard<std::mutex> lk(captured_ui().lock);
            captured_ui().messages.push_back(text);
        };
        ui_hooks.progress = [](long done, long total, const char *) {
            std::lock_guard<std::mutex> lk(captured_ui().lock);
            captured_ui().progress_done.push_back(done);
            captured_ui().progress_total = total;
        };
    }
    ~NetTestEnv() { ui_hooks = saved; }

    std::vector<std::string> messages() {
        std::lock_guard<std::mutex> lk(captured_ui().lock);
        return captured_ui().messages;
    }
    // How many captured messages contain needle.
    int count_messages(const std::string &needle) {
        int n = 0;
        for (const std::string &m : messages())
            n += m.find(needle) != std::string::npos;
        return n;
    }
    std::string url(const std::string &endpoint_name) const { return net->url(endpoint_name); }
};
