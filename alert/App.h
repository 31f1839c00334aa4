// App: the registry of external programs started by alarms.
#pragma once

#include <string>
#include <vector>

namespace quorvane {

struct TApp {
    std::string Name;
    std::string Path;
};
using TApps = std::vector<TApp>;
extern TApps Apps;

void AddApp(const std::string& name, const std::string& path);
int AppCount();
std::string AppPath(int ref); // 1-based; empty outside 1..AppCount()
void RemoveApp(int position);  // 0-based
void UpdateApp(int position, const std::string& name, const std::string& path);
// Removes the entry and fixes every alarm's reference to it and to those behind it.
void DeleteApp(int position); // 0-based

} // namespace quorvane
