// winhost: loads postrix.dll on Windows, serves it with the fake host over a
// real network and drives one send or a series of mail checks of its main
// account:
//
//   winhost.exe PLUGIN SETTINGS send ADDRESS TEXT-FILE [SUBJECT]
//   winhost.exe PLUGIN SETTINGS check [COUNT]
//
// SETTINGS is a UTF-8 text file of KEY=VALUE lines (KEY=int:N for numbers,
// "#" starts a comment) that the main account's settings file holds, e.g.
// MAIL/mail=tester@localhost and MAIL/ssl=int:0. send delivers the UTF-8
// text of TEXT-FILE as a chat message and waits for its outcome. check runs
// COUNT checks (1 when not given); before each one after the first it writes
// a "waiting" event and reads a line from stdin, so that a driver can change
// the mailbox between them. Everything the plug-in shows comes out as JSON
// lines on stdout. Exit status: 0 done, 1 failed or timed out, 2 bad usage
// or a plug-in that would not load.
#include <fcntl.h>
#include <io.h>
#include <winsock2.h>  // ahead of windows.h, as Winsock asks
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "abi/records_plugin.h"
#include "abi/records_send.h"
#include "host_loop.h"
#include "support/fake_host.h"
#include "winsock_net.h"

namespace postrix::winhost {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr auto kSendTimeLimit = std::chrono::seconds(120);
constexpr auto kCheckTimeLimit = std::chrono::seconds(120);
constexpr int32_t kTimerFirstRun = 1;
constexpr char kSentText[] = "Mail wysłany pomyślnie";
constexpr char16_t kSettingsFileName[] = u"postrix.config";

std::u16string fromWide(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }
std::string utf8Of(std::wstring_view text) { return test::utf8(fromWide(text)); }

// An exported function of the plug-in, or null.
template <typename Function>
Function entryPoint(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

std::optional<std::string> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// KEY=VALUE lines; a value "int:N" is a number. None on a malformed line,
// whose number error tells.
std::optional<test::SettingsFile> parseSettings(const std::string& content, std::string& error) {
    test::SettingsFile values;
    std::istringstream lines(content);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const size_t equals = line.find('=');
        if (equals == std::string::npos || equals == 0) {
            error = "line " + std::to_string(number) + " is not KEY=VALUE";
            return std::nullopt;
        }
        const std::u16string key = test::wide(line.substr(0, equals));
        const std::string value = line.substr(equals + 1);
        if (value.starts_with("int:")) {
            try {
                values[key] = static_cast<int64_t>(std::stoll(value.substr(4)));
            } catch (const std::exception&) {
                error = "line " + std::to_string(number) + " has a bad number";
                return std::nullopt;
            }
        } else {
            values[key] = test::wide(value);
        }
    }
    return values;
}

class Session {
public:
    Session()
        : output_(host_, stdout),
          net_(host_, [this](const test::FakeConnection& c, std::string_view what, int code) {
              output_.net(c, what, code);
          }),
          loop_(host_, net_) {
        host_.netBackend = &net_;
        // The fake host serves the news list; the plug-in asks before it adds to it.
        host_.existingServices.insert(u"News/AddEntry");
        host_.afterServiceCall = [this](const std::u16string&) { output_.catchUp(); };
    }

    ~Session() {
        if (load_ && unload_) {
            unload_(0);
            output_.catchUp();
        }
        if (module_) FreeLibrary(module_);
        host_.netBackend = nullptr;
    }

    HostOutput& output() { return output_; }

    int fail(int status, std::string_view what) {
        output_.write(JsonLine("host-error").text("text", what));
        return status;
    }

    bool load(const std::wstring& plugin, const std::filesystem::path& settingsPath,
              const test::SettingsFile& settings) {
        // The profile directory is the settings file's folder.
        host_.directory = fromWide(std::filesystem::absolute(settingsPath).parent_path().wstring()) + u"\\";
        if (!net_.ready()) {
            fail(kExitUsage, "Winsock did not start");
            return false;
        }
        // In place before loading, so the account starts with its address and interval.
        host_.file(kSettingsFileName) = settings;
        module_ = LoadLibraryW(plugin.c_str());
        if (!module_) {
            fail(kExitUsage, "cannot load " + utf8Of(plugin));
            return false;
        }
        const auto query = entryPoint<JoxQueryPlugInfo>(module_, "queryPlugInfo");
        load_ = entryPoint<JoxPluginLoad>(module_, "pluginLoad");
        unload_ = entryPoint<JoxPluginUnload>(module_, "pluginUnload");
        if (!query || !load_ || !unload_) {
            fail(kExitUsage, "the plug-in lacks an entry point");
            return false;
        }
        const auto* info = static_cast<const PluginInfo*>(query(0));
        output_.write(JsonLine("plugin").text("name", info && info->name ? test::utf8(info->name) : ""));
        if (load_(0, host_.table()) != 0) {
            load_ = nullptr;
            fail(kExitUsage, "the plug-in refused to load");
            return false;
        }
        // Should the plug-in have named its file in another form, the
        // settings go there too: it reads them again before each send and
        // check.
        bool placed = false;
        for (auto& [path, values] : host_.files) {
            if (path.ends_with(kSettingsFileName) && !path.ends_with(u"_" + std::u16string(kSettingsFileName))) {
                values = settings;
                placed = true;
            }
        }
        if (!placed) {
            fail(kExitUsage, "the plug-in opened no postrix.config");
            return false;
        }
        if (host_.protocols.empty()) {
            fail(kExitUsage, "the plug-in added no account");
            return false;
        }
        output_.write(JsonLine("ready").number("account", host_.protocols.front()));
        return true;
    }

    int send(const std::string& address, const std::string& text, const std::optional<std::string>& subject) {
        const int32_t account = host_.protocols.front();
        const std::u16string service = test::wide("MAIL/" + std::to_string(account) + "/PFMessageSend");
        const std::u16string to = test::wide(address), body = test::wide(text);
        const std::u16string title = subject ? test::wide(*subject) : u"";
        MessageSendRecord record{};
        record.size = sizeof record;
        record.contactId = to.c_str();
        record.netClass = u"MAIL";
        record.subject = subject ? title.c_str() : nullptr;
        record.text = body.c_str();

        const size_t notices = host_.notifications.size(), logs = host_.logs.size(), connects = connectCount();
        std::string reason;
        const auto decided = [&] { return sendOutcome(notices, logs, reason).has_value(); };
        const int64_t result = host_.callPluginService(service, reinterpret_cast<uintptr_t>(&record));
        if (!decided() && (result != 0 || connectCount() == connects))
            return fail(kExitFailed, "the plug-in started no send (are the settings complete?)");
        if (!loop_.runUntil(decided, kSendTimeLimit)) return fail(kExitFailed, "no outcome of the send in time");
        if (sendOutcome(notices, logs, reason) == kExitDone) {
            output_.write(JsonLine("sent").text("to", address));
            return kExitDone;
        }
        output_.write(JsonLine("send-failed").text("reason", reason));
        return kExitFailed;
    }

    int check(int count) {
        const int32_t account = host_.protocols.front();
        const std::u16string timer = test::wide("MAIL/" + std::to_string(account) + "/mailRecvTimer");
        for (int round = 1; round <= count; ++round) {
            if (round > 1) {
                output_.write(JsonLine("waiting").number("round", round));
                std::string line;
                if (!std::getline(std::cin, line)) return fail(kExitFailed, "input ended before check " +
                                                                                std::to_string(round));
            }
            const size_t connects = connectCount();
            output_.write(JsonLine("check").number("round", round));
            host_.fireTimer(timer, kTimerFirstRun);
            // An incomplete account, or a failed reachability probe (POSTRIX_PROBE_HOST), makes none.
            if (connectCount() == connects) return fail(kExitFailed, "the plug-in made no check");
            if (!loop_.runUntil([this] { return !net_.busy(); }, kCheckTimeLimit))
                return fail(kExitFailed, "the check did not end in time");
            output_.write(JsonLine("check-end").number("round", round));
        }
        return kExitDone;
    }

private:
    // How the send begun after that many notices and log lines ended, as
    // joxhost reads it: done after the success notice, failed after a
    // failure logged (its text in reason); none while it runs.
    std::optional<int> sendOutcome(size_t notices, size_t logs, std::string& reason) const {
        for (size_t i = notices; i < host_.notifications.size(); ++i)
            if (host_.notifications[i].text == kSentText) return kExitDone;
        for (size_t i = logs; i < host_.logs.size(); ++i) {
            if (host_.logs[i].level < 0) {
                reason = host_.logs[i].text;
                return kExitFailed;
            }
        }
        return std::nullopt;
    }

    size_t connectCount() const {
        size_t n = 0;
        for (const auto& c : host_.connections) n += static_cast<size_t>(c.connects);
        return n;
    }

    test::FakeHost host_;
    HostOutput output_;
    WinsockNet net_;
    HostLoop loop_;
    HMODULE module_ = nullptr;
    JoxPluginLoad load_ = nullptr;
    JoxPluginUnload unload_ = nullptr;
};

int usage(HostOutput& output) {
    output.write(JsonLine("command-error")
                     .text("text", "usage: winhost PLUGIN SETTINGS send ADDRESS TEXT-FILE [SUBJECT] | "
                                   "winhost PLUGIN SETTINGS check [COUNT]"));
    return kExitUsage;
}

int run(const std::vector<std::wstring>& args) {
    Session session;
    HostOutput& output = session.output();
    if (args.size() < 3) return usage(output);
    const std::wstring& command = args[2];
    const bool sending = command == L"send" && (args.size() == 5 || args.size() == 6);
    const bool checking = command == L"check" && (args.size() == 3 || args.size() == 4);
    if (!sending && !checking) return usage(output);

    const std::filesystem::path settingsPath(args[1]);
    const auto content = readFile(settingsPath);
    if (!content) return session.fail(kExitUsage, "cannot read " + utf8Of(args[1]));
    std::string error;
    const auto settings = parseSettings(*content, error);
    if (!settings) return session.fail(kExitUsage, utf8Of(args[1]) + ": " + error);

    std::optional<std::string> text;
    int count = 1;
    if (sending) {
        text = readFile(std::filesystem::path(args[4]));
        if (!text) return session.fail(kExitUsage, "cannot read " + utf8Of(args[4]));
    } else if (args.size() == 4) {
        count = _wtoi(args[3].c_str());
        if (count < 1) return usage(output);
    }

    if (!session.load(args[0], settingsPath, *settings)) return kExitUsage;
    if (sending) {
        const std::optional<std::string> subject = args.size() == 6 ? std::optional(utf8Of(args[5])) : std::nullopt;
        return session.send(utf8Of(args[3]), *text, subject);
    }
    return session.check(count);
}

}  // namespace
}  // namespace postrix::winhost

int wmain(int argc, wchar_t** argv) {
    // UTF-8 JSON lines, "\n" as written.
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::wstring> args(argv + 1, argv + argc);
    try {
        return postrix::winhost::run(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "winhost: %s\n", e.what());
        return postrix::winhost::kExitFailed;
    }
}
