// chat: one chat message to a mail contact through an account's send
// service, then the loop runs until the send's outcome.
#include <iostream>
#include <iterator>

#include "cli/command_support.h"
#include "postrix/abi/records_send.h"
#include "cli/send_outcome.h"
#include "core/utf.h"

namespace joxhost {
namespace {

struct ChatMessage {
    std::u16string address;
    std::u16string text;
    std::optional<std::u16string> subject;
};

postrix::MessageSendRecord messageRecord(const ChatMessage& message) {
    postrix::MessageSendRecord record{};
    record.size = sizeof record;
    record.contactId = message.address.c_str();
    record.netClass = kMailClass;
    record.subject = message.subject ? message.subject->c_str() : nullptr;
    record.text = message.text.c_str();
    return record;
}

std::string readStandardInput() {
    return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
}

}  // namespace

int chatCommand(const CommandLine& line, const Environment& environment, Reporter& reporter) {
    const int position = *parseIndex(line.arguments[0]);
    ChatMessage message;
    message.address = toUtf16(line.arguments[1]);
    message.text = toUtf16(line.arguments[2] == "-" ? readStandardInput() : line.arguments[2]);
    if (line.subject) message.subject = toUtf16(*line.subject);

    asio::io_context io;
    SendOutcome outcome;
    const ReporterTap tap(reporter, [&outcome](const Event& event) { outcome.observe(event); });
    auto session = openSession(io, line, environment, reporter);
    if (!session) return kExitFailed;
    Host& host = session->host();
    size_t count = 0;
    const auto account = accountAt(host, position, &count);
    if (!account) {
        return fail(reporter, kExitUsage, noAccountAt("chat", position, count));
    }
    if (const auto missing = incompleteSettings(host, *account, AccountTask::Send, "chat"); !missing.empty()) {
        return fail(reporter, kExitNothingStarted, missing);
    }
    const std::u16string service = sendServiceName(account->id);
    if (!host.services.exists(service)) {
        return fail(reporter, kExitNothingStarted, "chat: the account has no send service");
    }

    outcome = SendOutcome();  // what loading showed is no part of this send
    const int connectsBefore = host.net.connectCount();
    auto record = messageRecord(message);
    int64_t result = 0;
    {
        PluginCalls::Scope scope(host.calls);
        result = host.services.call(service, reinterpret_cast<uintptr_t>(&record), 0).value_or(Host::kNoService);
    }
    if (!outcome.decided() && (result != 0 || host.net.connectCount() == connectsBefore)) {
        return fail(reporter, kExitNothingStarted,
                    "chat: the plug-in started no send (are the account's settings complete?)");
    }

    return awaitSendOutcome(*session, io, outcome, line.timeoutSeconds, reporter, "chat", line.arguments[1]);
}

}  // namespace joxhost
