#include "util/Util.h"

#include <cstdio>

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

} // namespace quorvane
