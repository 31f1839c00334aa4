// A keyring in memory that can be made to stop answering.
#pragma once

#include <map>
#include <string>

#include "util/PasswordStore.h"

namespace quorvane {

class FakePasswordStore : public PasswordStore {
public:
    std::map<std::string, std::string> entries;
    bool answers = true;
    int calls = 0;

    SecretRead Read(const std::string& key) override {
        ++calls;
        if (!answers)
            return {};
        const auto it = entries.find(key);
        if (it == entries.end())
            return {SecretAnswer::Missing, ""};
        return {SecretAnswer::Found, it->second};
    }
    bool Write(const std::string& key, const std::string& secret) override {
        ++calls;
        if (answers)
            entries[key] = secret;
        return answers;
    }
    bool Remove(const std::string& key) override {
        ++calls;
        if (answers)
            entries.erase(key);
        return answers;
    }
};

} // namespace quorvane
