#include "reference_rule.h"

#include <algorithm>
#include <vector>

namespace vrel::fleet {

bool ReferenceRule::SharedNow(int c, const ComponentDigest& d) const {
  const auto it = index_.find({c, d});
  return it != index_.end() && it->second.size() >= sharedAt_;
}

ReferenceRule::Answer ReferenceRule::Enroll(const Fingerprint& token) {
  std::set<long> candidates;
  for (int c = 1; c < kComponentCount; ++c) {
    for (const auto& d : token.components[c].digests) {
      const auto it = index_.find({c, d});
      if (it != index_.end() && it->second.size() < sharedAt_)
        candidates.insert(it->second.begin(), it->second.end());
    }
  }
  Answer best{false, 0, 0};
  long bestSeq = -1;
  for (long id : candidates) {
    const Fingerprint& theirs = latest_[id];
    int matches = 0;
    bool boardDiffers = false;
    for (int c = 1; c < kComponentCount; ++c) {
      std::vector<ComponentDigest> a, b;
      for (const auto& d : token.components[c].digests)
        if (!SharedNow(c, d)) a.push_back(d);
      for (const auto& d : theirs.components[c].digests)
        if (!SharedNow(c, d)) b.push_back(d);
      const bool lostA = a.size() != token.components[c].digests.size();
      const bool lostB = b.size() != theirs.components[c].digests.size();
      if (c == static_cast<int>(ComponentId::Nics)
              ? (token.components[c].available && a.empty()) ||
                    (theirs.components[c].available && b.empty())
              : lostA || lostB) {
        continue;  // unavailable for this pair
      }
      if (a.empty() || b.empty()) continue;  // nics x against a set differs; it never counts
      const bool match = std::find_first_of(a.begin(), a.end(), b.begin(), b.end()) != a.end();
      if (match) ++matches;
      if (!match && c == static_cast<int>(ComponentId::Board)) boardDiffers = true;
    }
    if (matches < 2 || boardDiffers) continue;
    if (matches > best.matches || (matches == best.matches && seq_[id] > bestSeq)) {
      best = {true, id, matches};
      bestSeq = seq_[id];
    }
  }
  const long id = best.same ? best.machine : ++lastId_;
  for (int c = 1; c < kComponentCount; ++c) {  // the index follows the latest token only
    for (const auto& d : latest_[id].components[c].digests) index_[{c, d}].erase(id);
    for (const auto& d : token.components[c].digests) index_[{c, d}].insert(id);
  }
  latest_[id] = token;
  seq_[id] = ++lastSeq_;
  best.machine = id;
  return best;
}

}  // namespace vrel::fleet
