#include "accounts/account.h"

#include <algorithm>

#include "abi/records_accounts.h"
#include "abi/records_plugin.h"
#include "accounts/check_error_notice.h"
#include "accounts/new_mail_notice.h"
#include "accounts/options_page.h"
#include "accounts/send_outcome.h"
#include "host/log.h"
#include "host/timer.h"
#include "imap/imap_session.h"
#include "platform/files.h"
#include "pop3/pop3_session.h"
#include "smtp/outgoing_mail.h"
#include "smtp/smtp_session.h"
#include "text/format.h"
#include "text/text_conversion.h"

namespace postrix {

namespace {

constexpr int32_t kMinutesMs = 60000;
constexpr int32_t kMaxCheckInterval = 35791;  // 35791 * 60000 < 2^31
constexpr int32_t kTimerFirstRun = 1;
constexpr int32_t kTimerPeriodic = 3;
// The IMAP session's clock: reconnection pauses from 5 s, IDLE renewal and
// the silence time-out are checked this often.
constexpr int32_t kImapTickMs = 1000;

}  // namespace

int32_t clampCheckInterval(int64_t minutes) {
    return static_cast<int32_t>(std::clamp<int64_t>(minutes, 1, kMaxCheckInterval));
}

namespace {

// A file of a profile named like its settings file: "postrix<suffix>" for the
// main account, "postrix_<P><suffix>" for profile P.
std::u16string profileFileName(std::u16string_view profileName, std::u16string_view suffix) {
    // The profile name ends at its first NUL, as for the settings file.
    profileName = profileName.substr(0, profileName.find(u'\0'));
    if (profileName.empty()) return u"postrix" + std::u16string(suffix);
    return u"postrix_" + std::u16string(profileName) + std::u16string(suffix);
}

}  // namespace

std::u16string knownIdsFileName(std::u16string_view profileName) { return profileFileName(profileName, u".known"); }
std::u16string imapStateFileName(std::u16string_view profileName) { return profileFileName(profileName, u".imap"); }

Account::Account(Host host, uintptr_t moduleHandle, int32_t id, std::u16string_view profileName,
                 platform::DialogColours dialogColours)
    : host_(host),
      moduleHandle_(moduleHandle),
      id_(id),
      profileName_(profileName),
      dialogColours_(dialogColours) {
    smtp_ = std::make_unique<smtp::SmtpSession>(
        host_,
        [this](smtp::SmtpSession& session, const smtp::OutgoingMail& mail) {
            notifyMailSent(host_, session, mail);
        },
        [](smtp::SmtpSession& session, const std::string& message) { reportSmtpError(session, message); },
        id_);
    newMailNotice_ = std::make_unique<NewMailNotice>(host_);
    pop3_ = std::make_unique<pop3::Pop3Session>(
        host_,
        [this](pop3::Pop3Session& session, std::vector<pop3::NewMailEntry> entries) {
            newMailNotice_->add(session.settings().mail, std::move(entries));
        },
        [](pop3::Pop3Session& session, const std::string& message) {
            showCheckError(session.host(), session.settings().mail, message);
        },
        id_);
    std::u16string directory;
    if (hostDirectory(host_, directory))
        pop3_->keepKnownIds(platform::joinPath(directory, knownIdsFileName(profileName_)));
    settings_ = std::make_unique<SettingsStore>(host_, moduleHandle_, profileName_);
    registerWithHost();
}

void Account::registerWithHost() {
    const std::u16string serviceName = sendServiceName();
    sendService_ = host_.createService(serviceName.c_str(), handleMessageSend, contextOf(this));
    if (sendService_ == 0) {
        logFailure(host_, "Registering JOX_PF_MESSAGE_SEND failed");
        return;
    }

    const std::u16string pageId = optionsPageId();
    const std::u16string caption = profileName_.empty() ? u"Mail" : (u"Mail - " + profileName_).substr(0, 127);
    OptionsPageRecord page{};
    page.size = sizeof(OptionsPageRecord);
    page.pageId = pageId.c_str();
    page.groupId = u"JOX/Group/Network";
    page.caption = caption.c_str();
    page.iconId = u"Image/Mail";
    page.handler = onOptionsPage;
    page.context = contextOf(this);
    if (host_.call(u"JOX/AddOptionsPage", moduleHandle_, reinterpret_cast<uintptr_t>(&page)) != 1)
        logFailure(host_, formatText("Adding options page for %s/%d failed", "MAIL", id_));

    startMailTimer(settings_->getInt(keys::kCheckInterval, kDefaultCheckInterval), false);
    updateLoginInfo();
}

Account::~Account() {
    destroyTimer(host_, timerId());
    const std::u16string pageId = optionsPageId();
    host_.call(u"JOX/RemoveOptionsPage", moduleHandle_, reinterpret_cast<uintptr_t>(pageId.c_str()));
    if (sendService_ != 0) host_.destroyService(sendService_);
    if (host_.call(u"JOX/ProtocolDel", reinterpret_cast<uintptr_t>(kNetClass), static_cast<uintptr_t>(id_)) != 0)
        logFailure(host_, "JOX_PROTO_FUNC_DEL failed");
    smtp_.reset();
    optionsPage_.reset();
    settings_.reset();
    pop3_.reset();
    if (imap_) {
        destroyTimer(host_, imapTimerId());
        imap_.reset();  // logs out of an IDLE connection
    }
}

void Account::setOptionsPage(std::unique_ptr<OptionsPage> page) {
    // The old page goes first: its window is destroyed before a new one
    // could be made.
    optionsPage_.reset();
    optionsPage_ = std::move(page);
}

std::u16string Account::imapTimerId() const { return text::utf8ToWide(formatText("MAIL/%d/imapTimer", id_)); }
std::u16string Account::timerId() const { return text::utf8ToWide(formatText("MAIL/%d/mailRecvTimer", id_)); }
std::u16string Account::optionsPageId() const { return text::utf8ToWide(formatText("MAIL/Options/%d", id_)); }
std::u16string Account::sendServiceName() const { return text::utf8ToWide(formatText("MAIL/%d/PFMessageSend", id_)); }

std::string Account::currentAddress() {
    if (!smtp_->senderAddress().empty()) return smtp_->senderAddress();
    settings_->reload();
    return settings_->getTextUtf8(keys::kMail);
}

void Account::startMailTimer(int32_t minutes, bool restart) {
    const std::u16string id = timerId();
    if (restart) destroyTimer(host_, id);
    if (!createTimer(host_, id, clampCheckInterval(minutes) * kMinutesMs, onMailTimer, contextOf(this)))
        logFailure(host_, formatText("Cannot start new mail check timer for %s/%d", "MAIL", id_));
}

void Account::startImapTimer() {
    // Without it the time-out sweep still drives the session, every 10 s.
    if (!createTimer(host_, imapTimerId(), kImapTickMs, onImapTimer, contextOf(this)))
        logFailure(host_, formatText("Cannot start IMAP timer for %s/%d", "MAIL", id_));
}

int64_t Account::onImapTimer(uintptr_t timerEvent, uintptr_t, uintptr_t context) {
    const auto* event = reinterpret_cast<const TimerEventRecord*>(timerEvent);
    auto* account = fromContext<Account>(context);
    if (event && account && account->imap_ && event->code == kTimerPeriodic) account->imap_->tick();
    return 0;
}

int64_t Account::onMailTimer(uintptr_t timerEvent, uintptr_t, uintptr_t context) {
    const auto* event = reinterpret_cast<const TimerEventRecord*>(timerEvent);
    auto* account = fromContext<Account>(context);
    if (!event || !account) return 0;
    if (event->code == kTimerFirstRun) account->checkMail(CheckReason::Request);
    if (event->code == kTimerPeriodic) account->checkMail(CheckReason::Timer);
    return 0;
}

void Account::checkMail(CheckReason reason) {
    settings_->reload();
    if (usesImap(*settings_)) return checkImap(reason);
    // An account that moved to POP3 leaves its IMAP connection.
    if (imap_) imap_->stop();
    checkPop3();
}

void Account::checkPop3() {
    pop3::Pop3Settings request;
    request.server = settings_->getTextUtf8(keys::kPop3Server);
    request.mail = settings_->getTextUtf8(keys::kMail);
    request.login = settings_->getTextUtf8(keys::kLogin);
    request.password = settings_->getTextUtf8(keys::kPassword);
    request.useSsl = settings_->getInt(keys::kSsl, kDefaultSsl) == 1;
    // An empty POP3 server switches checking off.
    if (request.server.empty() || request.mail.empty() || request.login.empty() || request.password.empty())
        return;
    // A click on the notice opens the web mailbox of the check that began last.
    if (pop3_->start(request)) newMailNotice_->setMailboxWww(settings_->getTextUtf8(keys::kMailboxWww));
}

void Account::checkImap(CheckReason reason) {
    imap::ImapSettings request;
    request.server = settings_->getTextUtf8(keys::kImapServer);
    request.mail = settings_->getTextUtf8(keys::kMail);
    request.login = settings_->getTextUtf8(keys::kLogin);
    request.password = settings_->getTextUtf8(keys::kPassword);
    request.folder = text::wideToUtf8(imapFolder(*settings_));
    request.useSsl = settings_->getInt(keys::kSsl, kDefaultSsl) == 1;
    // An empty IMAP server switches checking off.
    if (request.server.empty() || request.mail.empty() || request.login.empty() || request.password.empty()) {
        if (imap_) imap_->stop();
        return;
    }
    if (!imap_) {
        imap_ = std::make_unique<imap::ImapSession>(
            host_,
            [this](imap::ImapSession& session, std::vector<pop3::NewMailEntry> entries) {
                newMailNotice_->add(session.settings().mail, std::move(entries));
            },
            [](imap::ImapSession& session, const std::string& message) {
                showCheckError(session.host(), session.settings().mail, message);
            },
            id_);
        std::u16string directory;
        if (hostDirectory(host_, directory))
            imap_->keepState(platform::joinPath(directory, imapStateFileName(profileName_)));
        startImapTimer();
    }
    const auto why = reason == CheckReason::Timer ? imap::ImapSession::Reason::Timer
                                                  : imap::ImapSession::Reason::Request;
    if (imap_->start(request, why)) newMailNotice_->setMailboxWww(settings_->getTextUtf8(keys::kMailboxWww));
}

void Account::checkTimeouts() {
    smtp_->checkTimeout();
    pop3_->checkTimeout();
    if (imap_) imap_->tick();
}

void Account::updateLoginInfo() {
    const std::u16string login = text::utf8ToWide(currentAddress());
    LoginInfoRecord record{};
    record.size = sizeof(LoginInfoRecord);
    record.login = login.c_str();
    record.profile = u"Default";
    record.netClass = kNetClass;
    record.accountId = id_;
    if (host_.call(u"JOX/PFSetInfo", &record) != 0)
        logFailure(host_, formatText("Updating login info for %s/%d failed", "MAIL", id_));
}

void Account::sendMail(std::string recipientName, std::vector<std::string> recipients, std::string subject,
                       std::string body, std::vector<std::string> attachments) {
    if (settings_->hasFile()) settings_->reload();
    smtp::SmtpSettings smtpSettings;
    smtpSettings.senderAddress = settings_->getTextUtf8(keys::kMail);
    smtpSettings.server = settings_->getTextUtf8(keys::kSmtpServer);
    smtpSettings.login = settings_->getTextUtf8(keys::kLogin);
    smtpSettings.password = settings_->getTextUtf8(keys::kPassword);
    smtpSettings.useSsl = settings_->getInt(keys::kSsl, kDefaultSsl) == 1;
    if (smtpSettings.server.empty() || smtpSettings.senderAddress.empty() || smtpSettings.login.empty() ||
        smtpSettings.password.empty())
        return;
    smtp::OutgoingMail mail{std::move(recipientName), std::move(recipients), std::move(subject), std::move(body),
                      std::move(attachments)};
    smtp_->start(smtpSettings, mail);
}

}  // namespace postrix
