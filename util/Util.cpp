#include "util/Util.h"

#include <cstdio>

#include "alert/Alert.h"
#include "alert/App.h"
#include "alert/Sound.h"

namespace quorvane {

TBasicData BasicData;

namespace {
MessageBoxes* g_boxes = nullptr;
}

void InstallMessageBoxes(MessageBoxes* boxes) { g_boxes = boxes; }

void ShowError(const std::string& text) {
    if (g_boxes)
        g_boxes->Error(text);
    else
        std::fprintf(stderr, "エラー: %s\n", text.c_str());
}

void ShowInfo(const std::string& text) {
    if (g_boxes)
        g_boxes->Info(text);
    else
        std::fprintf(stderr, "情報: %s\n", text.c_str());
}

// A position outside the registry removes nothing, so it must fix nothing either.
void DeleteSound(int position) {
    if (position < 0 || position >= SoundCount())
        return;
    RemoveSound(position);
    FixSoundRefs(position);
}

void DeleteApp(int position) {
    if (position < 0 || position >= AppCount())
        return;
    RemoveApp(position);
    FixAppRefs(position);
}

} // namespace quorvane
