#include "alert/App.h"

namespace quorvane {

TApps Apps;

namespace {
bool ValidPosition(int position) {
    return position >= 0 && position < AppCount();
}
} // namespace

void AddApp(const std::string& name, const std::string& path) {
    Apps.push_back({name, path});
}

int AppCount() {
    return static_cast<int>(Apps.size());
}

std::string AppPath(int ref) {
    return ref >= 1 && ref <= AppCount() ? Apps[ref - 1].Path : std::string();
}

void RemoveApp(int position) {
    if (ValidPosition(position))
        Apps.erase(Apps.begin() + position);
}

void UpdateApp(int position, const std::string& name, const std::string& path) {
    if (ValidPosition(position))
        Apps[position] = {name, path};
}

} // namespace quorvane
