#include "alert/Sound.h"

namespace quorvane {

TASounds Sounds;

namespace {
SoundPlayer* g_player = nullptr;

bool ValidPosition(int position) {
    return position >= 0 && position < SoundCount();
}
} // namespace

void AddSound(const std::string& name, const std::string& path) {
    Sounds.push_back({name, path});
}

int SoundCount() {
    return static_cast<int>(Sounds.size());
}

std::string SoundPath(int ref) {
    return ref >= 1 && ref <= SoundCount() ? Sounds[ref - 1].Path : std::string();
}

void RemoveSound(int position) {
    if (ValidPosition(position))
        Sounds.erase(Sounds.begin() + position);
}

void UpdateSound(int position, const std::string& name, const std::string& path) {
    if (ValidPosition(position))
        Sounds[position] = {name, path};
}

void InstallSoundPlayer(SoundPlayer* player) {
    g_player = player;
}

void PlaySoundFile(const std::string& path) {
    if (g_player)
        g_player->Play(path);
}

} // namespace quorvane
