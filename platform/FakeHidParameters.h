#pragma once
// Pointer device parameters held in memory; records every Set. available = false makes Open
// fail. Install it with SetHidParametersForTests; not thread-safe.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/HidParameters.h"

namespace Quor::Platform {

class FakeHidParameters : public IHidParameters {
public:
    bool available = true;
    int opened = 0;
    std::map<std::string, uint32_t> values;
    std::vector<std::pair<std::string, uint32_t>> sets;

    bool Open() override {
        if (!available) return false;
        ++opened;
        return true;
    }
    void Close() override { --opened; }
    bool Get(const char* name, uint32_t& value) override {
        auto it = values.find(name);
        if (it == values.end()) return false;
        value = it->second;
        return true;
    }
    void Set(const char* name, uint32_t value) override {
        values[name] = value;
        sets.emplace_back(name, value);
    }
};

}  // namespace Quor::Platform
