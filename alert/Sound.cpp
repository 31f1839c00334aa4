#include "alert/Sound.h"

#include "alert/Alert.h"
#include "alert/Registry.h"

namespace quorvane {

TASounds Sounds;

namespace {
SoundPlayer* g_player = nullptr;
} // namespace

void AddSound(const std::string& name, const std::string& path) { registry::Add(Sounds, name, path); }
int SoundCount() { return static_cast<int>(Sounds.size()); }
std::string SoundPath(int ref) { return registry::Path(Sounds, ref); }
void RemoveSound(int position) { registry::Remove(Sounds, position); }
void UpdateSound(int position, const std::string& name, const std::string& path) {
    registry::Update(Sounds, position, name, path);
}

// A position outside the registry removes nothing, so it must fix nothing either.
void DeleteSound(int position) {
    if (registry::Remove(Sounds, position))
        FixSoundRefs(position);
}

void InstallSoundPlayer(SoundPlayer* player) { g_player = player; }

void PlaySoundFile(const std::string& path) {
    if (g_player)
        g_player->Play(path);
}

} // namespace quorvane
