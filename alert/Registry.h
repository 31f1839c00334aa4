// The one implementation behind the sound and program registries: a list of named files, referred to
// by alarms through 1-based positions (0 meaning none).
#pragma once

#include <string>
#include <vector>

namespace quorvane::registry {

template <class Entry>
bool ValidPosition(const std::vector<Entry>& list, int position) {
    return position >= 0 && position < static_cast<int>(list.size());
}

template <class Entry>
void Add(std::vector<Entry>& list, const std::string& name, const std::string& path) {
    list.push_back({name, path});
}

// 1-based; empty outside 1..size
template <class Entry>
std::string Path(const std::vector<Entry>& list, int ref) {
    return ValidPosition(list, ref - 1) ? list[ref - 1].Path : std::string();
}

// 0-based positions; one outside the list changes nothing.
template <class Entry>
bool Remove(std::vector<Entry>& list, int position) {
    if (!ValidPosition(list, position))
        return false;
    list.erase(list.begin() + position);
    return true;
}

template <class Entry>
void Update(std::vector<Entry>& list, int position, const std::string& name, const std::string& path) {
    if (ValidPosition(list, position))
        list[position] = {name, path};
}

} // namespace quorvane::registry
