// The whole settings load from a file's bytes, and the content a save would write from what it loaded.
#include "alert/App.h"
#include "alert/Sound.h"
#include "fuzz/Harness.h"
#include "settings/Settings.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Sounds.clear();
    Apps.clear();
    FixedSettingsHost host;
    LoadData(host, IniFile::ParseBytes(fuzz::Bytes(data, size)));
    const IniFile saved = SettingsContent(host, PasswordForm::Masked);
    fuzz::Require(!saved.Sections().empty(), "a save writes every section");
    // What was loaded and saved loads to the same again.
    Sounds.clear();
    Apps.clear();
    FixedSettingsHost again;
    LoadData(again, IniFile::ParseBytes(saved.Text()));
    fuzz::Require(SettingsContent(again, PasswordForm::Masked).Text() == saved.Text(), "a saved file loads as saved");
    return 0;
}
