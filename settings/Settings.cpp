#include "settings/Settings.h"

#include "alert/Alert.h"
#include "alert/App.h"
#include "alert/Sound.h"
#include "mail/Mail.h"
#include "settings/MailPasswords.h"
#include "util/ProgramPath.h"
#include "util/Secret.h"
#include "util/UserFolders.h"
#include "util/Util.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <span>
#include <variant>

namespace quorvane {

namespace {

constexpr const char* PassPhrase = "Rk4wPz7N";

// A hand-edited Count must not make start-up add entries without end.
constexpr std::int32_t MaxRegistryEntries = 1000;

struct SystemRecord {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    bool Mute = false;
    bool MonitorOn = false;
    std::int32_t Interval = 0;
    std::string ServiceURL;
    bool Notify = true;
};

// One key of a section: its name, the field it maps to and the default a load uses. A key without
// default keeps what the loader put in the field beforehand.
template <class R> struct Key {
    using Member = std::variant<std::int32_t R::*, bool R::*, double R::*, std::string R::*>;
    using Value = std::variant<std::int32_t, bool, double, std::string>;

    std::string_view name;
    Member member;
    std::optional<Value> fallback;
    bool isProtected = false; // a password: kept in the file as EncryptSecret makes it
};

template <class R> Key<R> Integer(std::string_view name, std::int32_t R::*m, std::int32_t fallback) {
    return {name, m, fallback};
}
template <class R> Key<R> PresetInteger(std::string_view name, std::int32_t R::*m) {
    return {name, m, std::nullopt};
}
template <class R> Key<R> Boolean(std::string_view name, bool R::*m, bool fallback) {
    return {name, m, fallback};
}
template <class R> Key<R> Real(std::string_view name, double R::*m) {
    return {name, m, 0.0};
}
template <class R> Key<R> Text(std::string_view name, std::string R::*m) {
    return {name, m, std::string()};
}
template <class R> Key<R> Protected(std::string_view name, std::string R::*m) {
    return {name, m, std::string(), true};
}

const Key<SystemRecord> SystemKeys[] = {
    PresetInteger("LOCATE_X", &SystemRecord::Left), // centred on the screen
    PresetInteger("LOCATE_Y", &SystemRecord::Top),      Boolean("MUTE", &SystemRecord::Mute, false),
    Boolean("Enable", &SystemRecord::MonitorOn, false), Integer("INTERVAL", &SystemRecord::Interval, 5),
    Text("SERVICE_URL", &SystemRecord::ServiceURL),     Boolean("NOTIFY", &SystemRecord::Notify, true),
};

const Key<TSMTP> SmtpKeys[] = {
    Text("SMTP_SERVER", &TSMTP::Server),           Integer("SMTP_PORT", &TSMTP::Port, 25),
    Text("SMTP_USER_ID", &TSMTP::UserID),          Protected("SMTP_PASSWORD", &TSMTP::Password),
    Integer("SMTP_AUTHTYPE", &TSMTP::AuthType, 0), Integer("SMTP_SECURITY", &TSMTP::Security, 0),
};

const Key<TPOP> PopKeys[] = {
    Text("POP_SERVER", &TPOP::Server),           Integer("POP_PORT", &TPOP::Port, 110),
    Text("POP_USER_ID", &TPOP::UserID),          Protected("POP_PASSWORD", &TPOP::Password),
    Integer("POP_SECURITY", &TPOP::Security, 0),
};

// "keyring" when the mail passwords are in the desktop's keyring, "file" when protected here.
struct PasswordStoreRecord {
    std::string Where;
};

const Key<PasswordStoreRecord> PasswordStoreKeys[] = {
    Text("PASSWORD_STORE", &PasswordStoreRecord::Where),
};

const Key<TMailAccount> AccountKeys[] = {
    Text("From", &TMailAccount::From),
    Text("To", &TMailAccount::To),
};

const Key<TQuote> QuoteKeys[] = {
    Text("From", &TQuote::From),
    Text("To", &TQuote::To),
    Boolean("Enable", &TQuote::Enable, false),
};

const Key<TAlertConfig> AlertKeys[] = {
    Boolean("AH_ON", &TAlertConfig::AH_ON, true),
    Boolean("AL_ON", &TAlertConfig::AL_ON, true),
    Boolean("MAIL_H_SW", &TAlertConfig::MAIL_H_SW, false),
    Boolean("MAIL_L_SW", &TAlertConfig::MAIL_L_SW, false),
    Boolean("APP_H_SW", &TAlertConfig::APP_H_SW, false),
    Boolean("APP_L_SW", &TAlertConfig::APP_L_SW, false),
    Real("AH", &TAlertConfig::AH),
    Real("AL", &TAlertConfig::AL),
    Real("BASE", &TAlertConfig::BASE),
    Real("DH", &TAlertConfig::DH),
    Real("DL", &TAlertConfig::DL),
    Integer("SOUND_H", &TAlertConfig::SOUND_H, 0),
    Integer("SOUND_L", &TAlertConfig::SOUND_L, 0),
    Integer("ALTYPE", &TAlertConfig::ALTYPE, 0),
    Integer("APP_H_ON", &TAlertConfig::APP_H_ON, 0),
    Integer("APP_H_OFF", &TAlertConfig::APP_H_OFF, 0),
    Integer("APP_L_ON", &TAlertConfig::APP_L_ON, 0),
    Integer("APP_L_OFF", &TAlertConfig::APP_L_OFF, 0),
    Boolean("ALEnable", &TAlertConfig::ALEnable, true),
};

std::string SlotSection(int slot) {
    return "Currency" + std::to_string(slot);
}

template <class T, class R> T FallbackOr(const Key<R>& key, const T& current) {
    return key.fallback ? std::get<T>(*key.fallback) : current;
}

// A password typed into the file in clear does not decrypt and is taken as it stands.
std::string Unprotect(const std::string& stored) {
    try {
        return DecryptSecret(stored, PassPhrase);
    } catch (...) {
        return stored;
    }
}

std::string Protect(const std::string& clear, PasswordForm form) {
    if (form == PasswordForm::Masked)
        return clear.empty() ? "" : "********";
    try {
        return EncryptSecret(clear, PassPhrase);
    } catch (...) {
        return clear;
    }
}

template <class R>
void ReadKeys(const IniFile& ini, std::string_view section, std::span<const Key<R>> keys, R& r) {
    for (const Key<R>& key : keys) {
        std::visit(
            [&](auto member) {
                auto& field = r.*member;
                using T = std::remove_reference_t<decltype(field)>;
                const T fallback = FallbackOr<T>(key, field);
                if constexpr (std::is_same_v<T, std::int32_t>)
                    field = ini.ReadInteger(section, key.name, fallback);
                else if constexpr (std::is_same_v<T, bool>)
                    field = ini.ReadBool(section, key.name, fallback);
                else if constexpr (std::is_same_v<T, double>)
                    field = ini.ReadReal(section, key.name, fallback);
                else if (key.isProtected)
                    field = Unprotect(ini.ReadString(section, key.name, fallback));
                else
                    field = ini.ReadString(section, key.name, fallback);
            },
            key.member);
    }
}

template <class R>
void WriteKeys(IniFile& ini, std::string_view section, std::span<const Key<R>> keys, const R& r,
               PasswordForm passwords) {
    for (const Key<R>& key : keys) {
        std::visit(
            [&](auto member) {
                const auto& field = r.*member;
                using T = std::remove_cvref_t<decltype(field)>;
                if constexpr (std::is_same_v<T, std::int32_t>)
                    ini.WriteInteger(section, key.name, field);
                else if constexpr (std::is_same_v<T, bool>)
                    ini.WriteBool(section, key.name, field);
                else if constexpr (std::is_same_v<T, double>)
                    ini.WriteReal(section, key.name, field);
                else if (key.isProtected)
                    ini.WriteString(section, key.name, Protect(field, passwords));
                else
                    ini.WriteString(section, key.name, field);
            },
            key.member);
    }
}

// Off the right or bottom edge: centred; off the left or top edge: at the edge.
int KeepOnScreen(int position, int screen, int window) {
    if (position > screen)
        position = (screen - window) / 2;
    return std::max(position, 0);
}

void LoadSystem(const IniFile& ini, SettingsHost& host) {
    SystemRecord system;
    system.Left = (host.ScreenWidth() - host.WindowWidth()) / 2;
    system.Top = (host.ScreenHeight() - host.WindowHeight()) / 2;
    ReadKeys<SystemRecord>(ini, "System", SystemKeys, system);
    host.MoveWindow(KeepOnScreen(system.Left, host.ScreenWidth(), host.WindowWidth()),
                    KeepOnScreen(system.Top, host.ScreenHeight(), host.WindowHeight()));
    BasicData.Mute = system.Mute;
    BasicData.Interval = system.Interval;
    BasicData.MonitorOn = system.MonitorOn;
    BasicData.ServiceURL = system.ServiceURL;
    BasicData.Notify = system.Notify;
}

void LoadMail(const IniFile& ini) {
    TSMTP smtp;
    ReadKeys<TSMTP>(ini, "Mail", SmtpKeys, smtp);
    TPOP pop;
    ReadKeys<TPOP>(ini, "Mail", PopKeys, pop);
    PasswordStoreRecord store;
    ReadKeys<PasswordStoreRecord>(ini, "Mail", PasswordStoreKeys, store);
    LoadMailPasswords(smtp, pop, store.Where == "keyring");
    SetSMTP(smtp);
    SetPOP(pop);
    TMailAccount account;
    ReadKeys<TMailAccount>(ini, "Mail", AccountKeys, account);
    SetMailAccount(account);
}

// Every slot is handed to the window as soon as it is read, the rest still empty.
void LoadSlots(const IniFile& ini, SettingsHost& host) {
    QuoteTable table;
    for (TQuote& q : table)
        SetPair(q, "", "");
    for (int n = 0; n < SlotCount; ++n) {
        const std::string section = SlotSection(n);
        TQuote& q = table[static_cast<std::size_t>(n)];
        ReadKeys<TQuote>(ini, section, QuoteKeys, q);
        SetPair(q, q.From, q.To);
        host.SetQuotes(table);
        ReadKeys<TAlertConfig>(ini, section, AlertKeys, Alerts[static_cast<std::size_t>(n)]);
    }
}

template <class Add> void LoadRegistry(const IniFile& ini, std::string_view section, Add add) {
    const std::int32_t count = std::min(ini.ReadInteger(section, "Count", 0), MaxRegistryEntries);
    for (std::int32_t k = 1; k <= count; ++k) {
        const std::string n = std::to_string(k);
        add(ini.ReadString(section, "Name" + n, ""), ini.ReadString(section, "Path" + n, ""));
    }
}

template <class Entries> void WriteRegistry(IniFile& ini, std::string_view section, const Entries& entries) {
    ini.WriteInteger(section, "Count", static_cast<std::int32_t>(entries.size()));
    for (std::size_t k = 1; k <= entries.size(); ++k) {
        const std::string n = std::to_string(k);
        ini.WriteString(section, "Name" + n, entries[k - 1].Name);
        ini.WriteString(section, "Path" + n, entries[k - 1].Path);
    }
}

// Builds the content stage by stage; step tells the stage reached when something throws.
void BuildContent(IniFile& ini, const SettingsHost& host, PasswordForm passwords, int& step) {
    step = 1;
    const SystemRecord system{host.WindowLeft(),  host.WindowTop(),     BasicData.Mute,  BasicData.MonitorOn,
                              BasicData.Interval, BasicData.ServiceURL, BasicData.Notify};
    WriteKeys<SystemRecord>(ini, "System", SystemKeys, system, passwords);
    step = 2;
    TSMTP smtp = GetSMTP();
    TPOP pop = GetPOP();
    const bool inKeyring = passwords == PasswordForm::Protected
                               ? SaveMailPasswords(smtp, pop) == PasswordPlace::Keyring
                               : LoadedMailPasswords().inKeyring;
    // In the keyring's care the file's fields stay empty, not an empty text protected.
    const PasswordForm mailForm = inKeyring ? PasswordForm::Masked : passwords;
    if (inKeyring && passwords == PasswordForm::Protected) {
        smtp.Password.clear();
        pop.Password.clear();
    }
    WriteKeys<TSMTP>(ini, "Mail", SmtpKeys, smtp, mailForm);
    step = 3;
    WriteKeys<TPOP>(ini, "Mail", PopKeys, pop, mailForm);
    const PasswordStoreRecord store{inKeyring ? "keyring" : "file"};
    WriteKeys<PasswordStoreRecord>(ini, "Mail", PasswordStoreKeys, store, passwords);
    step = 4;
    WriteKeys<TMailAccount>(ini, "Mail", AccountKeys, GetMailAccount(), passwords);
    step = 5;
    const QuoteTable quotes = host.Quotes();
    for (int n = 0; n < SlotCount; ++n) {
        const auto slot = static_cast<std::size_t>(n);
        WriteKeys<TQuote>(ini, SlotSection(n), QuoteKeys, quotes[slot], passwords);
        WriteKeys<TAlertConfig>(ini, SlotSection(n), AlertKeys, Alerts[slot], passwords);
    }
    step = 6;
    WriteRegistry(ini, "Sound", Sounds);
    step = 7;
    WriteRegistry(ini, "Application", Apps);
}

std::string UserSettingsPath() {
    MakeUserFolder(UserFolderKind::Config);
    return UserFolder(UserFolderKind::Config) + "/quorvane.ini";
}

} // namespace

FixedSettingsHost::FixedSettingsHost(int windowWidth, int windowHeight, int screenWidth, int screenHeight)
    : windowWidth_(windowWidth), windowHeight_(windowHeight), screenWidth_(screenWidth),
      screenHeight_(screenHeight) {}

void FixedSettingsHost::MoveWindow(int left, int top) {
    left_ = left;
    top_ = top;
}

std::string IniPathBeside(const std::string& executable) {
    return std::filesystem::path(executable).replace_extension(".ini").string();
}

// Installed (PREFIX/bin beside PREFIX/share/quorvane) the program keeps its settings with the user's, even
// where it could write beside itself (root's /usr/bin).
static bool InstalledLayout(const std::filesystem::path& exe) {
    const std::filesystem::path dir = exe.parent_path();
    std::error_code ec;
    return dir.filename() == "bin" && std::filesystem::is_directory(dir.parent_path() / "share" / "quorvane", ec);
}

std::string SettingsPath() {
    const std::filesystem::path exe = ProgramPath();
    if (!exe.empty() && !InstalledLayout(exe) && ::access(exe.parent_path().c_str(), W_OK) == 0)
        return IniPathBeside(exe.string());
    return UserSettingsPath();
}

void LoadData(SettingsHost& host, const std::string& path) {
    LoadData(host, IniFile::Load(path));
}

void LoadData(SettingsHost& host, const IniFile& ini) {
    LoadSystem(ini, host);
    LoadMail(ini);
    LoadSlots(ini, host);
    LoadRegistry(ini, "Sound", AddSound);
    LoadRegistry(ini, "Application", AddApp);
}

IniFile SettingsContent(const SettingsHost& host, PasswordForm passwords) {
    IniFile ini;
    int step = 0;
    BuildContent(ini, host, passwords, step);
    return ini;
}

void SaveData(const SettingsHost& host, const std::string& path) {
    int step = 0;
    try {
        IniFile ini;
        BuildContent(ini, host, PasswordForm::Protected, step);
        ini.Save(path);
    } catch (...) {
        ShowInfo("設定の保存中にエラーが発生しました。STEP=" + std::to_string(step));
        throw;
    }
}

} // namespace quorvane
