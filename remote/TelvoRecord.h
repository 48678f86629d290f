#pragma once
// One telemetry record: a tree with three members in this order - the caller's key with its
// value, "messageType" with "quor_patch_info", and "timestamp" with the milliseconds since
// 1970-01-01 UTC (a signed 64-bit number, never cut to 32 bits). A key holding "." makes nested
// objects. Values are turned into text by the tree (unsigned number, text, true/false, or a
// floating-point number); as JSON every value is a string.
//
// The record is an immutable value: copies share the tree, and any thread may read it.
// Errors: ToJson returns false when the text could not be written.
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/Types.h"

namespace Quor::User {

class TelvoRecord {
public:
    TelvoRecord(const std::string& key, UINT value, int64_t timestampMilliseconds);
    TelvoRecord(const std::string& key, const char* value, int64_t timestampMilliseconds);
    TelvoRecord(const std::string& key, bool value, int64_t timestampMilliseconds);
    TelvoRecord(const std::string& key, float value, int64_t timestampMilliseconds);

    // The record as one JSON object, laid out by the tree's JSON writer.
    bool ToJson(std::string& json) const;

    // Milliseconds since 1970-01-01 UTC now.
    static int64_t NowMilliseconds();

    struct Tree;  // the record's tree, known to the writer only

private:
    std::shared_ptr<const Tree> m_tree;
};

}  // namespace Quor::User
