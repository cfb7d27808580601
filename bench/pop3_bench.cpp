// Receiving mail: header block decoding throughput, and a whole mailbox check
// of a POP3 session against an in-process host that plays the server (a UIDL
// listing of 10,000 messages of which 100 are new, then one TOP each).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <string>
#include <string_view>

#include "abi/abi.h"
#include "abi/records_netlib.h"
#include "abi/records_notify.h"
#include "accounts/new_mail_notice.h"
#include "platform/clock.h"
#include "pop3/header_decoding.h"
#include "pop3/pop3_session.h"

namespace {

using namespace postrix;

// A header block as a mail provider delivers it: trace and authentication
// fields first, the three fields the notice needs last, the subject and the
// sender as folded encoded words.
const std::string kHeaderBlock =
    "Return-Path: <anna.nowak@example.org>\r\n"
    "Delivered-To: jan@example.com\r\n"
    "Received: from mx1.example.com (mx1.example.com [192.0.2.10])\r\n"
    "\tby imap.example.com with LMTP id 8DkQJ3Vb0mZl2AAAYBR5ng\r\n"
    "\tfor <jan@example.com>; Mon, 07 Dec 2026 18:05:04 +0100\r\n"
    "Received: from mail-out.example.org (mail-out.example.org [198.51.100.25])\r\n"
    "\t(using TLSv1.3 with cipher TLS_AES_256_GCM_SHA384 (256/256 bits)\r\n"
    "\t key-exchange X25519 server-signature RSA-PSS (2048 bits) server-digest SHA256)\r\n"
    "\t(No client certificate requested)\r\n"
    "\tby mx1.example.com (Postfix) with ESMTPS id 4Wb1Yx3kQ9z9sRt\r\n"
    "\tfor <jan@example.com>; Mon,  7 Dec 2026 18:05:04 +0100 (CET)\r\n"
    "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=example.org; s=sel2026;\r\n"
    "\tt=1796666703; bh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=;\r\n"
    "\th=From:To:Subject:Date:Message-ID:MIME-Version:Content-Type;\r\n"
    "\tb=Zm9vYmFyYmF6cXV4Zm9vYmFyYmF6cXV4Zm9vYmFyYmF6cXV4Zm9vYmFyYmF6cXV4Zm9vYmFy\r\n"
    "\t YmF6cXV4Zm9vYmFyYmF6cXV4Zm9vYmFyYmF6cXV4Zm9vYmFyYmF6cXV4Zm9vYmFyYmF6cXV4\r\n"
    "\t Zm9vYmFyYmF6cXV4Zm9vYmFyYmF6cXV4Zm9vYmFyYmF6cXV4Zm9vYmFyYmF6cXV4Zm9vYmFy\r\n"
    "\t YmF6cXV4Zm9vYmFyYmF6cXV4Zm9vYmFyYmF6cXV4Zm9vYmFyYmF6cXV4Zm9vYmFyYmF6cXV4\r\n"
    "ARC-Authentication-Results: i=1; mx1.example.com;\r\n"
    "\tdkim=pass header.d=example.org header.s=sel2026 header.b=Zm9vYmFy;\r\n"
    "\tspf=pass (mx1.example.com: domain of anna.nowak@example.org designates\r\n"
    "\t 198.51.100.25 as permitted sender) smtp.mailfrom=anna.nowak@example.org;\r\n"
    "\tdmarc=pass (policy=none) header.from=example.org\r\n"
    "Authentication-Results: mx1.example.com; dkim=pass header.d=example.org;\r\n"
    "\tspf=pass smtp.mailfrom=anna.nowak@example.org; dmarc=pass header.from=example.org\r\n"
    "X-Spam-Status: No, score=-0.1 required=5.0 tests=DKIM_SIGNED,DKIM_VALID,\r\n"
    "\tDKIM_VALID_AU,HTML_MESSAGE,RCVD_IN_DNSWL_NONE,SPF_HELO_NONE,SPF_PASS\r\n"
    "\tautolearn=ham autolearn_force=no version=3.4.6\r\n"
    "Message-ID: <3f1c2a9e-8b7d-4e21-9c5a-0d6e7f8a9b0c@example.org>\r\n"
    "MIME-Version: 1.0\r\n"
    "User-Agent: Mozilla/5.0 (X11; Linux x86_64; rv:128.0) Gecko/20100101 Thunderbird/128.5.0\r\n"
    "Content-Language: pl\r\n"
    "To: =?UTF-8?Q?Jan_Kowalski?= <jan@example.com>\r\n"
    "Cc: =?ISO-8859-2?Q?Pawe=B3_Wi=B6niewski?= <pawel@example.net>,\r\n"
    " =?UTF-8?B?TWHFgmdvcnphdGEgS3J6ecW8YW5vd3NrYQ==?= <malgorzata@example.net>\r\n"
    "Content-Type: multipart/alternative;\r\n"
    " boundary=\"------------9mZ3Xk1t0bq2Yd4Lr7Pw8sVn\"\r\n"
    "Date: Mon, 7 Dec 2026 18:05:03 +0100\r\n"
    "Subject: =?UTF-8?Q?Spotkanie_w_sprawie_bud=C5=BCetu_na_rok_2027_?=\r\n"
    " =?UTF-8?Q?=E2=80=93_prosz=C4=99_o_potwierdzenie_udzia=C5=82u?=\r\n"
    " =?UTF-8?B?IGkgdXdhZ2kgZG8gcHJvZ3JhbXU=?=\r\n"
    "From: =?UTF-8?B?QW5uYSBOb3dhaw==?= =?UTF-8?B?IChEemlhxYIgRmluYW5zw7N3KQ==?=\r\n"
    " <anna.nowak@example.org>\r\n"
    "\r\n";

void BM_ParseHeaderBlock(benchmark::State& state) {
    const std::string block = kHeaderBlock + ".\r\n";
    const pop3::ParsedHeaders check = pop3::parseHeaders(block);
    if (check.entry.from != "Anna Nowak (Dział Finansów) <anna.nowak@example.org>" ||
        !check.entry.subject.ends_with("i uwagi do programu") || check.entry.date != 1796663103) {
        state.SkipWithError(("unexpected decoding: " + check.entry.from + " / " + check.entry.subject + " / " +
                             std::to_string(check.entry.date))
                                .c_str());
        return;
    }
    for (auto _ : state) {
        pop3::ParsedHeaders parsed = pop3::parseHeaders(block);
        benchmark::DoNotOptimize(parsed);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(block.size()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["block_bytes"] = static_cast<double>(block.size());
}
BENCHMARK(BM_ParseHeaderBlock);

class FixedClock final : public platform::Clock {
public:
    uint32_t tickMs() override { return 1000; }
    int64_t utcSeconds() override { return 1796666703; }
    std::optional<int> standardBiasMinutes() override { return -60; }
};

// The host of the whole-check benchmark: one connection whose server answers
// each command the session sends. Answers are queued and delivered after the
// send returns, as a real network service does.
class BenchHost {
public:
    BenchHost() {
        current = this;
        table_.callService = [](const char16_t* name, uintptr_t w, uintptr_t l) {
            return current->call(name, w, l);
        };
        table_.serviceExists = [](const char16_t*) -> int64_t { return 0; };
    }
    ~BenchHost() { current = nullptr; }
    BenchHost(const BenchHost&) = delete;
    BenchHost& operator=(const BenchHost&) = delete;

    HostTable* table() { return &table_; }

    // The mailbox listing the server gives to UIDL, terminating line included.
    std::string listing;
    static constexpr size_t kChunkBytes = 8192;  // a typical receive size

    // Delivers the queued answers until the session waits for nothing.
    void run() {
        while (!pending_.empty()) {
            const std::string chunk = std::move(pending_.front());
            pending_.pop_front();
            NetDataEvent data{};
            data.size = sizeof(NetDataEvent);
            data.count = static_cast<int32_t>(chunk.size());
            data.bytes = chunk.c_str();
            event(kNetData, reinterpret_cast<uintptr_t>(&data));
        }
    }

    // Ends the last notice, as the host does once the user saw it.
    void endNotice() {
        if (!noticeCallback_) return;
        NotifyEventRecord ended{};
        ended.size = sizeof(NotifyEventRecord);
        ended.kind = kNotifyEnded;
        noticeCallback_(reinterpret_cast<uintptr_t>(&ended), 0, noticeContext_);
    }

    int tops = 0;

private:
    int64_t call(std::u16string_view name, uintptr_t w, uintptr_t l) {
        (void)l;
        if (name == u"JOX/CallProtolHooks") return 0;
        if (name == u"NetLib/Send") {
            const auto& r = *reinterpret_cast<const NetSendRecord*>(w);
            answer(std::string_view(r.bytes, static_cast<size_t>(r.count)));
            return r.count;
        }
        if (name == u"NetLib/Create") {
            const auto& r = *reinterpret_cast<const NetCreateRecord*>(w);
            handler_ = r.handler;
            context_ = r.context;
            return 0;
        }
        if (name == u"NetLib/Connect") {
            pending_.push_back("+OK POP3 server ready\r\n");
            return 0;
        }
        if (name == u"JOX/ShowStandardNotify") {
            const auto& r = *reinterpret_cast<const NotifyRecord*>(w);
            noticeCallback_ = r.callback;
            noticeContext_ = r.context;
            return 0;
        }
        return 0;  // Close, Destroy, Log
    }

    void answer(std::string_view command) {
        if (command.starts_with("USER") || command.starts_with("PASS")) {
            pending_.push_back("+OK\r\n");
        } else if (command.starts_with("UIDL")) {
            const std::string reply = "+OK\r\n" + listing;
            for (size_t at = 0; at < reply.size(); at += kChunkBytes) pending_.push_back(reply.substr(at, kChunkBytes));
        } else if (command.starts_with("TOP")) {
            ++tops;
            pending_.push_back("+OK\r\n" + kHeaderBlock + ".\r\n");
        }
    }

    void event(int32_t code, uintptr_t data) {
        NetEventRecord record{};
        record.size = sizeof(NetEventRecord);
        record.code = code;
        handler_(reinterpret_cast<uintptr_t>(&record), data, context_);
    }

    static inline BenchHost* current = nullptr;
    HostTable table_{};
    JoxHandler handler_ = nullptr;
    uintptr_t context_ = 0;
    JoxHandler noticeCallback_ = nullptr;
    uintptr_t noticeContext_ = 0;
    std::deque<std::string> pending_;
};

// Messages first..first+count-1 of a mailbox, numbered from 1, with unique
// ids in the style of common servers.
std::string uidlListing(uint64_t first, int count) {
    std::string text;
    text.reserve(static_cast<size_t>(count) * 26 + 3);
    char line[64];
    for (int i = 0; i < count; ++i) {
        const int n = std::snprintf(line, sizeof line, "%d %016llx\r\n", i + 1,
                                    static_cast<unsigned long long>(0x5f3a000000000000ull + first + i));
        text.append(line, static_cast<size_t>(n));
    }
    text += ".\r\n";
    return text;
}

// Each check sees a mailbox of 10,000 messages: the oldest N of the last
// check are gone and N new ones arrived (the argument; N = 0 measures the
// login and the listing alone).
void BM_CheckMailbox(benchmark::State& state) {
    constexpr int kMessages = 10000;
    const int kNew = static_cast<int>(state.range(0));
    FixedClock clock;
    platform::setClock(&clock);
    BenchHost host;
    size_t notices = 0;
    NewMailNotice notice(Host(host.table()));
    pop3::Pop3Session session(
        Host(host.table()),
        [&notices, &notice](pop3::Pop3Session& s, std::vector<pop3::NewMailEntry> entries) {
            notices += entries.size();
            notice.add(s.settings().mail, std::move(entries));
        },
        [&state](pop3::Pop3Session&, const std::string& message) { state.SkipWithError(message.c_str()); }, 3);
    session.setProbe([] { return true; });
    const pop3::Pop3Settings settings{"pop.example.com", "jan@example.com", "jan", "secret", false};

    uint64_t first = 0;
    host.listing = uidlListing(first, kMessages);
    session.start(settings);  // the first check only learns the ids
    host.run();

    for (auto _ : state) {
        state.PauseTiming();
        first += static_cast<uint64_t>(kNew);
        host.listing = uidlListing(first, kMessages);
        host.tops = 0;
        notices = 0;
        state.ResumeTiming();

        session.start(settings);
        host.run();
        host.endNotice();

        if (host.tops != kNew || notices != static_cast<size_t>(kNew)) {
            state.SkipWithError("the check did not announce exactly the new messages");
            break;
        }
    }
    state.counters["new_per_check"] = kNew;
    state.counters["listing_bytes"] = static_cast<double>(host.listing.size());
    platform::setClock(nullptr);
}
BENCHMARK(BM_CheckMailbox)->Arg(100)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
