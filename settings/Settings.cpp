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
#include <type_traits>
#include <variant>

namespace quorvane {

namespace {

constexpr const char* PassPhrase = "Rk4wPz7N";

// A hand-edited Count must not make start-up add entries without end.
constexpr std::int32_t MaxRegistryEntries = 1000;

// One key of a section: its name, the field it maps to and the default a load uses. A key without
// default keeps what the loader put in the field beforehand.
template <class R> struct Key {
    using Member = std::variant<std::int32_t R::*, SmtpAuth R::*, AlarmType R::*, bool R::*, double R::*,
                                std::string R::*>;
    using Value = std::variant<std::int32_t, bool, double, std::string>;

    std::string_view name;
    Member member;
    std::optional<Value> fallback;
    bool isProtected = false; // a password: kept in the file as EncryptSecret makes it
};

template <class R> Key<R> Integer(std::string_view name, std::int32_t R::*m, std::int32_t fallback) {
    return {name, m, fallback};
}
// An enumeration is kept as its number, so that a number it does not name survives a load and a save;
// its default is the enumeration's 0.
template <class R, class E> Key<R> Integer(std::string_view name, E R::*m) {
    static_assert(std::is_enum_v<E>);
    return {name, m, std::int32_t{0}};
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

// LOCATE_X and LOCATE_Y come first in the section; they are optional and handled apart.
const Key<Settings> SystemKeys[] = {
    Boolean("MUTE", &Settings::Mute, false),     Boolean("Enable", &Settings::MonitorOn, false),
    Integer("INTERVAL", &Settings::Interval, 5), Text("SERVICE_URL", &Settings::ServiceURL),
    Boolean("NOTIFY", &Settings::Notify, true),
    {"RATE_SOURCE", &Settings::RateSource, std::string("auto")},
};

const Key<TSMTP> SmtpKeys[] = {
    Text("SMTP_SERVER", &TSMTP::Server),           Integer("SMTP_PORT", &TSMTP::Port, 25),
    Text("SMTP_USER_ID", &TSMTP::UserID),          Protected("SMTP_PASSWORD", &TSMTP::Password),
    Integer("SMTP_AUTHTYPE", &TSMTP::AuthType), Integer("SMTP_SECURITY", &TSMTP::Security, 0),
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
    Integer("ALTYPE", &TAlertConfig::ALTYPE),
    Integer("APP_H_ON", &TAlertConfig::APP_H_ON, 0),
    Integer("APP_H_OFF", &TAlertConfig::APP_H_OFF, 0),
    Integer("APP_L_ON", &TAlertConfig::APP_L_ON, 0),
    Integer("APP_L_OFF", &TAlertConfig::APP_L_OFF, 0),
    Boolean("ALEnable", &TAlertConfig::ALEnable, true),
    Integer("COOLDOWN", &TAlertConfig::COOLDOWN, 0),
};

std::string SlotSection(int slot) {
    return "Currency" + std::to_string(slot);
}

template <class T, class R> T FallbackOr(const Key<R>& key, const T& current) {
    if constexpr (std::is_enum_v<T>)
        return key.fallback ? static_cast<T>(std::get<std::int32_t>(*key.fallback)) : current;
    else
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

// What a password is written as; the seal's failure goes through, so that a password is never written in
// clear.
std::string Protect(const std::string& clear, PasswordForm form, const PasswordSealer& seal) {
    if (form == PasswordForm::Masked)
        return clear.empty() ? "" : "********";
    return seal ? seal(clear) : EncryptSecret(clear, PassPhrase);
}

template <class R>
void ReadKeys(const IniFile& ini, std::string_view section, std::span<const Key<R>> keys, R& r) {
    for (const Key<R>& key : keys) {
        std::visit(
            [&](auto member) {
                auto& field = r.*member;
                using T = std::remove_reference_t<decltype(field)>;
                const T fallback = FallbackOr<T>(key, field);
                if constexpr (std::is_enum_v<T>)
                    field = static_cast<T>(ini.ReadInteger(section, key.name, static_cast<std::int32_t>(fallback)));
                else if constexpr (std::is_same_v<T, std::int32_t>)
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
               PasswordForm passwords, const PasswordSealer& seal = {}) {
    for (const Key<R>& key : keys) {
        std::visit(
            [&](auto member) {
                const auto& field = r.*member;
                using T = std::remove_cvref_t<decltype(field)>;
                if constexpr (std::is_enum_v<T>)
                    ini.WriteInteger(section, key.name, static_cast<std::int32_t>(field));
                else if constexpr (std::is_same_v<T, std::int32_t>)
                    ini.WriteInteger(section, key.name, field);
                else if constexpr (std::is_same_v<T, bool>)
                    ini.WriteBool(section, key.name, field);
                else if constexpr (std::is_same_v<T, double>)
                    ini.WriteReal(section, key.name, field);
                else if (key.isProtected)
                    ini.WriteString(section, key.name, Protect(field, passwords, seal));
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

// A key that is there with an integer value; read twice with two fallbacks, so that no value is mistaken
// for a missing one.
std::optional<std::int32_t> OptionalInteger(const IniFile& ini, std::string_view section,
                                            std::string_view key) {
    const std::int32_t value = ini.ReadInteger(section, key, 0);
    if (value != ini.ReadInteger(section, key, 1))
        return std::nullopt;
    return value;
}

template <class Entries> void ReadRegistry(const IniFile& ini, std::string_view section, Entries& entries) {
    const std::int32_t count = std::min(ini.ReadInteger(section, "Count", 0), MaxRegistryEntries);
    for (std::int32_t k = 1; k <= count; ++k) {
        const std::string n = std::to_string(k);
        entries.push_back({ini.ReadString(section, "Name" + n, ""), ini.ReadString(section, "Path" + n, "")});
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

// Writes the content stage by stage; step tells the stage reached when something throws.
void WriteContent(IniFile& ini, const Settings& settings, PasswordForm passwords, const PasswordSealer& seal,
                  int& step) {
    step = 1;
    if (settings.Left)
        ini.WriteInteger("System", "LOCATE_X", *settings.Left);
    if (settings.Top)
        ini.WriteInteger("System", "LOCATE_Y", *settings.Top);
    WriteKeys<Settings>(ini, "System", SystemKeys, settings, passwords);
    step = 2;
    // In the keyring's care the file's fields stay empty, not an empty text protected.
    const bool inKeyring = settings.MailPasswordsInKeyring;
    const PasswordForm mailForm = inKeyring ? PasswordForm::Masked : passwords;
    TSMTP smtp = settings.Smtp;
    TPOP pop = settings.Pop;
    if (inKeyring && passwords == PasswordForm::Protected) {
        smtp.Password.clear();
        pop.Password.clear();
    }
    WriteKeys<TSMTP>(ini, "Mail", SmtpKeys, smtp, mailForm, seal);
    step = 3;
    WriteKeys<TPOP>(ini, "Mail", PopKeys, pop, mailForm, seal);
    const PasswordStoreRecord store{inKeyring ? "keyring" : "file"};
    WriteKeys<PasswordStoreRecord>(ini, "Mail", PasswordStoreKeys, store, passwords);
    step = 4;
    WriteKeys<TMailAccount>(ini, "Mail", AccountKeys, settings.Account, passwords);
    step = 5;
    for (int n = 0; n < SlotCount; ++n) {
        const auto slot = static_cast<std::size_t>(n);
        WriteKeys<TQuote>(ini, SlotSection(n), QuoteKeys, settings.Quotes[slot], passwords);
        WriteKeys<TAlertConfig>(ini, SlotSection(n), AlertKeys, settings.Alerts[slot], passwords);
    }
    step = 6;
    WriteRegistry(ini, "Sound", settings.Sounds);
    step = 7;
    WriteRegistry(ini, "Application", settings.Apps);
}

// The program's settings, collected at the stages the content is written in.
Settings Collect(const SettingsHost& host, int& step) {
    Settings settings;
    step = 1;
    settings.Left = host.WindowLeft();
    settings.Top = host.WindowTop();
    settings.Mute = BasicData.Mute;
    settings.MonitorOn = BasicData.MonitorOn;
    settings.Interval = BasicData.Interval;
    settings.ServiceURL = BasicData.ServiceURL;
    settings.Notify = BasicData.Notify;
    settings.RateSource = BasicData.RateSource;
    step = 2;
    settings.Smtp = GetSMTP();
    step = 3;
    settings.Pop = GetPOP();
    step = 4;
    settings.Account = GetMailAccount();
    step = 5;
    settings.Quotes = host.Quotes();
    settings.Alerts = Alerts;
    step = 6;
    settings.Sounds = Sounds;
    step = 7;
    settings.Apps = Apps;
    return settings;
}

// The program's own save: a protected content hands the mail passwords to the installed keyring, which
// decides whether the file keeps them; a masked one only tells where the last load found them.
Settings CollectForSave(const SettingsHost& host, PasswordForm passwords, int& step) {
    Settings settings = Collect(host, step);
    step = 2;
    settings.MailPasswordsInKeyring =
        passwords == PasswordForm::Protected
            ? SaveMailPasswords(settings.Smtp, settings.Pop) == PasswordPlace::Keyring
            : LoadedMailPasswords().inKeyring;
    return settings;
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
    return dir.filename() == "bin" &&
           std::filesystem::is_directory(dir.parent_path() / "share" / "quorvane", ec);
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

SettingsSaveError::SettingsSaveError(int step)
    : std::runtime_error("設定の保存中にエラーが発生しました。STEP=" + std::to_string(step)), step_(step) {}

Settings ReadSettings(const IniFile& ini) {
    Settings settings;
    settings.Left = OptionalInteger(ini, "System", "LOCATE_X");
    settings.Top = OptionalInteger(ini, "System", "LOCATE_Y");
    ReadKeys<Settings>(ini, "System", SystemKeys, settings);
    ReadKeys<TSMTP>(ini, "Mail", SmtpKeys, settings.Smtp);
    ReadKeys<TPOP>(ini, "Mail", PopKeys, settings.Pop);
    PasswordStoreRecord store;
    ReadKeys<PasswordStoreRecord>(ini, "Mail", PasswordStoreKeys, store);
    settings.MailPasswordsInKeyring = store.Where == "keyring";
    ReadKeys<TMailAccount>(ini, "Mail", AccountKeys, settings.Account);
    for (TQuote& q : settings.Quotes)
        SetPair(q, "", "");
    for (int n = 0; n < SlotCount; ++n) {
        const auto slot = static_cast<std::size_t>(n);
        TQuote& q = settings.Quotes[slot];
        ReadKeys<TQuote>(ini, SlotSection(n), QuoteKeys, q);
        SetPair(q, q.From, q.To);
        ReadKeys<TAlertConfig>(ini, SlotSection(n), AlertKeys, settings.Alerts[slot]);
    }
    ReadRegistry(ini, "Sound", settings.Sounds);
    ReadRegistry(ini, "Application", settings.Apps);
    return settings;
}

Settings LoadSettings(std::string_view bytes) {
    return ReadSettings(IniFile::ParseBytes(bytes));
}

std::string SaveSettings(const Settings& settings, const PasswordSealer& seal) {
    int step = 0;
    try {
        IniFile ini;
        WriteContent(ini, settings, PasswordForm::Protected, seal, step);
        return ini.Text();
    } catch (...) {
        throw SettingsSaveError(step);
    }
}

Settings CurrentSettings(const SettingsHost& host) {
    int step = 0;
    return Collect(host, step);
}

void ApplySettings(const Settings& settings, SettingsHost& host) {
    const int left = (host.ScreenWidth() - host.WindowWidth()) / 2;
    const int top = (host.ScreenHeight() - host.WindowHeight()) / 2;
    host.MoveWindow(KeepOnScreen(settings.Left.value_or(left), host.ScreenWidth(), host.WindowWidth()),
                    KeepOnScreen(settings.Top.value_or(top), host.ScreenHeight(), host.WindowHeight()));
    BasicData.Mute = settings.Mute;
    BasicData.Interval = settings.Interval;
    BasicData.MonitorOn = settings.MonitorOn;
    BasicData.ServiceURL = settings.ServiceURL;
    BasicData.Notify = settings.Notify;
    BasicData.RateSource = settings.RateSource;
    SetSMTP(settings.Smtp);
    SetPOP(settings.Pop);
    SetMailAccount(settings.Account);
    // Every slot is handed to the window in turn, the ones after it still empty.
    QuoteTable table;
    for (TQuote& q : table)
        SetPair(q, "", "");
    for (int n = 0; n < SlotCount; ++n) {
        const auto slot = static_cast<std::size_t>(n);
        table[slot] = settings.Quotes[slot];
        host.SetQuotes(table);
        SetAlertConfig(n, settings.Alerts[slot]);
    }
    for (const TASound& sound : settings.Sounds)
        AddSound(sound.Name, sound.Path);
    for (const TApp& app : settings.Apps)
        AddApp(app.Name, app.Path);
}

void LoadData(SettingsHost& host, const IniFile& ini) {
    Settings settings = ReadSettings(ini);
    LoadMailPasswords(settings.Smtp, settings.Pop, settings.MailPasswordsInKeyring);
    ApplySettings(settings, host);
}

IniFile SettingsContent(const SettingsHost& host, PasswordForm passwords) {
    IniFile ini;
    int step = 0;
    WriteContent(ini, CollectForSave(host, passwords, step), passwords, {}, step);
    return ini;
}

void SaveData(const SettingsHost& host, const std::string& path) {
    int step = 0;
    try {
        IniFile ini;
        WriteContent(ini, CollectForSave(host, PasswordForm::Protected, step), PasswordForm::Protected, {},
                     step);
        ini.Save(path);
    } catch (...) {
        ShowInfo(SettingsSaveError(step).what());
        throw;
    }
}

} // namespace quorvane
