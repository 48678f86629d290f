// The telemetry record writer: the only user of Boost's property tree and its JSON writer.
#include "remote/TelvoRecord.h"

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <chrono>
#include <exception>
#include <sstream>

namespace Quor::User {

struct TelvoRecord::Tree {
    boost::property_tree::ptree tree;
};

namespace {

template <typename Value>
std::shared_ptr<const TelvoRecord::Tree> Make(const std::string& key, const Value& value, int64_t timestamp);

}  // namespace

TelvoRecord::TelvoRecord(const std::string& key, UINT value, int64_t timestampMilliseconds)
    : m_tree(Make(key, value, timestampMilliseconds)) {}

TelvoRecord::TelvoRecord(const std::string& key, const char* value, int64_t timestampMilliseconds)
    : m_tree(Make(key, std::string(value ? value : ""), timestampMilliseconds)) {}

TelvoRecord::TelvoRecord(const std::string& key, bool value, int64_t timestampMilliseconds)
    : m_tree(Make(key, value, timestampMilliseconds)) {}

TelvoRecord::TelvoRecord(const std::string& key, float value, int64_t timestampMilliseconds)
    : m_tree(Make(key, value, timestampMilliseconds)) {}

bool TelvoRecord::ToJson(std::string& json) const {
    try {
        std::ostringstream out;
        boost::property_tree::write_json(out, m_tree->tree);
        json = out.str();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

int64_t TelvoRecord::NowMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

namespace {

template <typename Value>
std::shared_ptr<const TelvoRecord::Tree> Make(const std::string& key, const Value& value, int64_t timestamp) {
    auto made = std::make_shared<TelvoRecord::Tree>();
    try {
        made->tree.put(key, value);
        made->tree.put("messageType", "quor_patch_info");
        made->tree.put("timestamp", timestamp);
    } catch (const std::exception&) {
        // A key the tree cannot take leaves what could be stored.
    }
    return made;
}

}  // namespace

}  // namespace Quor::User
