// Sound: the registry of alarm sounds, and the player the desktop provides.
#pragma once

#include <string>
#include <vector>

namespace quorvane {

struct TASound {
    std::string Name;
    std::string Path;
};
using TASounds = std::vector<TASound>;
extern TASounds Sounds;

void AddSound(const std::string& name, const std::string& path);
int SoundCount();
std::string SoundPath(int ref); // 1-based; empty outside 1..SoundCount()
void RemoveSound(int position);  // 0-based
void UpdateSound(int position, const std::string& name, const std::string& path);
// Removes the entry and fixes every alarm's reference to it and to those behind it.
void DeleteSound(int position); // 0-based

// Plays a file at once, replacing any sound still playing; never waits, reports nothing.
class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    virtual void Play(const std::string& path) = 0;
};
void InstallSoundPlayer(SoundPlayer* player); // nullptr: sounds are dropped

// Hands path to the installed player; does nothing when none is installed.
void PlaySoundFile(const std::string& path);

} // namespace quorvane
