// The settings file reader: any bytes parse, and what a save would write reads back as itself.
#include "fuzz/Harness.h"
#include "settings/IniFile.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const IniFile ini = IniFile::ParseBytes(fuzz::Bytes(data, size));
    const std::string text = ini.Text();
    fuzz::Require(IniFile::ParseBytes(text).Text() == text, "the written file reads back as itself");
    for (const IniFile::Section& section : ini.Sections())
        for (const IniFile::Entry& entry : section.entries) {
            (void)ini.ReadInteger(section.name, entry.key, 0);
            (void)ini.ReadReal(section.name, entry.key, 0);
        }
    return 0;
}
