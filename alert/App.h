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

} // namespace quorvane
