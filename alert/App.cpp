#include "alert/App.h"

#include "alert/Alert.h"
#include "alert/Registry.h"

namespace quorvane {

TApps Apps;

void AddApp(const std::string& name, const std::string& path) { registry::Add(Apps, name, path); }
int AppCount() { return static_cast<int>(Apps.size()); }
std::string AppPath(int ref) { return registry::Path(Apps, ref); }
void RemoveApp(int position) { registry::Remove(Apps, position); }
void UpdateApp(int position, const std::string& name, const std::string& path) {
    registry::Update(Apps, position, name, path);
}

// A position outside the registry removes nothing, so it must fix nothing either.
void DeleteApp(int position) {
    if (registry::Remove(Apps, position))
        FixAppRefs(position);
}

} // namespace quorvane
