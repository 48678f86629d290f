#pragma once
// Sorted lists of keys compared without regard to case (ASCII), as the repair keeps its validated
// files. Insert keeps the order and refuses a key that is already there; Contains is a binary
// search. Plain functions over the caller's vector; no state, no lock.
#include <string>
#include <vector>

namespace Quor::User::SortedKeys {

bool Less(const std::string& a, const std::string& b);
// False (and nothing inserted) when an equal key is already there.
bool Insert(std::vector<std::string>& keys, const std::string& key);
bool Contains(const std::vector<std::string>& keys, const std::string& key);

}  // namespace Quor::User::SortedKeys
